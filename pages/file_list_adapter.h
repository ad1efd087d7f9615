// ListViewFileList: the engine's file list (engine/file_list.h) over the file
// page's list view. Each row of the list view carries, as its data, the
// engine's entry for it, which keeps the row's output path and its source path
// (the first column, which never changes); the entry lives and dies with the
// row.
//
// Threads: every operation may be called from any thread. Each one takes the
// list's lock with message pumping (a waiting user-interface thread keeps
// serving the messages that the lock's holder sends it) and reaches the
// control with sent messages, which the user-interface thread carries out, so
// each change is complete when the call returns. State texts, removals and
// the following of rows are the exception: they are made in the list (and
// read back at once) and the control shows them a moment later, many rows at
// once (kiv::ListView::SetItemTextSoon); ShowChanges shows them at once.
//
// SetOutputPath ignores a null entry (AddItem's answer when the control
// refused the row).
//
// Ownership: the adapter does not own the list view; the list view must
// outlive it (both are held by the main window, the adapter destroyed first).
#ifndef MORVANE_PAGES_FILE_LIST_ADAPTER_H
#define MORVANE_PAGES_FILE_LIST_ADAPTER_H

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "engine/file_list.h"
#include "kiv/list_view.h"

// A lock whose Lock() waits the way the list view's own operations wait:
// trying, and processing the calling thread's messages between the attempts.
// REQUIRES: the wrapped lock is recursive.
class PumpingLockObject final : public kiv::LockObject {
 public:
  explicit PumpingLockObject(kiv::LockObject& inner) : inner_(inner) {}
  void Lock() override;
  void Unlock() override { inner_.Unlock(); }
  bool TryLock() override { return inner_.TryLock(); }

 private:
  kiv::LockObject& inner_;
};

class ListViewFileList final : public FileList {
 public:
  // REQUIRES: `list` outlives this object.
  explicit ListViewFileList(kiv::ListView& list);
  ~ListViewFileList() override;

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
  void ShowChanges() override;

  // The entry of a list-view row: made for rows that were appended without
  // one. REQUIRES: the list's lock is held.
  FileEntry* EntryOf(kiv::ListViewItem& row);

  // What a row's colour and tip tell: nothing, a failure (red), or a PNG
  // written with a warning (amber). Kept as the row's mark in the control.
  enum class RowNote : LPARAM { kNone = 0, kFailed = 1, kWarned = 2 };
  // Gives the row at `position` its tip text and note; a position outside
  // the rows is ignored. A new state text clears both.
  void SetRowNote(int position, const std::wstring& tip, RowNote note);

  // Called with each state text once it is in its row, on the thread that set
  // it, which may hold the list's lock. Set it before any run starts.
  void SetStateListener(std::function<void(const std::wstring&)> listener) {
    stateListener_ = std::move(listener);
  }

 private:
  kiv::ListView& list_;
  PumpingLockObject lock_;
  std::function<void(const std::wstring&)> stateListener_;
};

// The tip of the row the control shows at `position` in a list the adapter
// fills; empty for a row without a note or a position outside the rows.
// Locked.
std::wstring RowTip(kiv::ListView& list, int position);

#endif  // MORVANE_PAGES_FILE_LIST_ADAPTER_H
