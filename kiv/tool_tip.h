// kiv::ToolTip: a tooltip control that shows a text for one window (the
// tool), asked for each time it is about to show.
//
// The tooltip watches the tool's mouse moves itself (TTF_SUBCLASS) and, once
// the pointer rests, sends TTN_GETDISPINFOW to the window named as the
// notification owner; an empty text shows nothing. The owner answers from
// where the pointer is, and calls Renew when that answer changes while the
// pointer stays in the tool (for instance, from one row of a list to the
// next).
//
// Ownership: the object owns the tooltip window and destroys it; it must go
// before the tool and the owner. Copying is deleted.
// Threads: user-interface thread only.
#ifndef KIV_TOOL_TIP_H_
#define KIV_TOOL_TIP_H_

#include <windows.h>

#include <memory>

namespace kiv {

class ToolTip {
 public:
  // A tooltip for `tool` whose texts `owner` gives (TTM_ADDTOOLW with
  // LPSTR_TEXTCALLBACKW), its lines wrapped at `maxWidth` pixels
  // (TTM_SETMAXTIPWIDTH). Null when the control could not be made.
  static std::unique_ptr<ToolTip> Create(HWND tool, HWND owner, int maxWidth);
  ~ToolTip();
  ToolTip(const ToolTip&) = delete;
  ToolTip& operator=(const ToolTip&) = delete;

  HWND Handle() const { return handle_; }
  // Takes the tool away and gives it back (TTM_DELTOOLW, TTM_ADDTOOLW): a
  // tip in view goes, and the next rest of the pointer asks the text anew.
  // The tooltip itself would keep its tip's text while the pointer stays in
  // the tool, and once popped, show none until the pointer left it.
  void Renew();

 private:
  ToolTip(HWND handle, HWND tool, HWND owner) : handle_(handle), tool_(tool), owner_(owner) {}
  bool AddTool();

  HWND handle_;
  HWND tool_;
  HWND owner_;
};

}  // namespace kiv

#endif  // KIV_TOOL_TIP_H_
