// kiv::StaticText: a static text control of a dialog template. Pages work on
// it through the Window operations (SetText, GetText) and its handle.
//
// Threads: user-interface thread only.
#ifndef KIV_STATIC_TEXT_H_
#define KIV_STATIC_TEXT_H_

#include <memory>

#include "kiv/window.h"

namespace kiv {

class StaticText : public Window {
 public:
  // Binds the static control `id` of `parent` (attached, not subclassed).
  // Returns an empty pointer when the parent has no such control.
  static std::shared_ptr<StaticText> Attach(Window& parent, int id);
};

}  // namespace kiv

#endif  // KIV_STATIC_TEXT_H_
