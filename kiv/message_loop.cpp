#include "kiv/message_loop.h"

#include <windows.h>

#include <vector>

#include "kiv/dialog.h"

namespace kiv {

namespace {

// Offers a key press to the dialogs' own key handling, then the message to
// the registered dialogs' dialog manager, then translates and
// dispatches it when none of them took it. The registry is copied first:
// a dialog may be created or destroyed while a message is handled.
void OfferMessage(MSG& message) {
  if (Dialog::OfferDialogKey(message)) {
    return;
  }
  const std::vector<HWND> dialogs = Dialog::RegisteredHandles();
  for (HWND dialog : dialogs) {
    if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageW(dialog, &message)) {
      return;
    }
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace

int RunMessageLoop() {
  MSG message;
  for (;;) {
    const BOOL result = GetMessageW(&message, nullptr, 0, 0);
    if (result == 0) {
      return static_cast<int>(message.wParam);
    }
    if (result == -1) {
      return -1;
    }
    OfferMessage(message);
  }
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    OfferMessage(message);
  }
}

}  // namespace kiv
