// kiv::TrackBar: a track bar (msctls_trackbar32) of a dialog template.
//
// Links (applied after every WM_PAINT once the bar is subclassed; the bar
// repaints whenever its position changes, also while it is dragged):
//   kind 6: SetWindowTextW(target, the position in decimal); value unused.
//
// Saved state: the integer "Pos".
//
// Threads: user-interface thread only.
#ifndef KIV_TRACK_BAR_H_
#define KIV_TRACK_BAR_H_

#include <cstdint>
#include <memory>

#include "kiv/window.h"
#include "settings/data_node.h"

namespace kiv {

class TrackBar : public Window {
 public:
  static constexpr int kLinkShowPosition = 6;

  // Binds the track bar `id` of `parent` (attached, not subclassed: the
  // caller subclasses a bar that carries links). Returns an empty pointer
  // when the parent has no such control.
  static std::shared_ptr<TrackBar> Attach(Window& parent, int id);

  // TBM_GETPOS.
  int GetPos() const;
  // TBM_SETPOS with redraw.
  void SetPos(int position);
  // TBM_SETRANGEMIN / TBM_SETRANGEMAX with redraw.
  void SetRange(int minimum, int maximum);
  void SetRangeMax(int maximum);

  void ApplyLink(Window* target, int kind, int value) override;

  // Writes "Pos" := the position into `node`.
  void Save(DataNode& node) const;
  // Sets the position to node's "Pos", or `fallback` when it is missing or
  // not exactly 4 bytes.
  void Load(const DataNode& node, std::int32_t fallback);

 protected:
  // WM_PAINT: paints the bar, then applies the links.
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam) override;
};

}  // namespace kiv

#endif  // KIV_TRACK_BAR_H_
