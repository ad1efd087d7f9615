// PageFile: the first tab page ("ファイル"). Holds the file list, one row per
// registered source file with its full path and its conversion state, and
// the hint shown while the list is empty.
//
// A row that failed is drawn in red, one converted with a warning in amber
// (the row's mark, pages/file_list_adapter.h); hovering a row with a note
// shows it as the row's tip. A source path too long for its column is
// shortened in the middle, so that its file name stays visible.
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

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "kiv/dialog.h"
#include "kiv/list_view.h"
#include "kiv/static_text.h"
#include "kiv/tool_tip.h"

// The state column's width for the list `list`: its widest state text in
// the list's font and the cell's margins, at least kStateColumnWidth. A
// fixed width cut the texts off at 144 DPI and more, where the font grows.
int StateColumnWidth(HWND list);

class PageFile : public kiv::Dialog {
 public:
  // Behaviour flags of the list while no run is active: Ctrl+A, Delete and
  // Enter all work.
  static constexpr std::uint32_t kIdleListOptions =
      kiv::ListView::kSelectAllKey | kiv::ListView::kDeleteKey | kiv::ListView::kOpenKey;
  // Width in pixels of the state column at 96 DPI, and its least width.
  static constexpr int kStateColumnWidth = 60;

  PageFile();
  ~PageFile() override;

  // The list and the hint; empty until OnInitDialog has run.
  const std::shared_ptr<kiv::ListView>& list() const { return list_; }
  const std::shared_ptr<kiv::StaticText>& hint() const { return hint_; }

  // Shows the list in place of the hint, if the list is still hidden.
  // User-interface thread.
  void RevealList();
  // Shows the hint in place of the list when the list has no row.
  void ShowHintIfEmpty();

  // The tip of the list's item `item` (the control's index): its row's
  // note, else the whole path when the row shows it shortened, else empty.
  std::wstring TipText(int item);
  // The tooltip window of the list's rows; null before OnInitDialog.
  HWND TipWindow() const { return tip_ ? tip_->Handle() : nullptr; }

  // The row colours: failed, converted with a warning.
  static constexpr COLORREF kFailedColour = RGB(0xD0, 0x10, 0x10);
  static constexpr COLORREF kWarnedColour = RGB(0xC0, 0x78, 0x00);

 protected:
  LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam) override;
  // The list's notifications: a double click on a row opens its file; the
  // drawing of its rows and rows coming and going (the hint); and the
  // tooltip's request for the hovered row's tip (TTN_GETDISPINFOW).
  LRESULT OnNotify(WPARAM wParam, LPARAM lParam) override;
  // The posted look at whether the list became empty.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Opens `path` with the shell's default action; failures are silent.
  virtual void OpenWithShell(const std::wstring& path);

 private:
  // Sent while the list removes rows; posted once until it is served.
  static constexpr UINT kCheckEmptyMessage = WM_APP + 20;

  void OpenRowAt(const NMITEMACTIVATE& activate);
  // NM_CUSTOMDRAW of the list: the answer to give the list.
  LRESULT DrawRow(NMLVCUSTOMDRAW& draw);
  void DrawSourcePath(NMLVCUSTOMDRAW& draw);
  // Answers a notification with `result` through the dialog's result slot.
  LRESULT Answer(LRESULT result);

  std::shared_ptr<kiv::ListView> list_;
  std::shared_ptr<kiv::StaticText> hint_;
  // Made after the list and gone before it: the tooltip watches the list.
  std::unique_ptr<kiv::ToolTip> tip_;
  int hoveredItem_ = -1;
  // Read once as the list starts to paint, for every row it paints: the
  // first row in view and the list's inset of a label.
  LRESULT paintTop_ = 0;
  int paintInset_ = 0;
  std::wstring tipText_;  // the text last given to the tooltip
  bool emptyCheckPosted_ = false;
};

#endif  // MORVANE_PAGES_PAGE_FILE_H
