// kiv::ListView: a report-style list view (SysListView32) of a dialog
// template, with its own ordered columns and rows and a lock of its own.
//
// Threads: the list is shared by the user-interface thread and worker
// threads. Every operation marked "locked" takes Lock() through PumpingLock
// for its whole duration (recursive for its holder), so the user-interface
// thread keeps serving messages while it waits and a worker's change is
// complete when its call returns. Callers that walk the rows hold the lock
// themselves (PumpingLock on GetLock()) and use ItemCount and ItemAt.
// The factory, the key handlers and the destructor run on the
// user-interface thread.
//
// Rows: the list holds the only shared pointer to each row; callers keep
// plain pointers, valid until the row is removed or the list destroyed. Row
// i of ItemAt has Index() i, which is also its item index in the control
// (the list is never sorted).
//
// Options (SetOptions; written by any thread, read by the key handlers):
//   kSelectAllKey  Ctrl+A selects every row
//   kDeleteKey     Delete removes every selected row in one sweep (the
//                  control redraws once, the rows are renumbered once); the
//                  flag is read again once the lock is held, so a change made
//                  while the key waited for the lock is honoured. The row
//                  after the first removed one (or the new last row) is then
//                  selected and focused, so a second Delete goes on.
//   kOpenKey       Enter opens the first selected row's first-column text
//                  with the shell, after the lock is released
//
// Following: FollowRow scrolls a row into view while the list follows. It
// stops following when the user scrolls (scroll bar, wheel, keys) so that
// its last row is out of view, and follows again once the user scrolls it
// back into view (End, the thumb at the bottom).
//
// Changes shown soon: SetItemTextSoon, FollowRowSoon and RemoveItemSoon
// change the list at once (GetItemText, ItemCount and ItemAt answer the
// change) and the user-interface thread shows every change kept so far
// together, kPendingMilliseconds after the first of them: one redraw and at
// most one scroll for many rows, and no thread waits for the user-interface
// thread to make them. ShowPending shows them at once. A kept change of a row
// that is removed meanwhile is dropped. Until removals are shown, the
// control's items are not the rows one to one: every operation that reaches
// the control's items shows the removals first, and ItemShownAt finds the row
// of an item the control tells of.
#ifndef KIV_LIST_VIEW_H_
#define KIV_LIST_VIEW_H_

#include <any>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/lock.h"
#include "kiv/window.h"

namespace kiv {

class ListView;

// One column of the list.
class ListViewColumn {
 public:
  ListViewColumn(ListView* owner, int index) : owner_(owner), index_(index) {}
  ListViewColumn(const ListViewColumn&) = delete;
  ListViewColumn& operator=(const ListViewColumn&) = delete;

  ListView* Owner() const { return owner_; }
  int Index() const { return index_; }

 private:
  ListView* owner_;  // non-owning
  int index_;
};

// One row of the list. Destroying it deletes its row from the control.
class ListViewItem {
 public:
  ListViewItem(ListView* owner, int index) : owner_(owner), index_(index) {}
  ~ListViewItem();
  ListViewItem(const ListViewItem&) = delete;
  ListViewItem& operator=(const ListViewItem&) = delete;

  ListView* Owner() const { return owner_; }
  // The row's current position. REQUIRES: the list's lock is held.
  int Index() const { return index_; }

  // The caller's value for this row (destroyed with the row).
  std::any data;

 private:
  friend class ListView;
  ListView* owner_;  // non-owning
  int index_;
  // Texts set by SetItemTextSoon that the control does not show yet, by
  // column; `queued_` while the row is in its list's queue of such rows.
  mutable std::map<int, std::wstring> pending_;
  // The texts the control shows, by column, as this object set them: read
  // from here, a text needs no call to the control (from another thread a
  // call waits for the user-interface thread, which may be busy drawing).
  mutable std::map<int, std::wstring> shown_;
  bool queued_ = false;
};

class ListView : public Window {
 public:
  static constexpr std::uint32_t kSelectAllKey = 0x02;
  static constexpr std::uint32_t kDeleteKey = 0x04;
  static constexpr std::uint32_t kOpenKey = 0x08;
  // How long after the first change kept by SetItemTextSoon or FollowRowSoon
  // the user-interface thread shows the kept changes.
  static constexpr UINT kPendingMilliseconds = 100;

  // Binds and subclasses the list view `id` of `parent`. Returns an empty
  // pointer when the parent has no such control or the control cannot be
  // subclassed.
  static std::shared_ptr<ListView> Attach(Window& parent, int id);

  ListView();
  // Releases the rows (deleting them from the control), the columns, the
  // lock and then the window.
  ~ListView() override;

  // The lock over columns, rows and every message that reads or changes
  // rows.
  LockObject& Lock() const { return *lock_; }
  std::shared_ptr<LockObject> GetLock() const { return lock_; }

  void SetOptions(std::uint32_t options) { options_.store(options); }
  std::uint32_t Options() const { return options_.load(); }

  // Locked. Appends a column (LVM_INSERTCOLUMNW, then LVM_SETCOLUMNW) with
  // `width` pixels and `format` (LVCFMT_LEFT, LVCFMT_CENTER, ...).
  ListViewColumn* AddColumn(const std::wstring& text, int width, int format);
  // Locked. Appends a row whose first column is `text` (LVM_INSERTITEMW).
  // Returns null, with the rows unchanged, when the control does not take
  // the row at the end.
  ListViewItem* AddItem(const std::wstring& text);
  // Locked. Sets the text of `column` in `row` (LVM_SETITEMW).
  void SetItemText(const ListViewItem& row, const std::wstring& text, int column);
  // Locked. As SetItemText, but the control shows the text soon (see above).
  // Any thread; it never waits for the user-interface thread.
  void SetItemTextSoon(ListViewItem& row, const std::wstring& text, int column);
  // Locked. The whole text of `column` in `row`, however long: the text
  // SetItemTextSoon kept for it, else the one this object last gave the
  // control, else the control's (LVM_GETITEMTEXTW with a buffer grown 256
  // characters at a time).
  std::wstring GetItemText(const ListViewItem& row, int column) const;
  // Locked. Keeps `mark` in the control's item of `row` (its lParam, 0 until
  // set) and redraws the row: custom drawing reads it from the drawing
  // notice without taking the lock.
  void SetItemMark(const ListViewItem& row, LPARAM mark);
  // Whether `row` is selected (LVM_GETITEMW, LVIS_SELECTED). REQUIRES: the
  // lock is held.
  bool IsSelected(const ListViewItem& row) const;
  // Locked. The first selected row in list order, or null.
  ListViewItem* FirstSelected() const;
  // Locked. Removes the row at `position` (LVM_DELETEITEM) and renumbers the
  // rows after it.
  // A position outside the rows is ignored.
  void RemoveItem(std::size_t position);
  // Locked. As RemoveItem, but the control deletes the item soon (see
  // above). Any thread; it never waits for the user-interface thread.
  void RemoveItemSoon(std::size_t position);
  // Locked. The row of the control's item `item`, as the control shows the
  // rows now; null for an item outside the rows or of a row removed since.
  ListViewItem* ItemShownAt(std::size_t item) const;
  // Locked. LVM_ENSUREVISIBLE of the row at `position` while Following();
  // a position outside the rows is ignored.
  void FollowRow(std::size_t position);
  bool Following() const { return following_.load(); }
  // Locked. FollowRow of `row` soon (see above); of the rows asked for
  // before the changes are shown, the last one is followed.
  void FollowRowSoon(const ListViewItem& row);
  // Locked. Shows the changes kept by SetItemTextSoon and FollowRowSoon now.
  // Any thread.
  void ShowPending();

  // Tells `listener` each time the item under the pointer changes (seen in
  // WM_MOUSEMOVE): the control's item index, or -1 off the items. User-
  // interface thread.
  void SetHoverListener(std::function<void(int item)> listener) {
    hoverListener_ = std::move(listener);
  }

  // Locked. LVM_SUBITEMHITTEST: the row at client point (x, y), or null
  // when the point is not on a row's icon, label or state icon; stores the
  // hit column in `column` when given.
  ListViewItem* HitTest(int x, int y, int* column = nullptr) const;

  // REQUIRES: the lock is held.
  std::size_t ItemCount() const { return items_.size(); }
  ListViewItem* ItemAt(std::size_t position) const { return items_.at(position).get(); }
  std::size_t ColumnCount() const { return columns_.size(); }

 protected:
  // WM_GETDLGCODE: DLGC_WANTALLKEYS, so Enter and Delete reach the list
  // inside a dialog; Tab and Escape are left to the dialog (navigation and
  // its cancel command).
  LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam) override;
  // WM_KEYDOWN: the option keys, then always default processing.
  LRESULT OnKeyDown(WPARAM key, LPARAM lParam) override;
  // WM_NOTIFY: reflection only.
  LRESULT OnNotify(WPARAM wParam, LPARAM lParam) override;
  // WM_MOUSEMOVE: the hover listener, then default processing.
  LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam) override;
  // WM_VSCROLL, and WM_MOUSEWHEEL through DefaultProc: the user scrolls.
  LRESULT OnVScroll(WPARAM wParam, LPARAM lParam) override;
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Opens `path` with the shell's default action (the Enter key); failures
  // are silent. Called without the lock held.
  virtual void OpenWithShell(const std::wstring& path);

 private:
  void OpenFirstSelected();
  void RemoveSelected();
  void SelectAll();
  // Runs the default processing of a message by which the user may scroll,
  // and follows again or stops following by where the list stands after it.
  LRESULT UserScroll(UINT message, WPARAM wParam, LPARAM lParam);
  bool LastRowVisible() const;
  // Asks the user-interface thread to show the kept changes soon, unless it
  // was asked already. REQUIRES: the lock is held.
  void ArmPending();
  // Deletes the items of the rows RemoveItemSoon removed. REQUIRES: the
  // lock is held. Const: it brings the control to the rows' state.
  void ShowRemovals() const;
  // Selects and focuses the row now at `firstGone` (or the last row).
  void SelectAfterRemoval(std::size_t firstGone);

  std::shared_ptr<LockObject> lock_;
  std::deque<std::shared_ptr<ListViewColumn>> columns_;
  std::deque<std::shared_ptr<ListViewItem>> items_;
  std::atomic<std::uint32_t> options_{0};
  std::atomic<bool> following_{true};
  // The changes to show soon (see above), under the lock: the rows with
  // kept texts, the row to follow, and whether the user-interface thread
  // was asked to show them.
  std::vector<std::weak_ptr<ListViewItem>> queued_;
  std::weak_ptr<ListViewItem> followSoon_;
  // Positions of rows removed by RemoveItemSoon whose items are still in the
  // control, in the order of removal, each as the position was then.
  mutable std::vector<std::size_t> removals_;
  bool armed_ = false;
  std::function<void(int)> hoverListener_;
  int hoveredItem_ = -1;
};

}  // namespace kiv

#endif  // KIV_LIST_VIEW_H_
