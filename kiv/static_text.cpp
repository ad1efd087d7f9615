#include "kiv/static_text.h"

namespace kiv {

std::shared_ptr<StaticText> StaticText::Attach(Window& parent, int id) {
  return AttachControl<StaticText>(parent, id);
}

}  // namespace kiv
