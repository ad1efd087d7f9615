#include "kiv/edit_box.h"

namespace kiv {

std::shared_ptr<EditBox> EditBox::Attach(Window& parent, int id) {
  auto box = AttachControl<EditBox>(parent, id);
  if (box && !box->Subclass()) {
    return nullptr;
  }
  return box;
}

LRESULT EditBox::OnKeyDown(WPARAM key, LPARAM lParam) {
  if (key == 'A') {
    if ((GetKeyState(VK_CONTROL) & 0x80) != 0) {
      SendMessageW(Handle(), EM_SETSEL, 0, -1);
    }
    return 0;
  }
  return DefaultProc(WM_KEYDOWN, key, lParam);
}

LRESULT EditBox::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) == EN_UPDATE) {
    ApplyLinks();
  }
  return Reflect(WM_COMMAND, wParam, lParam);
}

LRESULT EditBox::OnDropFiles(WPARAM, LPARAM) {
  return 0;
}

void EditBox::ApplyLink(Window* target, int kind, int) {
  if (target == nullptr) {
    return;
  }
  const bool empty = GetWindowTextLengthW(Handle()) == 0;
  switch (kind) {
    case kLinkEnableWhenNotEmpty:
      EnableWindow(target->Handle(), empty ? FALSE : TRUE);
      break;
    case kLinkEnableWhenEmpty:
      EnableWindow(target->Handle(), empty ? TRUE : FALSE);
      break;
    default:
      break;
  }
}

void EditBox::Save(DataNode& node) const {
  node.SetString(L"Text", GetText());
}

void EditBox::Load(const DataNode& node, const std::wstring& fallback) {
  SetText(node.GetString(L"Text", fallback));
}

}  // namespace kiv
