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
  list_.SetItemText(*RowOf(entry)->row, text, column);
  if (stateListener_) {
    stateListener_(text);
  }
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
  list_.RemoveItem(static_cast<std::size_t>(position));
}

void ListViewFileList::EnsureVisible(const FileEntry* entry) {
  kiv::PumpingLock hold(list_.Lock());
  SendMessageW(list_.Handle(), LVM_ENSUREVISIBLE, RowOf(entry)->row->Index(), FALSE);
}

void ListViewFileList::SetBehaviourFlags(unsigned flags) {
  list_.SetOptions(flags);
}
