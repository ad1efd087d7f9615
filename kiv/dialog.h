// kiv::Dialog: a modeless dialog made from a numbered dialog template of the
// program's resources, listed in the process-wide dialog registry for as long
// as the object lives so that the message loop (message_loop.h) offers it
// every message for keyboard navigation.
//
// Threads: user-interface thread only; the registry is touched only there.
//
// Unhandled messages answer 0 (FALSE) to the dialog manager, which then does
// its own default processing.
#ifndef KIV_DIALOG_H_
#define KIV_DIALOG_H_

#include <cstddef>
#include <vector>

#include "kiv/window.h"

namespace kiv {

class Dialog : public Window {
 public:
  // Lists the object in the dialog registry; no window exists yet.
  Dialog();
  // Leaves the registry, then destroys the window if the object still owns
  // it (its last messages are still answered by the Dialog level).
  ~Dialog() override;

  // Creates the window from dialog template `templateId` of Instance(),
  // owned by `parent` (or top-level when null); `parent` also becomes the
  // object's parent. OnInitDialog runs during the call. Returns whether the
  // window was created; on failure the object stays registered and unbound.
  bool CreateModeless(Window* parent, int templateId);

  // The window handles of every registered dialog at this moment (null for
  // dialogs without a window), in registry order.
  static std::vector<HWND> RegisteredHandles();
  // Whether `dialog` is in the registry; the number of registered dialogs.
  static bool IsRegistered(const Dialog* dialog);
  static std::size_t RegisteredCount();

  // Offers a key press taken from the queue (WM_KEYDOWN) to OnDialogKey of
  // each registered dialog whose window is the message's window or one of
  // its ancestors, before the dialog manager sees it; true when one of them
  // handled it. The message loop calls it.
  static bool OfferDialogKey(const MSG& message);

 protected:
  // Returns 0: the dialog manager's own processing applies.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // A key press (WM_KEYDOWN) for this dialog or one of its controls, before
  // the dialog manager and the control see it; true when handled, which
  // ends its processing. Returns false.
  virtual bool OnDialogKey(const MSG& message);
};

}  // namespace kiv

#endif  // KIV_DIALOG_H_
