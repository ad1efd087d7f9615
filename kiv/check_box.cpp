#include "kiv/check_box.h"

namespace kiv {

std::shared_ptr<CheckBox> CheckBox::Attach(Window& parent, int id) {
  return AttachControl<CheckBox>(parent, id);
}

int CheckBox::GetCheck() const {
  return static_cast<int>(SendMessageW(Handle(), BM_GETCHECK, 0, 0));
}

void CheckBox::SetCheck(int state) {
  SendMessageW(Handle(), BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

LRESULT CheckBox::OnSetCheck(WPARAM wParam, LPARAM lParam) {
  const LRESULT result = DefaultProc(BM_SETCHECK, wParam, lParam);
  ApplyLinks();
  return result;
}

void CheckBox::ApplyLink(Window* target, int kind, int value) {
  if (target == nullptr) {
    return;
  }
  const bool equal = GetCheck() == value;
  switch (kind) {
    case kLinkEnableWhenEqual:
      EnableWindow(target->Handle(), equal ? TRUE : FALSE);
      break;
    case kLinkEnableWhenDifferent:
      EnableWindow(target->Handle(), equal ? FALSE : TRUE);
      break;
    case kLinkTopMostWhenEqual:
      SetWindowPos(target->Handle(), equal ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE);
      break;
    default:
      break;
  }
}

void CheckBox::Save(DataNode& node) const {
  node.SetInt(L"Check", GetCheck());
}

void CheckBox::Load(const DataNode& node, std::int32_t fallback) {
  SetCheck(node.GetInt(L"Check", fallback));
}

}  // namespace kiv
