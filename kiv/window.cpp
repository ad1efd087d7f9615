// Binding of handles and objects, the life of a window object, links and
// reflection. The message switch itself is in window_dispatch.cpp.
#include "kiv/window.h"

#include <commctrl.h>

#include <mutex>

namespace kiv {

namespace {

// Every Window object that exists, so that a pointer read from a foreign
// window's GWLP_USERDATA is used only when it names one of ours.
struct LiveWindows {
  std::mutex mutex;
  std::unordered_set<const Window*> objects;
};

LiveWindows& Live() {
  static LiveWindows live;
  return live;
}

Window* StoredObject(HWND hwnd) {
  return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

Window::Window() {
  LiveWindows& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  live.objects.insert(this);
}

// Teardown order: remove the subclass procedure, destroy the window if it is
// still ours (its WM_DESTROY then reaches only the Window level of this
// object), unlink from parent and children, then release links and registry.
Window::~Window() {
  if (subclassed_) {
    subclassed_ = false;
    RemoveWindowSubclass(handle_, SubclassProc, kSubclassId);
  }
  DestroyOwnedHandle();
  Detach();
  {
    LiveWindows& live = Live();
    std::lock_guard<std::mutex> guard(live.mutex);
    live.objects.erase(this);
  }
}

void Window::DestroyOwnedHandle() {
  if (ownsHandle_ && handle_ != nullptr) {
    DestroyWindow(handle_);
    handle_ = nullptr;
  }
}

Window* Window::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) {
    return nullptr;
  }
  Window* object = StoredObject(hwnd);
  if (object == nullptr) {
    return nullptr;
  }
  LiveWindows& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  return live.objects.count(object) != 0 ? object : nullptr;
}

void Window::Bind(HWND hwnd) {
  handle_ = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void Window::SetParent(Window* parent) {
  if (parent_ == parent) {
    return;
  }
  if (parent_ != nullptr) {
    parent_->children_.erase(this);
  }
  parent_ = parent;
  if (parent_ != nullptr) {
    parent_->children_.insert(this);
  }
}

void Window::Detach() {
  for (Window* child : children_) {
    child->parent_ = nullptr;
  }
  children_.clear();
  if (parent_ != nullptr) {
    parent_->children_.erase(this);
  }
  parent_ = nullptr;
}

bool Window::AttachDlgItem(Window& parent, int id) {
  SetParent(&parent);
  HWND control = parent.Handle() != nullptr ? GetDlgItem(parent.Handle(), id) : nullptr;
  if (control == nullptr) {
    return false;
  }
  Bind(control);
  return true;
}

bool Window::Subclass() {
  if (subclassed_ || handle_ == nullptr) {
    return subclassed_;
  }
  subclassed_ = true;
  defaultProc_ = DefSubclassProc;
  SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  OnSubclass();
  if (!SetWindowSubclass(handle_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    // No procedure was installed: reflection must not send to this control,
    // and default processing stays the plain window procedure's.
    subclassed_ = false;
    defaultProc_ = DefWindowProcW;
  }
  return subclassed_;
}

void Window::SetText(const std::wstring& text) {
  SetWindowTextW(handle_, text.c_str());
}

std::wstring Window::GetText() const {
  const int length = GetWindowTextLengthW(handle_);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(handle_, &buffer[0], length + 1);
  buffer.resize(buffer.find(L'\0'));
  return buffer;
}

void Window::AddLink(Window* target, int kind, int value) {
  links_.push_back(Link{target, kind, value});
}

void Window::ApplyLinks() {
  // A link may add links to its own control; walk by position.
  for (size_t i = 0; i < links_.size(); ++i) {
    const Link link = links_[i];
    ApplyLink(link.target, link.kind, link.value);
  }
}

void Window::ApplyLink(Window*, int, int) {}

void Window::OnSubclass() {}

LRESULT Window::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return defaultProc_(handle_, message, wParam, lParam);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* object = StoredObject(hwnd);
  if (object != nullptr) {
    return Dispatch(message, object, wParam, lParam);
  }
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    if (create != nullptr && (create->dwExStyle & WS_EX_MDICHILD) != 0) {
      const auto* mdi = static_cast<const MDICREATESTRUCTW*>(create->lpCreateParams);
      object = mdi != nullptr ? reinterpret_cast<Window*>(mdi->lParam) : nullptr;
    } else if (create != nullptr) {
      object = static_cast<Window*>(create->lpCreateParams);
    }
  } else if (message == WM_INITDIALOG) {
    object = reinterpret_cast<Window*>(lParam);
  }
  if (object == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  object->Bind(hwnd);
  return Dispatch(message, object, wParam, lParam);
}

LRESULT CALLBACK Window::SubclassProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
  return Dispatch(message, reinterpret_cast<Window*>(data), wParam, lParam);
}

LRESULT Window::HandleDestroy(WPARAM wParam, LPARAM lParam) {
  ownsHandle_ = false;
  const LRESULT result = OnDestroy(wParam, lParam);
  Detach();
  return result;
}

LRESULT Window::Reflect(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND source = nullptr;
  if (message == WM_COMMAND) {
    source = reinterpret_cast<HWND>(lParam);
  } else if (message == WM_NOTIFY && lParam != 0) {
    source = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
  }
  Window* object = FromHandle(source);
  if (object == this) {
    return 0;
  }
  if (object != nullptr && object->subclassed_) {
    return SendMessageW(object->handle_, message, wParam, lParam);
  }
  return DefaultProc(message, wParam, lParam);
}

}  // namespace kiv
