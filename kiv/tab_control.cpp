#include "kiv/tab_control.h"

#include <commctrl.h>

#include <cstdint>
#include <vector>

namespace kiv {

void TabControlItem::Select() {
  if (owner_ != nullptr) {
    owner_->Select(*this);
  }
}

std::shared_ptr<TabControl> TabControl::Attach(Window& parent, int id) {
  return AttachControl<TabControl>(parent, id);
}

TabControl::~TabControl() {
  items_.clear();
}

std::shared_ptr<TabControlItem> TabControl::AddTab(const std::wstring& text) {
  const int index = static_cast<int>(items_.size());
  std::vector<wchar_t> buffer(text.begin(), text.end());
  buffer.push_back(L'\0');
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = buffer.data();
  const LRESULT inserted = SendMessageW(Handle(), TCM_INSERTITEMW, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(&item));
  if (inserted != index) {
    // Items and tabs must stay one to one.
    if (inserted >= 0) {
      SendMessageW(Handle(), TCM_DELETEITEM, static_cast<WPARAM>(inserted), 0);
    }
    return nullptr;
  }
  auto tab = std::make_shared<TabControlItem>(this, index);
  items_.push_back(tab);
  return tab;
}

void TabControl::Select(const TabControlItem& item) {
  SendMessageW(Handle(), TCM_SETCURSEL, static_cast<WPARAM>(item.Index()), 0);
}

int TabControl::GetCurSel() const {
  return static_cast<int>(SendMessageW(Handle(), TCM_GETCURSEL, 0, 0));
}

void TabControl::Save(DataNode& node) const {
  node.SetInt(L"Index", GetCurSel());
}

void TabControl::Load(const DataNode& node) {
  if (items_.empty()) {
    return;
  }
  std::int32_t index = node.GetInt(L"Index", 0);
  if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
    index = 0;
  }
  Select(*items_[static_cast<std::size_t>(index)]);
}

}  // namespace kiv
