// The engine's view of the file list and of the window.
//
// The engine keeps no list of its own: the rows of the file list are its work
// queue and a row's state column is where each file's result goes. FileList
// is the set of list operations the scheduler and the workers use;
// ConvertWindow is what they change on the main window (title, convert
// button). The window implements both with requests to its user-interface
// thread; morvane-cli and the tests use the in-memory implementations.
//
// Threads: every operation may be called from any thread. Each FileList
// operation takes the list's lock for its whole duration; the lock is
// recursive, and callers that walk rows hold it around the walk. Each change
// is complete when the call returns, and each read returns the current state;
// a window may draw state texts and scroll to rows a moment later, and
// ShowChanges has it draw them at once.
//
// Ownership: the list owns its rows. Callers keep plain FileEntry pointers,
// valid until that row is removed or the list is destroyed.
#pragma once

#include <string>

#include "base/lock.h"

class OptionSet;

// The state texts of a row, exact.
inline constexpr wchar_t kStateWaiting[] = L"";
inline constexpr wchar_t kStateConverting[] = L"変換中...";
inline constexpr wchar_t kStateReadFailed[] = L"読込失敗";
inline constexpr wchar_t kStateWriteFailed[] = L"書込失敗";
inline constexpr wchar_t kStateConverted[] = L"変換終了";

// Column 0 holds the source path as registered, column 1 the state text.
inline constexpr int kColumnSource = 0;
inline constexpr int kColumnState = 1;

// Behaviour flags of the list: Ctrl+A selects every row, Delete removes the
// selected rows, Enter opens the first selected row's file.
inline constexpr unsigned kListSelectAll = 0x02;
inline constexpr unsigned kListDeleteKey = 0x04;
inline constexpr unsigned kListOpenKey = 0x08;
// While no run is active, and while one is (no row may vanish under a worker).
inline constexpr unsigned kListFlagsIdle = kListSelectAll | kListDeleteKey | kListOpenKey;
inline constexpr unsigned kListFlagsRunning = kListSelectAll | kListOpenKey;

// One row of the list as the engine sees it: an identity the list's
// operations accept. Its source path, state text, output path and position
// are read and changed through FileList.
class FileEntry {
 public:
  FileEntry() = default;
  FileEntry(const FileEntry&) = delete;
  FileEntry& operator=(const FileEntry&) = delete;
  virtual ~FileEntry() = default;
};

class FileList {
 public:
  FileList() = default;
  FileList(const FileList&) = delete;
  FileList& operator=(const FileList&) = delete;
  virtual ~FileList() = default;

  // The list's lock. Hold it around any walk over positions.
  virtual kiv::LockObject& GetLock() = 0;

  // Number of rows.
  virtual int GetCount() = 0;
  // The row at `position`, or null when there is none.
  virtual FileEntry* GetEntry(int position) = 0;
  // Appends a row whose source path is `sourcePath`, with an empty state text
  // and an empty output path; returns it.
  virtual FileEntry* AddItem(const std::wstring& sourcePath) = 0;
  // Column kColumnSource: the source path; kColumnState: the state text.
  virtual std::wstring GetItemText(const FileEntry* entry, int column) = 0;
  // Sets the state text (only kColumnState may be changed).
  virtual void SetItemText(FileEntry* entry, const std::wstring& text, int column) = 0;
  // The output path fixed at registration, kept with the row.
  virtual void SetOutputPath(FileEntry* entry, const std::wstring& path) = 0;
  virtual std::wstring GetOutputPath(const FileEntry* entry) = 0;
  // The row's current position; positions of the rows after a removed row go
  // down by one.
  virtual int GetIndex(const FileEntry* entry) = 0;
  // Deletes the row at `position` and renumbers the rows after it.
  // REQUIRES: 0 <= position < GetCount().
  virtual void RemoveItem(int position) = 0;
  // Scrolls the row fully into view (nothing to do without a window).
  virtual void EnsureVisible(const FileEntry* entry) = 0;
  // Sets the behaviour flags (kListFlagsIdle or kListFlagsRunning).
  virtual void SetBehaviourFlags(unsigned flags) = 0;
  // Shows every change made so far in the window (nothing to do without
  // one). The scheduler calls it as a run ends.
  virtual void ShowChanges() {}
};

class ConvertWindow {
 public:
  ConvertWindow() = default;
  ConvertWindow(const ConvertWindow&) = delete;
  ConvertWindow& operator=(const ConvertWindow&) = delete;
  virtual ~ConvertWindow() = default;

  // The main window's title: "Morvane", "Morvane - N" or "Morvane - N (M:SS)".
  virtual void SetTitle(const std::wstring& title) = 0;
  // The convert button's text: "中止" while a run is active, "変換" after it.
  virtual void SetConvertButtonText(const std::wstring& text) = 0;
  virtual void EnableConvertButton(bool enable) = 0;
};

// What the scheduler and the workers reach: the list, the options and the
// window. None of them is owned; all must outlive the scheduler.
struct EngineHost {
  FileList& list;
  OptionSet& options;
  ConvertWindow& window;
};
