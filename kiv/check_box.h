// kiv::CheckBox: an automatic check box of a dialog template.
//
// Links (applied after every BM_SETCHECK once the box is subclassed; a
// subclassed automatic check box receives BM_SETCHECK both for a click and
// when its state is set by code):
//   kind 1: EnableWindow(target, check state == value)
//   kind 2: EnableWindow(target, check state != value)
//   kind 5: target placed HWND_TOPMOST when check state == value, else
//           HWND_NOTOPMOST (no move, no size, frame changed)
// Other kinds do nothing.
//
// Saved state: the integer "Check" (the BM_GETCHECK result).
//
// Threads: user-interface thread only.
#ifndef KIV_CHECK_BOX_H_
#define KIV_CHECK_BOX_H_

#include <cstdint>
#include <memory>

#include "kiv/window.h"
#include "settings/data_node.h"

namespace kiv {

class CheckBox : public Window {
 public:
  static constexpr int kLinkEnableWhenEqual = 1;
  static constexpr int kLinkEnableWhenDifferent = 2;
  static constexpr int kLinkTopMostWhenEqual = 5;

  // Binds the check box `id` of `parent` (attached, not subclassed: the
  // caller subclasses a box that carries links). Returns an empty pointer
  // when the parent has no such control.
  static std::shared_ptr<CheckBox> Attach(Window& parent, int id);

  // BM_GETCHECK: 0 clear, 1 set (2 indeterminate).
  int GetCheck() const;
  // BM_SETCHECK; a subclassed box applies its links afterwards.
  void SetCheck(int state);

  void ApplyLink(Window* target, int kind, int value) override;

  // Writes "Check" := the check state into `node`.
  void Save(DataNode& node) const;
  // Sets the check state to node's "Check", or `fallback` when it is missing
  // or not exactly 4 bytes.
  void Load(const DataNode& node, std::int32_t fallback);

 protected:
  // BM_SETCHECK: lets the control change its state, then applies the links.
  LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam) override;
};

}  // namespace kiv

#endif  // KIV_CHECK_BOX_H_
