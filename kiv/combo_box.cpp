#include "kiv/combo_box.h"

#include <algorithm>

namespace kiv {

std::shared_ptr<ComboBox> ComboBox::Attach(Window& parent, int id) {
  auto box = AttachControl<ComboBox>(parent, id);
  if (box && !box->Subclass()) {
    return nullptr;
  }
  return box;
}

int ComboBox::AddString(const std::wstring& text) {
  return static_cast<int>(
      SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

std::wstring ComboBox::GetItemText(int index) const {
  const LRESULT length = SendMessageW(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&buffer[0]));
  buffer.resize(buffer.find(L'\0'));
  return buffer;
}

int ComboBox::GetCount() const {
  return static_cast<int>(SendMessageW(Handle(), CB_GETCOUNT, 0, 0));
}

int ComboBox::GetCurSel() const {
  return static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
}

void ComboBox::SetCurSel(int index) {
  SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

LRESULT ComboBox::OnCommand(WPARAM wParam, LPARAM lParam) {
  return Reflect(WM_COMMAND, wParam, lParam);
}

LONG_PTR ComboBox::StyleKind() const {
  return GetWindowLongPtrW(Handle(), GWL_STYLE) & 0xF;
}

void ComboBox::Save(DataNode& node) const {
  switch (StyleKind()) {
    case CBS_DROPDOWN: {
      node.SetString(L"Text", GetText());
      const int count = GetCount();
      node.SetInt(L"Size", count);
      for (int i = 0; i < count; ++i) {
        node.Child(std::to_wstring(i)).SetString(L"Text", GetItemText(i));
      }
      break;
    }
    case CBS_DROPDOWNLIST:
      node.SetInt(L"Index", GetCurSel());
      break;
    default:
      break;
  }
}

void ComboBox::Load(const DataNode& node) {
  switch (StyleKind()) {
    case CBS_DROPDOWN: {
      SetText(node.GetString(L"Text"));
      const std::int32_t count = std::min(node.GetInt(L"Size", 0), kMaxLoadedItems);
      for (std::int32_t i = 0; i < count; ++i) {
        // A missing item child reads as an empty item, as an empty child would.
        const auto child = node.children().find(std::to_wstring(i));
        AddString(child != node.children().end() && child->second
                      ? child->second->GetString(L"Text")
                      : std::wstring());
      }
      break;
    }
    case CBS_DROPDOWNLIST:
      SetCurSel(node.GetInt(L"Index", 0));
      break;
    default:
      break;
  }
}

}  // namespace kiv
