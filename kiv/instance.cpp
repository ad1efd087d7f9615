#include "kiv/instance.h"

#include <commctrl.h>

#include <atomic>

namespace kiv {

namespace {

std::atomic<HINSTANCE> g_instance{nullptr};

}  // namespace

void SetInstance(HINSTANCE instance) {
  g_instance.store(instance);
}

HINSTANCE Instance() {
  HINSTANCE instance = g_instance.load();
  return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}

bool InitCommonControlsOnce() {
  // A function-local static is initialised exactly once, thread-safely.
  static const bool initialised = [] {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES;
    return InitCommonControlsEx(&controls) != FALSE;
  }();
  return initialised;
}

}  // namespace kiv
