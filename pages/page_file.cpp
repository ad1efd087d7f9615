#include "pages/page_file.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/resource.h"
#include "kiv/pumping_lock.h"

PageFile::PageFile() = default;
PageFile::~PageFile() = default;

LRESULT PageFile::OnInitDialog(WPARAM, LPARAM) {
  list_ = kiv::ListView::Attach(*this, IDC_FILE_LIST);
  if (list_) {
    SendMessageW(list_->Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    list_->SetOptions(kIdleListOptions);
    RECT client{};
    GetClientRect(list_->Handle(), &client);
    const int nameWidth =
        (client.right - client.left) - GetSystemMetrics(SM_CXVSCROLL) - kStateColumnWidth;
    list_->AddColumn(L"ファイル名", nameWidth, LVCFMT_LEFT);
    list_->AddColumn(L"状態", kStateColumnWidth, LVCFMT_CENTER);
  }
  hint_ = kiv::StaticText::Attach(*this, IDC_DROP_HINT);
  return 0;
}

void PageFile::RevealList() {
  // The list's own visibility, whatever the page's or the window's.
  if (!list_ || (GetWindowLongPtrW(list_->Handle(), GWL_STYLE) & WS_VISIBLE) != 0) {
    return;
  }
  if (hint_) {
    ShowWindow(hint_->Handle(), SW_HIDE);
  }
  ShowWindow(list_->Handle(), SW_SHOW);
}

LRESULT PageFile::OnNotify(WPARAM, LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header == nullptr || !list_ || header->idFrom != IDC_FILE_LIST ||
      header->code != static_cast<UINT>(NM_DBLCLK)) {
    return 0;
  }
  // The list reports where the double click happened, in its own client
  // coordinates, so the row is found wherever the window stands.
  const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
  std::wstring path;
  {
    kiv::PumpingLock hold(list_->Lock());
    const kiv::ListViewItem* row = list_->HitTest(activate->ptAction.x, activate->ptAction.y);
    if (row == nullptr) {
      return 0;
    }
    path = list_->GetItemText(*row, 0);
  }
  OpenWithShell(path);
  return 0;
}

void PageFile::OpenWithShell(const std::wstring& path) {
  ShellExecuteW(Handle(), nullptr, path.c_str(), L"", L"", SW_SHOWNORMAL);
}
