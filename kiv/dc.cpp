#include "kiv/dc.h"

namespace kiv {

std::shared_ptr<Dc> Dc::FromWindow(HWND window) {
  // The screen's context is the desktop window's, so that it has a window
  // to be released with.
  HWND owner = window != nullptr ? window : GetDesktopWindow();
  HDC hdc = GetDC(owner);
  if (hdc == nullptr) {
    return nullptr;
  }
  return std::make_shared<Dc>(hdc, owner);
}

std::shared_ptr<Dc> Dc::Wrap(HDC hdc) {
  return std::make_shared<Dc>(hdc, nullptr);
}

Dc::~Dc() {
  if (hdc_ != nullptr && window_ != nullptr) {
    ReleaseDC(window_, hdc_);
  }
}

std::shared_ptr<MemoryDc> MemoryDc::CompatibleWith(const Dc& other) {
  HDC hdc = CreateCompatibleDC(other.Handle());
  if (hdc == nullptr) {
    return nullptr;
  }
  return std::make_shared<MemoryDc>(hdc);
}

MemoryDc::~MemoryDc() {
  if (Handle() != nullptr) {
    DeleteDC(Handle());
  }
}

}  // namespace kiv
