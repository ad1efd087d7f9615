#include "pages/page_file.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "kiv/pumping_lock.h"
#include "pages/file_list_adapter.h"
#include "pages/resource_ids.h"
#include "pages/shortened_path.h"

namespace {

// The pixels per inch of the sizes below.
constexpr int kBaseDpi = 96;
// The state cell's left and right margins together, in pixels at kBaseDpi.
constexpr int kStateCellMargins = 12;
// The widest line of a row's tip, in pixels at kBaseDpi.
constexpr int kTipWidth = 480;

// The whole text of a column of the list's item, read from the control on
// the thread that owns it.
std::wstring ControlText(HWND list, int item, int column) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    LVITEMW request = {};
    request.iSubItem = column;
    request.pszText = buffer.data();
    request.cchTextMax = static_cast<int>(buffer.size());
    const auto length = static_cast<std::size_t>(SendMessageW(
        list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request)));
    if (length + 1 < buffer.size()) {
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The screen's pixels per inch as `window` is drawn.
int ScreenDpi(HWND window) {
  const HDC screen = GetDC(window);
  if (screen == nullptr) {
    return kBaseDpi;
  }
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(window, screen);
  return dpi;
}

}  // namespace

int StateColumnWidth(HWND list) {
  int widest = 0;
  for (const wchar_t* text :
       {kStateConverting, kStateReadFailed, kStateWriteFailed, kStateConverted}) {
    const auto width = static_cast<int>(
        SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
    widest = width > widest ? width : widest;
  }
  // The cell's margins grow with the font, as the text does.
  const int fitted = widest + MulDiv(kStateCellMargins, ScreenDpi(list), kBaseDpi);
  return fitted > PageFile::kStateColumnWidth ? fitted : PageFile::kStateColumnWidth;
}

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
    const int stateWidth = StateColumnWidth(list_->Handle());
    const int nameWidth =
        (client.right - client.left) - GetSystemMetrics(SM_CXVSCROLL) - stateWidth;
    list_->AddColumn(L"ファイル名", nameWidth, LVCFMT_LEFT);
    list_->AddColumn(L"状態", stateWidth, LVCFMT_CENTER);
    // The rows' tips come from a tooltip of the page's own rather than the
    // list's info tips, which not every system's list asks for.
    tip_ = kiv::ToolTip::Create(list_->Handle(), Handle(),
                                MulDiv(kTipWidth, ScreenDpi(list_->Handle()), kBaseDpi));
    list_->SetHoverListener([this](int item) {
      hoveredItem_ = item;
      if (tip_) {
        tip_->Renew();
      }
    });
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

void PageFile::ShowHintIfEmpty() {
  if (!list_ || !hint_ || SendMessageW(list_->Handle(), LVM_GETITEMCOUNT, 0, 0) != 0) {
    return;
  }
  ShowWindow(list_->Handle(), SW_HIDE);
  ShowWindow(hint_->Handle(), SW_SHOW);
}

std::wstring PageFile::TipText(int item) {
  if (!list_ || item < 0) {
    return std::wstring();
  }
  std::wstring tip = RowTip(*list_, item);
  if (!tip.empty()) {
    return tip;
  }
  // The path, when the row shows it shortened (as DrawSourcePath measures).
  const HWND list = list_->Handle();
  RECT cell{};
  cell.left = LVIR_LABEL;
  if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(item),
                    reinterpret_cast<LPARAM>(&cell))) {
    return tip;
  }
  std::wstring path = ControlText(list, item, 0);
  const auto width = static_cast<LONG>(
      SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(path.c_str())));
  if (width > cell.right - cell.left - 4 * GetSystemMetrics(SM_CXEDGE)) {
    tip = std::move(path);
  }
  return tip;
}

LRESULT PageFile::OnNotify(WPARAM, LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header != nullptr && tip_ && header->hwndFrom == tip_->Handle()) {
    if (header->code == static_cast<UINT>(TTN_GETDISPINFOW)) {
      tipText_ = TipText(hoveredItem_);
      reinterpret_cast<NMTTDISPINFOW*>(lParam)->lpszText = &tipText_[0];
    }
    return 0;
  }
  if (header == nullptr || !list_ || header->idFrom != IDC_FILE_LIST) {
    return 0;
  }
  switch (header->code) {
    case NM_DBLCLK:
      OpenRowAt(*reinterpret_cast<const NMITEMACTIVATE*>(lParam));
      return 0;
    case NM_CUSTOMDRAW:
      return Answer(DrawRow(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
    case LVN_INSERTITEM:
      // Rows that come while the hint shows (added by a run) bring the list
      // back.
      if (hint_ && IsWindowVisible(hint_->Handle())) {
        RevealList();
      }
      return 0;
    case LVN_DELETEITEM:
    case LVN_DELETEALLITEMS:
      // Looked at once the removal is over: the count still holds the row.
      if (!emptyCheckPosted_) {
        emptyCheckPosted_ = PostMessageW(Handle(), kCheckEmptyMessage, 0, 0) != FALSE;
      }
      return header->code == static_cast<UINT>(LVN_DELETEALLITEMS) ? Answer(TRUE) : 0;
    default:
      return 0;
  }
}

LRESULT PageFile::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCheckEmptyMessage) {
    emptyCheckPosted_ = false;
    ShowHintIfEmpty();
    return TRUE;
  }
  return kiv::Dialog::DefaultProc(message, wParam, lParam);
}

LRESULT PageFile::Answer(LRESULT result) {
  SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, result);
  return TRUE;
}

void PageFile::OpenRowAt(const NMITEMACTIVATE& activate) {
  // The list reports where the double click happened, in its own client
  // coordinates, so the row is found wherever the window stands.
  std::wstring path;
  {
    kiv::PumpingLock hold(list_->Lock());
    const kiv::ListViewItem* row = list_->HitTest(activate.ptAction.x, activate.ptAction.y);
    if (row == nullptr) {
      return;
    }
    path = list_->GetItemText(*row, 0);
  }
  OpenWithShell(path);
}

LRESULT PageFile::DrawRow(NMLVCUSTOMDRAW& draw) {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      paintTop_ = SendMessageW(list_->Handle(), LVM_GETTOPINDEX, 0, 0);
      paintInset_ = 2 * GetSystemMetrics(SM_CXEDGE);
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      // A row above the first one in view is not drawn: the list paints it
      // from where it would stand, and the part below its header showed as
      // pieces of text there.
      if (static_cast<LRESULT>(draw.nmcd.dwItemSpec) < paintTop_) {
        return CDRF_SKIPDEFAULT;
      }
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      // The mark is read from the notice itself: drawing never waits for
      // the list's lock.
      const auto note = static_cast<ListViewFileList::RowNote>(draw.nmcd.lItemlParam);
      draw.clrText = note == ListViewFileList::RowNote::kFailed   ? kFailedColour
                     : note == ListViewFileList::RowNote::kWarned ? kWarnedColour
                                                                  : GetSysColor(COLOR_WINDOWTEXT);
      if (draw.iSubItem == 0) {
        DrawSourcePath(draw);
        return CDRF_SKIPDEFAULT;
      }
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void PageFile::DrawSourcePath(NMLVCUSTOMDRAW& draw) {
  const HWND list = list_->Handle();
  const int item = static_cast<int>(draw.nmcd.dwItemSpec);
  RECT cell{};
  cell.left = LVIR_LABEL;
  if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(item),
                    reinterpret_cast<LPARAM>(&cell))) {
    return;
  }
  const bool selected =
      SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_SELECTED) != 0;
  const bool focused = GetFocus() == list;
  COLORREF text = draw.clrText;
  if (selected) {
    FillRect(draw.nmcd.hdc, &cell, GetSysColorBrush(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    if (focused && text == GetSysColor(COLOR_WINDOWTEXT)) {
      text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    }
  } else {
    FillRect(draw.nmcd.hdc, &cell, GetSysColorBrush(COLOR_WINDOW));
  }
  cell.left += paintInset_;
  cell.right -= paintInset_;
  const HDC dc = draw.nmcd.hdc;
  const LONG width = cell.right - cell.left;
  const std::wstring shown =
      ShortenedPath(ControlText(list, item, 0), [dc, width](const std::wstring& candidate) {
        SIZE size{};
        return GetTextExtentPoint32W(dc, candidate.c_str(), static_cast<int>(candidate.size()),
                                     &size) != FALSE &&
               size.cx <= width;
      });
  SetTextColor(dc, text);
  SetBkMode(dc, TRANSPARENT);
  DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &cell,
            DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void PageFile::OpenWithShell(const std::wstring& path) {
  ShellExecuteW(Handle(), nullptr, path.c_str(), L"", L"", SW_SHOWNORMAL);
}
