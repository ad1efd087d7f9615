// kiv::EditBox: a single-line edit control of a dialog template, subclassed
// by its factory so that it receives its own messages.
//
// Keys: Ctrl+A selects the whole text; the key-down of 'A' is swallowed with
// or without Ctrl (the typed character still arrives through WM_CHAR).
// Dropped files are ignored here (they go to the main window).
//
// Links (applied on every EN_UPDATE reflected from the parent):
//   kind 1: EnableWindow(target, text is not empty)
//   kind 2: EnableWindow(target, text is empty)
//
// Saved state: the string "Text".
//
// Threads: user-interface thread only.
#ifndef KIV_EDIT_BOX_H_
#define KIV_EDIT_BOX_H_

#include <memory>
#include <string>

#include "kiv/window.h"
#include "settings/data_node.h"

namespace kiv {

class EditBox : public Window {
 public:
  static constexpr int kLinkEnableWhenNotEmpty = 1;
  static constexpr int kLinkEnableWhenEmpty = 2;

  // Binds and subclasses the edit control `id` of `parent`. Returns an empty
  // pointer when the parent has no such control or the control cannot be
  // subclassed.
  static std::shared_ptr<EditBox> Attach(Window& parent, int id);

  void ApplyLink(Window* target, int kind, int value) override;

  // Writes "Text" := the current text into `node`.
  void Save(DataNode& node) const;
  // Sets the text to node's "Text", or `fallback` when it is missing.
  void Load(const DataNode& node, const std::wstring& fallback);

 protected:
  // WM_KEYDOWN: Ctrl+A selects all; other keys get default processing.
  LRESULT OnKeyDown(WPARAM key, LPARAM lParam) override;
  // WM_COMMAND reflected from the parent: EN_UPDATE applies the links.
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
  // WM_DROPFILES: ignored, returns 0.
  LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam) override;
};

}  // namespace kiv

#endif  // KIV_EDIT_BOX_H_
