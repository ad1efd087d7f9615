// Device-context wrappers.
//
// kiv::Dc holds a device context and, when it was taken from a window with
// GetDC, the window it belongs to: its destructor then releases it
// (ReleaseDC). A Dc made from a context that someone else releases (the
// HDC of BeginPaint, or a printer context) releases nothing.
// kiv::MemoryDc is a memory context compatible with another Dc, deleted
// (DeleteDC) by its destructor.
//
// Threads: the thread that created the context.
#ifndef KIV_DC_H_
#define KIV_DC_H_

#include <windows.h>

#include <memory>

namespace kiv {

class Dc {
 public:
  // GetDC(window) (the screen when `window` is null). Returns an empty
  // pointer when no context could be had.
  static std::shared_ptr<Dc> FromWindow(HWND window);
  // Wraps a context that this object will not release.
  static std::shared_ptr<Dc> Wrap(HDC hdc);

  Dc(HDC hdc, HWND window) : hdc_(hdc), window_(window) {}
  virtual ~Dc();
  Dc(const Dc&) = delete;
  Dc& operator=(const Dc&) = delete;

  HDC Handle() const { return hdc_; }
  HWND OwnerWindow() const { return window_; }

 private:
  HDC hdc_;
  HWND window_;
};

class MemoryDc : public Dc {
 public:
  // CreateCompatibleDC(other's context). Returns an empty pointer when the
  // context cannot be created.
  static std::shared_ptr<MemoryDc> CompatibleWith(const Dc& other);

  explicit MemoryDc(HDC hdc) : Dc(hdc, nullptr) {}
  ~MemoryDc() override;
};

}  // namespace kiv

#endif  // KIV_DC_H_
