// kiv::TabControl: the tab control (SysTabControl32) of a dialog template,
// with one TabControlItem per tab. Showing the page of a tab is the caller's
// work: the tab control knows nothing of pages.
//
// Saved state: the integer "Index", the selected tab (-1 when none). Loading
// an index that names no tab selects tab 0.
//
// Threads: user-interface thread only.
#ifndef KIV_TAB_CONTROL_H_
#define KIV_TAB_CONTROL_H_

#include <deque>
#include <memory>
#include <string>

#include "kiv/window.h"
#include "settings/data_node.h"

namespace kiv {

class TabControl;

// One tab. Its index is fixed when it is added.
class TabControlItem {
 public:
  TabControlItem(TabControl* owner, int index) : owner_(owner), index_(index) {}
  TabControlItem(const TabControlItem&) = delete;
  TabControlItem& operator=(const TabControlItem&) = delete;

  TabControl* Owner() const { return owner_; }
  int Index() const { return index_; }
  // TCM_SETCURSEL on this tab; raises no TCN_SELCHANGE.
  void Select();

 private:
  TabControl* owner_;  // non-owning
  int index_;
};

class TabControl : public Window {
 public:
  // Binds the tab control `id` of `parent` (attached, not subclassed).
  // Returns an empty pointer when the parent has no such control.
  static std::shared_ptr<TabControl> Attach(Window& parent, int id);

  // Releases the items, then the window.
  ~TabControl() override;

  // Appends a tab with `text` (TCM_INSERTITEMW at the end) and returns it;
  // returns null, with the items unchanged, when the control does not take
  // the tab at the end.
  std::shared_ptr<TabControlItem> AddTab(const std::wstring& text);
  // Selects the tab of `item` without notification.
  void Select(const TabControlItem& item);
  // TCM_GETCURSEL: the selected tab, -1 when none.
  int GetCurSel() const;
  const std::deque<std::shared_ptr<TabControlItem>>& Items() const { return items_; }

  void Save(DataNode& node) const;
  void Load(const DataNode& node);

 private:
  std::deque<std::shared_ptr<TabControlItem>> items_;
};

}  // namespace kiv

#endif  // KIV_TAB_CONTROL_H_
