// MessageDialog: a small box without caption that shows one line over the
// main window while the user-interface thread is busy ("ファイル登録中…"
// during registration). It has no buttons and takes no input.
//
// Use: keep the object as a local of the busy operation: construct it with the
// text, Show it, do the work, and let it go out of scope; destroying the object
// destroys its window.
//
// Threads: user-interface thread only.
#ifndef MORVANE_PAGES_MESSAGE_DIALOG_H
#define MORVANE_PAGES_MESSAGE_DIALOG_H

#include <memory>
#include <string>

#include "kiv/dialog.h"
#include "kiv/static_text.h"

class MessageDialog : public kiv::Dialog {
 public:
  // Stores the text; no window exists yet.
  explicit MessageDialog(std::wstring message);
  ~MessageDialog() override;

  // Creates the box from its template, owned by `owner`, centred over the
  // owner, with the message shown and painted before the call returns.
  // Returns false when the box cannot be created; the caller's work then runs
  // without it.
  bool Show(kiv::Window& owner);

  // Replaces the text shown (the label's WM_SETTEXT) and paints the box at
  // once, also while the caller keeps the thread busy.
  void SetMessage(const std::wstring& message);

  const std::wstring& message() const { return message_; }

 protected:
  LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam) override;

 private:
  std::wstring message_;
  std::shared_ptr<kiv::StaticText> label_;
};

#endif  // MORVANE_PAGES_MESSAGE_DIALOG_H
