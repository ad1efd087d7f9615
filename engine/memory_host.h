// MemoryFileList and MemoryWindow: the file list and the window kept in
// memory, for morvane-cli and the engine's tests. Same behaviour as the
// window's list: rows in insertion order, positions renumbered on removal,
// every operation under one recursive lock.
//
// Threads: every operation may be called from any thread.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/file_list.h"

class MemoryFileList final : public FileList {
 public:
  // A copy of one row, for reading the whole list at once.
  struct RowCopy {
    std::wstring sourcePath;
    std::wstring stateText;
    std::wstring outputPath;
  };

  MemoryFileList();
  ~MemoryFileList() override;

  kiv::LockObject& GetLock() override { return lock_; }
  int GetCount() override;
  FileEntry* GetEntry(int position) override;
  FileEntry* AddItem(const std::wstring& sourcePath) override;
  std::wstring GetItemText(const FileEntry* entry, int column) override;
  void SetItemText(FileEntry* entry, const std::wstring& text, int column) override;
  void SetOutputPath(FileEntry* entry, const std::wstring& path) override;
  std::wstring GetOutputPath(const FileEntry* entry) override;
  int GetIndex(const FileEntry* entry) override;
  void RemoveItem(int position) override;
  void EnsureVisible(const FileEntry* entry) override;
  void SetBehaviourFlags(unsigned flags) override;

  unsigned GetBehaviourFlags() const { return flags_.load(); }
  // Every row, in list order, copied under the lock.
  std::vector<RowCopy> Rows();

  // Called on the calling thread, under the list's lock, after each change
  // of a row's state text, with the row's source path and its new state.
  void SetStateListener(std::function<void(const std::wstring&, const std::wstring&)> listener);

 private:
  struct Row;
  Row* RowOf(const FileEntry* entry);

  kiv::CriticalSection lock_;
  std::deque<std::unique_ptr<Row>> rows_;
  std::atomic<unsigned> flags_{0};
  std::function<void(const std::wstring&, const std::wstring&)> stateListener_;
};

class MemoryWindow final : public ConvertWindow {
 public:
  void SetTitle(const std::wstring& title) override;
  void SetConvertButtonText(const std::wstring& text) override;
  void EnableConvertButton(bool enable) override;

  std::wstring Title();
  std::wstring ConvertButtonText();
  bool ConvertButtonEnabled();

  // Called on the calling thread after each title change, in the order of
  // the changes; it must not change the title itself.
  void SetTitleListener(std::function<void(const std::wstring&)> listener);

 private:
  std::mutex mutex_;
  std::mutex listenerMutex_;
  std::wstring title_ = L"Morvane";
  std::wstring buttonText_ = L"変換";
  bool buttonEnabled_ = true;
  std::function<void(const std::wstring&)> titleListener_;
};
