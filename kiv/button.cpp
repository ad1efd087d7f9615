#include "kiv/button.h"

namespace kiv {

std::shared_ptr<Button> Button::Attach(Window& parent, int id) {
  return AttachControl<Button>(parent, id);
}

void Button::Click() {
  SendMessageW(Handle(), BM_CLICK, 0, 0);
}

void Button::Enable(bool enable) {
  EnableWindow(Handle(), enable ? TRUE : FALSE);
}

bool Button::IsEnabled() const {
  return IsWindowEnabled(Handle()) != FALSE;
}

}  // namespace kiv
