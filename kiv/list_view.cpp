#include "kiv/list_view.h"

#include <commctrl.h>
#include <windowsx.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "kiv/pumping_lock.h"

namespace kiv {

namespace {

// Characters added to the text buffer of GetItemText on each try.
constexpr std::size_t kTextBufferStep = 256;
// Posted to the list by the first change kept to show soon: the
// user-interface thread then sets the timer that shows them.
constexpr UINT kArmPendingMessage = WM_APP + 0x31;
constexpr UINT_PTR kPendingTimerId = 0x6B69;

}  // namespace

ListViewItem::~ListViewItem() {
  if (owner_ != nullptr && owner_->Handle() != nullptr) {
    SendMessageW(owner_->Handle(), LVM_DELETEITEM, static_cast<WPARAM>(index_), 0);
  }
}

std::shared_ptr<ListView> ListView::Attach(Window& parent, int id) {
  auto list = AttachControl<ListView>(parent, id);
  if (list && !list->Subclass()) {
    return nullptr;
  }
  return list;
}

ListView::ListView() : lock_(std::make_shared<CriticalSection>()) {}

ListView::~ListView() {
  {
    PumpingLock hold(*lock_);
    ShowRemovals();
    // Last row first, so that each row's index is still the control's.
    while (!items_.empty()) {
      items_.pop_back();
    }
    columns_.clear();
  }
  lock_.reset();
}

ListViewColumn* ListView::AddColumn(const std::wstring& text, int width, int format) {
  PumpingLock hold(*lock_);
  const int index = static_cast<int>(columns_.size());
  std::vector<wchar_t> buffer(text.begin(), text.end());
  buffer.push_back(L'\0');
  LVCOLUMNW column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = format;
  column.cx = width;
  column.pszText = buffer.data();
  SendMessageW(Handle(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&column));
  SendMessageW(Handle(), LVM_SETCOLUMNW, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&column));
  columns_.push_back(std::make_shared<ListViewColumn>(this, index));
  return columns_.back().get();
}

ListViewItem* ListView::AddItem(const std::wstring& text) {
  PumpingLock hold(*lock_);
  ShowRemovals();
  const int index = static_cast<int>(items_.size());
  std::vector<wchar_t> buffer(text.begin(), text.end());
  buffer.push_back(L'\0');
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.iSubItem = 0;
  item.pszText = buffer.data();
  const LRESULT inserted =
      SendMessageW(Handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  if (inserted != index) {
    // The rows and the control's items must stay one to one: a refused row
    // is not kept, and a row the control placed elsewhere is taken back.
    if (inserted >= 0) {
      SendMessageW(Handle(), LVM_DELETEITEM, static_cast<WPARAM>(inserted), 0);
    }
    return nullptr;
  }
  items_.push_back(std::make_shared<ListViewItem>(this, index));
  items_.back()->shown_[0] = text;
  return items_.back().get();
}

void ListView::SetItemText(const ListViewItem& row, const std::wstring& text, int column) {
  PumpingLock hold(*lock_);
  ShowRemovals();
  // A text kept to show soon is older than this one.
  row.pending_.erase(column);
  row.shown_[column] = text;
  std::vector<wchar_t> buffer(text.begin(), text.end());
  buffer.push_back(L'\0');
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row.index_;
  item.iSubItem = column;
  item.pszText = buffer.data();
  SendMessageW(Handle(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void ListView::SetItemTextSoon(ListViewItem& row, const std::wstring& text, int column) {
  PumpingLock hold(*lock_);
  row.pending_[column] = text;
  if (!row.queued_) {
    row.queued_ = true;
    queued_.push_back(items_.at(static_cast<std::size_t>(row.index_)));
  }
  ArmPending();
}

void ListView::FollowRowSoon(const ListViewItem& row) {
  PumpingLock hold(*lock_);
  followSoon_ = items_.at(static_cast<std::size_t>(row.index_));
  ArmPending();
}

void ListView::ArmPending() {
  if (!armed_ && Handle() != nullptr) {
    armed_ = PostMessageW(Handle(), kArmPendingMessage, 0, 0) != FALSE;
  }
}

void ListView::RemoveItemSoon(std::size_t position) {
  PumpingLock hold(*lock_);
  if (position >= items_.size()) {
    return;
  }
  // Its item stays in the control until the removals are shown.
  items_[position]->owner_ = nullptr;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position));
  for (std::size_t i = position; i < items_.size(); ++i) {
    items_[i]->index_ = static_cast<int>(i);
  }
  removals_.push_back(position);
  ArmPending();
}

ListViewItem* ListView::ItemShownAt(std::size_t item) const {
  PumpingLock hold(*lock_);
  // Each removal not yet shown takes its item out of the control's order.
  for (const std::size_t removed : removals_) {
    if (item == removed) {
      return nullptr;
    }
    if (item > removed) {
      --item;
    }
  }
  return item < items_.size() ? items_[item].get() : nullptr;
}

void ListView::ShowRemovals() const {
  if (removals_.empty()) {
    return;
  }
  std::vector<std::size_t> removals;
  removals.swap(removals_);
  // One redraw for all of them.
  SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
  for (const std::size_t removed : removals) {
    SendMessageW(Handle(), LVM_DELETEITEM, static_cast<WPARAM>(removed), 0);
  }
  SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void ListView::ShowPending() {
  PumpingLock hold(*lock_);
  armed_ = false;
  ShowRemovals();
  std::vector<std::weak_ptr<ListViewItem>> queued;
  queued.swap(queued_);
  for (const std::weak_ptr<ListViewItem>& kept : queued) {
    const std::shared_ptr<ListViewItem> row = kept.lock();
    if (!row) {
      continue;  // removed since: nothing of it to show
    }
    std::map<int, std::wstring> texts;
    texts.swap(row->pending_);
    row->queued_ = false;
    for (const auto& [column, text] : texts) {
      SetItemText(*row, text, column);
    }
  }
  if (const std::shared_ptr<ListViewItem> row = followSoon_.lock()) {
    FollowRow(static_cast<std::size_t>(row->index_));
  }
  followSoon_.reset();
}

std::wstring ListView::GetItemText(const ListViewItem& row, int column) const {
  PumpingLock hold(*lock_);
  const auto kept = row.pending_.find(column);
  if (kept != row.pending_.end()) {
    return kept->second;
  }
  const auto shown = row.shown_.find(column);
  if (shown != row.shown_.end()) {
    return shown->second;
  }
  ShowRemovals();
  std::vector<wchar_t> buffer;
  for (;;) {
    buffer.resize(buffer.size() + kTextBufferStep, L'\0');
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    SendMessageW(Handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row.index_),
                 reinterpret_cast<LPARAM>(&item));
    const std::size_t length = wcsnlen(buffer.data(), buffer.size());
    if (length < buffer.size() - 1) {
      return std::wstring(buffer.data(), length);
    }
  }
}

void ListView::SetItemMark(const ListViewItem& row, LPARAM mark) {
  PumpingLock hold(*lock_);
  ShowRemovals();
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row.index_;
  item.lParam = mark;
  SendMessageW(Handle(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  SendMessageW(Handle(), LVM_REDRAWITEMS, static_cast<WPARAM>(row.index_), row.index_);
}

bool ListView::IsSelected(const ListViewItem& row) const {
  LVITEMW item = {};
  item.mask = LVIF_STATE;
  item.iItem = row.index_;
  item.stateMask = LVIS_SELECTED;
  SendMessageW(Handle(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return (item.state & LVIS_SELECTED) != 0;
}

ListViewItem* ListView::FirstSelected() const {
  PumpingLock hold(*lock_);
  ShowRemovals();
  for (const auto& row : items_) {
    if (IsSelected(*row)) {
      return row.get();
    }
  }
  return nullptr;
}

void ListView::RemoveItem(std::size_t position) {
  PumpingLock hold(*lock_);
  ShowRemovals();
  if (position >= items_.size()) {
    return;
  }
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position));
  for (std::size_t i = position; i < items_.size(); ++i) {
    items_[i]->index_ = static_cast<int>(i);
  }
}

ListViewItem* ListView::HitTest(int x, int y, int* column) const {
  PumpingLock hold(*lock_);
  ShowRemovals();
  LVHITTESTINFO info = {};
  info.pt.x = x;
  info.pt.y = y;
  const LRESULT index =
      SendMessageW(Handle(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info));
  if (index < 0 || (info.flags & LVHT_ONITEM) == 0 ||
      static_cast<std::size_t>(index) >= items_.size()) {
    return nullptr;
  }
  if (column != nullptr) {
    *column = info.iSubItem;
  }
  return items_[static_cast<std::size_t>(index)].get();
}

LRESULT ListView::OnGetDlgCode(WPARAM wParam, LPARAM lParam) {
  // Tab still moves the focus on to the next control of the dialog, and
  // Escape still reaches the dialog (its cancel command).
  const auto* message = reinterpret_cast<const MSG*>(lParam);
  if (message != nullptr && message->message == WM_KEYDOWN &&
      (message->wParam == VK_TAB || message->wParam == VK_ESCAPE)) {
    return DefaultProc(WM_GETDLGCODE, wParam, lParam);
  }
  return DLGC_WANTALLKEYS;
}

LRESULT ListView::OnKeyDown(WPARAM key, LPARAM lParam) {
  const std::uint32_t options = Options();
  if (key == VK_RETURN && (options & kOpenKey) != 0) {
    OpenFirstSelected();
  } else if (key == VK_DELETE && (options & kDeleteKey) != 0) {
    RemoveSelected();
  } else if (key == 'A' && (options & kSelectAllKey) != 0) {
    SelectAll();
  }
  return UserScroll(WM_KEYDOWN, key, lParam);
}

LRESULT ListView::OnVScroll(WPARAM wParam, LPARAM lParam) {
  return UserScroll(WM_VSCROLL, wParam, lParam);
}

LRESULT ListView::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_MOUSEWHEEL) {
    return UserScroll(message, wParam, lParam);
  }
  if (message == kArmPendingMessage) {
    if (SetTimer(Handle(), kPendingTimerId, kPendingMilliseconds, nullptr) == 0) {
      ShowPending();
    }
    return 0;
  }
  if (message == WM_TIMER && wParam == kPendingTimerId) {
    KillTimer(Handle(), kPendingTimerId);
    ShowPending();
    return 0;
  }
  return Window::DefaultProc(message, wParam, lParam);
}

LRESULT ListView::UserScroll(UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT top = SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0);
  const LRESULT result = Window::DefaultProc(message, wParam, lParam);
  if (SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0) != top ||
      (message == WM_VSCROLL && LOWORD(wParam) == SB_BOTTOM)) {
    following_.store(LastRowVisible());
  }
  return result;
}

bool ListView::LastRowVisible() const {
  const LRESULT count = SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0);
  const LRESULT top = SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0);
  const LRESULT perPage = SendMessageW(Handle(), LVM_GETCOUNTPERPAGE, 0, 0);
  return top + perPage >= count;
}

void ListView::FollowRow(std::size_t position) {
  PumpingLock hold(*lock_);
  ShowRemovals();
  if (!following_.load() || position >= items_.size()) {
    return;
  }
  const LRESULT top = SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0);
  SendMessageW(Handle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(position), FALSE);
  if (SendMessageW(Handle(), LVM_GETTOPINDEX, 0, 0) != top) {
    // A scroll moves what is drawn; a part of a row moved under the header
    // (or while painting was held) is drawn again whole.
    InvalidateRect(Handle(), nullptr, FALSE);
  }
}

LRESULT ListView::OnMouseMove(WPARAM wParam, LPARAM lParam) {
  if (hoverListener_) {
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const int item =
        static_cast<int>(SendMessageW(Handle(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item != hoveredItem_) {
      hoveredItem_ = item;
      hoverListener_(item);
    }
  }
  return DefaultProc(WM_MOUSEMOVE, wParam, lParam);
}

LRESULT ListView::OnNotify(WPARAM wParam, LPARAM lParam) {
  return Reflect(WM_NOTIFY, wParam, lParam);
}

void ListView::OpenFirstSelected() {
  std::wstring path;
  {
    PumpingLock hold(*lock_);
    const ListViewItem* row = FirstSelected();
    if (row == nullptr) {
      return;
    }
    path = GetItemText(*row, 0);
  }
  // Outside the lock: a slow file association or an "Open with" dialog must
  // not hold up the workers that wait for the list.
  OpenWithShell(path);
}

void ListView::OpenWithShell(const std::wstring& path) {
  ShellExecuteW(Handle(), nullptr, path.c_str(), L"", L"", SW_SHOWNORMAL);
}

void ListView::RemoveSelected() {
  PumpingLock hold(*lock_);
  ShowRemovals();
  // Waiting for the lock serves messages; a run may have started meanwhile,
  // and its workers hold rows that must not go.
  if ((Options() & kDeleteKey) == 0) {
    return;
  }
  // The selected items: every one when the count says so (LVM_GETSELECTEDCOUNT), otherwise each
  // item's state (LVM_GETITEMSTATE). LVM_GETNEXTITEM is not used: some list controls search
  // from the start on every call, which takes seconds over thousands of rows.
  const std::size_t selected =
      static_cast<std::size_t>(SendMessageW(Handle(), LVM_GETSELECTEDCOUNT, 0, 0));
  std::vector<bool> gone(items_.size(), false);
  std::size_t goneCount = 0;
  if (selected >= items_.size()) {
    gone.assign(items_.size(), true);
    goneCount = items_.size();
  } else if (selected > 0) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (SendMessageW(Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) != 0) {
        gone[i] = true;
        ++goneCount;
      }
    }
  }
  if (goneCount == 0) {
    return;
  }
  std::size_t firstGone = 0;
  while (!gone[firstGone]) {
    ++firstGone;
  }

  // One sweep: the control's items go with the list's redraw suspended (all
  // at once when every row goes, otherwise the last first, so each index is
  // still the control's), then the rows are renumbered once.
  SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
  if (goneCount == items_.size()) {
    SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0);
  } else {
    for (std::size_t i = items_.size(); i-- > 0;) {
      if (gone[i]) {
        SendMessageW(Handle(), LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
      }
    }
  }
  std::deque<std::shared_ptr<ListViewItem>> kept;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (gone[i]) {
      items_[i]->owner_ = nullptr;  // its item is already gone from the control
    } else {
      items_[i]->index_ = static_cast<int>(kept.size());
      kept.push_back(std::move(items_[i]));
    }
  }
  items_.swap(kept);
  kept.clear();  // the removed rows and their data
  SelectAfterRemoval(firstGone);
  SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void ListView::SelectAfterRemoval(std::size_t firstGone) {
  if (items_.empty()) {
    return;
  }
  const std::size_t next = firstGone < items_.size() ? firstGone : items_.size() - 1;
  LVITEMW item = {};
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(next),
               reinterpret_cast<LPARAM>(&item));
  SendMessageW(Handle(), LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(next));
  SendMessageW(Handle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(next), FALSE);
}

void ListView::SelectAll() {
  PumpingLock hold(*lock_);
  ShowRemovals();
  if ((GetKeyState(VK_CONTROL) & 0x80) == 0) {
    return;
  }
  LVITEMW item = {};
  item.state = LVIS_SELECTED;
  item.stateMask = LVIS_SELECTED;
  SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(&item));
}

}  // namespace kiv
