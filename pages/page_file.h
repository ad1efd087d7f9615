// PageFile: the first tab page ("ファイル"). Holds the file list, one row per
// registered source file with its full path and its conversion state, and
// the hint shown until the first file is registered.
//
// The rows are the conversion engine's work queue: the engine reaches them
// through FileListAdapter (pages/file_list_adapter.h), registration appends
// them, workers write their state texts, the scheduler removes them.
//
// Threads: the page and its controls belong to the user-interface thread.
// The list's row operations may be called from any thread (kiv::ListView
// takes its own lock).
#ifndef MORVANE_PAGES_PAGE_FILE_H
#define MORVANE_PAGES_PAGE_FILE_H

#include <memory>
#include <string>

#include "kiv/dialog.h"
#include "kiv/list_view.h"
#include "kiv/static_text.h"

class PageFile : public kiv::Dialog {
 public:
  // Behaviour flags of the list while no run is active: Ctrl+A, Delete and
  // Enter all work.
  static constexpr std::uint32_t kIdleListOptions =
      kiv::ListView::kSelectAllKey | kiv::ListView::kDeleteKey | kiv::ListView::kOpenKey;
  // Width in pixels of the state column.
  static constexpr int kStateColumnWidth = 60;

  PageFile();
  ~PageFile() override;

  // The list and the hint; empty until OnInitDialog has run.
  const std::shared_ptr<kiv::ListView>& list() const { return list_; }
  const std::shared_ptr<kiv::StaticText>& hint() const { return hint_; }

  // Shows the list in place of the hint, if the list is still hidden. Once
  // shown the list stays visible. User-interface thread.
  void RevealList();

 protected:
  LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam) override;
  // A double click on a row opens its file; every notification returns 0.
  LRESULT OnNotify(WPARAM wParam, LPARAM lParam) override;

  // Opens `path` with the shell's default action; failures are silent.
  virtual void OpenWithShell(const std::wstring& path);

 private:
  std::shared_ptr<kiv::ListView> list_;
  std::shared_ptr<kiv::StaticText> hint_;
};

#endif  // MORVANE_PAGES_PAGE_FILE_H
