// kiv::ComboBox: a combo box of a dialog template, subclassed by its factory.
//
// Saved state depends on the style:
//   drop-down (CBS_DROPDOWN): "Text" (the edit text), "Size" (item count) and
//     one child per item named "0", "1", ... holding the item's "Text";
//     loading appends the stored items after those already in the list;
//   drop-down list (CBS_DROPDOWNLIST): "Index", the selected item (-1: none);
//   any other style: nothing.
//
// Threads: user-interface thread only.
#ifndef KIV_COMBO_BOX_H_
#define KIV_COMBO_BOX_H_

#include <cstdint>
#include <memory>
#include <string>

#include "kiv/window.h"
#include "settings/data_node.h"

namespace kiv {

class ComboBox : public Window {
 public:
  // Most items a load appends, whatever "Size" a damaged file claims.
  static constexpr std::int32_t kMaxLoadedItems = 4096;

  // Binds and subclasses the combo box `id` of `parent`. Returns an empty
  // pointer when the parent has no such control or the control cannot be
  // subclassed.
  static std::shared_ptr<ComboBox> Attach(Window& parent, int id);

  // CB_ADDSTRING; returns the new item's index (negative on failure).
  int AddString(const std::wstring& text);
  // The text of item `index` (CB_GETLBTEXTLEN, CB_GETLBTEXT); empty for an
  // index that does not exist.
  std::wstring GetItemText(int index) const;
  // CB_GETCOUNT, CB_GETCURSEL (-1: none), CB_SETCURSEL (-1 clears).
  int GetCount() const;
  int GetCurSel() const;
  void SetCurSel(int index);

  void Save(DataNode& node) const;
  void Load(const DataNode& node);

 protected:
  // WM_COMMAND: reflection only (notifications of its own edit and list
  // children get the control's default processing).
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  LONG_PTR StyleKind() const;
};

}  // namespace kiv

#endif  // KIV_COMBO_BOX_H_
