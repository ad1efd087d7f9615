#include "kiv/dialog.h"

#include <unordered_set>

#include "kiv/instance.h"

namespace kiv {

namespace {

std::unordered_set<Dialog*>& Registry() {
  static std::unordered_set<Dialog*> registry;
  return registry;
}

}  // namespace

Dialog::Dialog() {
  Registry().insert(this);
}

Dialog::~Dialog() {
  Registry().erase(this);
  DestroyOwnedHandle();
}

LRESULT Dialog::DefaultProc(UINT, WPARAM, LPARAM) {
  return 0;
}

bool Dialog::OnDialogKey(const MSG&) {
  return false;
}

bool Dialog::OfferDialogKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.hwnd == nullptr) {
    return false;
  }
  // A copy: a handler may create or destroy dialogs.
  const std::vector<Dialog*> dialogs(Registry().begin(), Registry().end());
  for (Dialog* dialog : dialogs) {
    if (!IsRegistered(dialog) || dialog->Handle() == nullptr) {
      continue;
    }
    const HWND window = dialog->Handle();
    if ((message.hwnd == window || IsChild(window, message.hwnd)) && dialog->OnDialogKey(message)) {
      return true;
    }
  }
  return false;
}

bool Dialog::CreateModeless(Window* parent, int templateId) {
  InitCommonControlsOnce();
  if (parent != nullptr) {
    SetParent(parent);
  }
  HWND hwnd = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(templateId),
                                 parent != nullptr ? parent->Handle() : nullptr, WindowProc,
                                 reinterpret_cast<LPARAM>(this));
  if (hwnd != nullptr && Handle() != hwnd) {
    Bind(hwnd);
  }
  return hwnd != nullptr;
}

std::vector<HWND> Dialog::RegisteredHandles() {
  std::vector<HWND> handles;
  handles.reserve(Registry().size());
  for (const Dialog* dialog : Registry()) {
    handles.push_back(dialog->Handle());
  }
  return handles;
}

bool Dialog::IsRegistered(const Dialog* dialog) {
  return Registry().count(const_cast<Dialog*>(dialog)) != 0;
}

std::size_t Dialog::RegisteredCount() {
  return Registry().size();
}

}  // namespace kiv
