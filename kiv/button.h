// kiv::Button: a push button of a dialog template. Its clicks reach the
// parent as WM_COMMAND/BN_CLICKED; the wrapper adds only the binding.
//
// Threads: user-interface thread only.
#ifndef KIV_BUTTON_H_
#define KIV_BUTTON_H_

#include <memory>

#include "kiv/window.h"

namespace kiv {

class Button : public Window {
 public:
  // Binds the button `id` of `parent` (attached, not subclassed). Returns an
  // empty pointer when the parent has no such control.
  static std::shared_ptr<Button> Attach(Window& parent, int id);

  // BM_CLICK: presses the button as a mouse click would.
  void Click();
  // EnableWindow / IsWindowEnabled on the button.
  void Enable(bool enable);
  bool IsEnabled() const;
};

}  // namespace kiv

#endif  // KIV_BUTTON_H_
