#include "kiv/track_bar.h"

#include <commctrl.h>

#include <string>

namespace kiv {

std::shared_ptr<TrackBar> TrackBar::Attach(Window& parent, int id) {
  return AttachControl<TrackBar>(parent, id);
}

int TrackBar::GetPos() const {
  return static_cast<int>(SendMessageW(Handle(), TBM_GETPOS, 0, 0));
}

void TrackBar::SetPos(int position) {
  SendMessageW(Handle(), TBM_SETPOS, TRUE, static_cast<LPARAM>(position));
}

void TrackBar::SetRange(int minimum, int maximum) {
  SendMessageW(Handle(), TBM_SETRANGEMIN, FALSE, static_cast<LPARAM>(minimum));
  SendMessageW(Handle(), TBM_SETRANGEMAX, TRUE, static_cast<LPARAM>(maximum));
}

void TrackBar::SetRangeMax(int maximum) {
  SendMessageW(Handle(), TBM_SETRANGEMAX, TRUE, static_cast<LPARAM>(maximum));
}

LRESULT TrackBar::OnPaint(WPARAM wParam, LPARAM lParam) {
  const LRESULT result = DefaultProc(WM_PAINT, wParam, lParam);
  ApplyLinks();
  return result;
}

void TrackBar::ApplyLink(Window* target, int kind, int) {
  if (target == nullptr || kind != kLinkShowPosition) {
    return;
  }
  SetWindowTextW(target->Handle(), std::to_wstring(GetPos()).c_str());
}

void TrackBar::Save(DataNode& node) const {
  node.SetInt(L"Pos", GetPos());
}

void TrackBar::Load(const DataNode& node, std::int32_t fallback) {
  SetPos(node.GetInt(L"Pos", fallback));
}

}  // namespace kiv
