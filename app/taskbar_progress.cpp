#include "app/taskbar_progress.h"

#include <utility>

namespace {

std::uint64_t Count(int value) {
  return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

}  // namespace

void TaskbarProgress::SetButton(std::unique_ptr<TaskbarButton> button) {
  button_ = std::move(button);
  // A new button shows nothing yet.
  shownState_ = TaskbarButton::State::kNone;
  shownDone_ = 0;
  shownTotal_ = 0;
  Apply();
}

void TaskbarProgress::ShowCounts(int done, int remaining) {
  active_ = true;
  done_ = Count(done);
  total_ = done_ + Count(remaining);
  Apply();
}

void TaskbarProgress::MarkFailed() {
  failed_ = true;
  Apply();
}

void TaskbarProgress::Clear() {
  active_ = false;
  failed_ = false;
  done_ = 0;
  total_ = 0;
  Apply();
}

void TaskbarProgress::Apply() {
  if (!button_) {
    return;
  }
  TaskbarButton::State state = TaskbarButton::State::kNone;
  if (active_) {
    state = failed_ ? TaskbarButton::State::kError : TaskbarButton::State::kNormal;
  }
  // The value first: setting a value on a bar that shows nothing makes it a
  // normal one, which the state then corrects.
  if (state != TaskbarButton::State::kNone && total_ > 0 &&
      (done_ != shownDone_ || total_ != shownTotal_)) {
    button_->SetValue(done_, total_);
    shownDone_ = done_;
    shownTotal_ = total_;
  }
  if (state != shownState_) {
    button_->SetState(state);
    shownState_ = state;
    if (state == TaskbarButton::State::kNone) {
      shownDone_ = 0;
      shownTotal_ = 0;
    }
  }
}
