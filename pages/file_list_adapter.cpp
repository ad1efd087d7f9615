#include "pages/file_list_adapter.h"

#include <commctrl.h>

#include <memory>
#include <utility>

#include "kiv/pumping_lock.h"

namespace {

// The engine's entry for one list-view row, kept in the row's data.
class ListRow final : public FileEntry {
 public:
  ListRow(kiv::ListViewItem* row, std::wstring sourcePath)
      : row(row), sourcePath(std::move(sourcePath)) {}
  kiv::ListViewItem* const row;  // the row that holds this entry
  // The first column's text, which never changes: kept here so that a
  // conversion still finds its source once the window is closing.
  const std::wstring sourcePath;
  std::wstring outputPath;
  std::wstring tip;  // why it failed, or what its PNG lacks; empty for none
};

ListRow* RowOf(const FileEntry* entry) {
  return const_cast<ListRow*>(static_cast<const ListRow*>(entry));
}

}  // namespace

void PumpingLockObject::Lock() {
  // PumpingLock takes the lock while pumping; the second, recursive hold
  // stays with the caller when the guard lets its own hold go.
  kiv::PumpingLock wait(inner_);
  inner_.Lock();
}

ListViewFileList::ListViewFileList(kiv::ListView& list) : list_(list), lock_(list.Lock()) {}

ListViewFileList::~ListViewFileList() = default;

FileEntry* ListViewFileList::EntryOf(kiv::ListViewItem& row) {
  auto* held = std::any_cast<std::shared_ptr<ListRow>>(&row.data);
  if (held == nullptr || !*held) {
    row.data = std::make_shared<ListRow>(&row, list_.GetItemText(row, kColumnSource));
    held = std::any_cast<std::shared_ptr<ListRow>>(&row.data);
  }
  return held->get();
}

int ListViewFileList::GetCount() {
  kiv::PumpingLock hold(list_.Lock());
  return static_cast<int>(list_.ItemCount());
}

FileEntry* ListViewFileList::GetEntry(int position) {
  kiv::PumpingLock hold(list_.Lock());
  if (position < 0 || static_cast<std::size_t>(position) >= list_.ItemCount()) {
    return nullptr;
  }
  return EntryOf(*list_.ItemAt(static_cast<std::size_t>(position)));
}

FileEntry* ListViewFileList::AddItem(const std::wstring& sourcePath) {
  kiv::PumpingLock hold(list_.Lock());
  kiv::ListViewItem* row = list_.AddItem(sourcePath);
  if (row == nullptr) {
    return nullptr;
  }
  row->data = std::make_shared<ListRow>(row, sourcePath);
  return EntryOf(*row);
}

std::wstring ListViewFileList::GetItemText(const FileEntry* entry, int column) {
  if (column == kColumnSource) {
    return RowOf(entry)->sourcePath;
  }
  return list_.GetItemText(*RowOf(entry)->row, column);
}

void ListViewFileList::SetItemText(FileEntry* entry, const std::wstring& text, int column) {
  if (column != kColumnState) {
    return;  // the source path never changes
  }
  {
    // A new state ends what the row told of its last conversion.
    kiv::PumpingLock hold(list_.Lock());
    ListRow* row = RowOf(entry);
    if (!row->tip.empty()) {
      row->tip.clear();
      list_.SetItemMark(*row->row, static_cast<LPARAM>(RowNote::kNone));
    }
  }
  // Shown with the other rows' changes: a worker never waits for the
  // user-interface thread to draw its row.
  list_.SetItemTextSoon(*RowOf(entry)->row, text, column);
  if (stateListener_) {
    stateListener_(text);
  }
}

void ListViewFileList::SetRowNote(int position, const std::wstring& tip, RowNote note) {
  kiv::PumpingLock hold(list_.Lock());
  if (position < 0 || static_cast<std::size_t>(position) >= list_.ItemCount()) {
    return;
  }
  kiv::ListViewItem& row = *list_.ItemAt(static_cast<std::size_t>(position));
  static_cast<ListRow*>(EntryOf(row))->tip = tip;
  list_.SetItemMark(row, static_cast<LPARAM>(note));
}

std::wstring RowTip(kiv::ListView& list, int position) {
  kiv::PumpingLock hold(list.Lock());
  // The position is the control's: rows removed a moment ago may still be there.
  const kiv::ListViewItem* row =
      position < 0 ? nullptr : list.ItemShownAt(static_cast<std::size_t>(position));
  if (row == nullptr) {
    return std::wstring();
  }
  const auto* held = std::any_cast<std::shared_ptr<ListRow>>(&row->data);
  return held != nullptr && *held ? (*held)->tip : std::wstring();
}

void ListViewFileList::SetOutputPath(FileEntry* entry, const std::wstring& path) {
  if (entry == nullptr) {
    return;  // a row the control refused: there is nothing to give a path
  }
  kiv::PumpingLock hold(list_.Lock());
  RowOf(entry)->outputPath = path;
}

std::wstring ListViewFileList::GetOutputPath(const FileEntry* entry) {
  kiv::PumpingLock hold(list_.Lock());
  return RowOf(entry)->outputPath;
}

int ListViewFileList::GetIndex(const FileEntry* entry) {
  kiv::PumpingLock hold(list_.Lock());
  return RowOf(entry)->row->Index();
}

void ListViewFileList::RemoveItem(int position) {
  if (position < 0) {
    return;
  }
  // Drawn with the other rows' changes (see SetItemText).
  list_.RemoveItemSoon(static_cast<std::size_t>(position));
}

void ListViewFileList::EnsureVisible(const FileEntry* entry) {
  // The list follows the converting rows until the user scrolls it away.
  list_.FollowRowSoon(*RowOf(entry)->row);
}

void ListViewFileList::ShowChanges() {
  list_.ShowPending();
}

void ListViewFileList::SetBehaviourFlags(unsigned flags) {
  list_.SetOptions(flags);
}
