#include "engine/memory_host.h"

struct MemoryFileList::Row final : FileEntry {
  std::wstring sourcePath;
  std::wstring stateText;
  std::wstring outputPath;
  int index = 0;
};

MemoryFileList::MemoryFileList() = default;

MemoryFileList::~MemoryFileList() = default;

// Rows are created only by AddItem, so every entry handed out is a Row.
MemoryFileList::Row* MemoryFileList::RowOf(const FileEntry* entry) {
  return static_cast<Row*>(const_cast<FileEntry*>(entry));
}

int MemoryFileList::GetCount() {
  kiv::LockGuard hold(lock_);
  return static_cast<int>(rows_.size());
}

FileEntry* MemoryFileList::GetEntry(int position) {
  kiv::LockGuard hold(lock_);
  if (position < 0 || position >= static_cast<int>(rows_.size())) {
    return nullptr;
  }
  return rows_[position].get();
}

FileEntry* MemoryFileList::AddItem(const std::wstring& sourcePath) {
  kiv::LockGuard hold(lock_);
  auto row = std::make_unique<Row>();
  row->sourcePath = sourcePath;
  row->index = static_cast<int>(rows_.size());
  rows_.push_back(std::move(row));
  return rows_.back().get();
}

std::wstring MemoryFileList::GetItemText(const FileEntry* entry, int column) {
  kiv::LockGuard hold(lock_);
  const Row* row = RowOf(entry);
  if (column == kColumnSource) {
    return row->sourcePath;
  }
  if (column == kColumnState) {
    return row->stateText;
  }
  return std::wstring();
}

void MemoryFileList::SetItemText(FileEntry* entry, const std::wstring& text, int column) {
  if (column != kColumnState) {
    return;
  }
  kiv::LockGuard hold(lock_);
  Row* row = RowOf(entry);
  row->stateText = text;
  if (stateListener_) {
    stateListener_(row->sourcePath, text);
  }
}

void MemoryFileList::SetOutputPath(FileEntry* entry, const std::wstring& path) {
  kiv::LockGuard hold(lock_);
  RowOf(entry)->outputPath = path;
}

std::wstring MemoryFileList::GetOutputPath(const FileEntry* entry) {
  kiv::LockGuard hold(lock_);
  return RowOf(entry)->outputPath;
}

int MemoryFileList::GetIndex(const FileEntry* entry) {
  kiv::LockGuard hold(lock_);
  return RowOf(entry)->index;
}

void MemoryFileList::RemoveItem(int position) {
  kiv::LockGuard hold(lock_);
  if (position < 0 || position >= static_cast<int>(rows_.size())) {
    return;
  }
  rows_.erase(rows_.begin() + position);
  for (size_t i = static_cast<size_t>(position); i < rows_.size(); ++i) {
    rows_[i]->index = static_cast<int>(i);
  }
}

void MemoryFileList::EnsureVisible(const FileEntry*) {}

void MemoryFileList::SetBehaviourFlags(unsigned flags) {
  flags_.store(flags);
}

std::vector<MemoryFileList::RowCopy> MemoryFileList::Rows() {
  kiv::LockGuard hold(lock_);
  std::vector<RowCopy> copies;
  copies.reserve(rows_.size());
  for (const auto& row : rows_) {
    copies.push_back(RowCopy{row->sourcePath, row->stateText, row->outputPath});
  }
  return copies;
}

void MemoryFileList::SetStateListener(
    std::function<void(const std::wstring&, const std::wstring&)> listener) {
  kiv::LockGuard hold(lock_);
  stateListener_ = std::move(listener);
}

void MemoryWindow::SetTitle(const std::wstring& title) {
  // The listener runs outside the state's lock, so that it may take its time
  // while other threads use the window; its own lock keeps the calls in order.
  std::lock_guard<std::mutex> inOrder(listenerMutex_);
  std::function<void(const std::wstring&)> listener;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    title_ = title;
    listener = titleListener_;
  }
  if (listener) {
    listener(title);
  }
}

void MemoryWindow::SetConvertButtonText(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(mutex_);
  buttonText_ = text;
}

void MemoryWindow::EnableConvertButton(bool enable) {
  std::lock_guard<std::mutex> hold(mutex_);
  buttonEnabled_ = enable;
}

std::wstring MemoryWindow::Title() {
  std::lock_guard<std::mutex> hold(mutex_);
  return title_;
}

std::wstring MemoryWindow::ConvertButtonText() {
  std::lock_guard<std::mutex> hold(mutex_);
  return buttonText_;
}

bool MemoryWindow::ConvertButtonEnabled() {
  std::lock_guard<std::mutex> hold(mutex_);
  return buttonEnabled_;
}

void MemoryWindow::SetTitleListener(std::function<void(const std::wstring&)> listener) {
  std::lock_guard<std::mutex> hold(mutex_);
  titleListener_ = std::move(listener);
}
