// The progress of a run on the main window's taskbar button: the share of
// files done, done / (done + remaining) as the title counts them; the error
// state once a row of the run has failed; nothing while no run is active.
//
// TaskbarButton is the part of the shell's taskbar interface the progress
// uses; MakeTaskbarListButton gives the real one (ITaskbarList3), and tests
// give their own. TaskbarProgress decides what the button shows and tells it
// only what changed.
//
// Threads: user-interface thread only (the button is a COM object of that
// thread's apartment). Ownership: TaskbarProgress owns its button.
#ifndef MORVANE_APP_TASKBAR_PROGRESS_H
#define MORVANE_APP_TASKBAR_PROGRESS_H

#include <windows.h>

#include <cstdint>
#include <memory>

class TaskbarButton {
 public:
  enum class State { kNone, kNormal, kError };

  TaskbarButton() = default;
  TaskbarButton(const TaskbarButton&) = delete;
  TaskbarButton& operator=(const TaskbarButton&) = delete;
  virtual ~TaskbarButton() = default;

  // The bar's look; kNone removes it.
  virtual void SetState(State state) = 0;
  // The bar's length: `done` of `total`. REQUIRES: 0 <= done <= total, total > 0.
  virtual void SetValue(std::uint64_t done, std::uint64_t total) = 0;
};

// The taskbar button of `window` through ITaskbarList3, or null where the
// system has no such interface. Call it once the shell has reported the
// button (the registered "TaskbarButtonCreated" message). REQUIRES: COM is
// started on the calling thread.
std::unique_ptr<TaskbarButton> MakeTaskbarListButton(HWND window);

class TaskbarProgress {
 public:
  TaskbarProgress() = default;
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // Takes `button` in place of the earlier one (null: none) and shows the
  // current progress on it. The shell makes a button anew after a restart of
  // its taskbar, so this may come more than once.
  void SetButton(std::unique_ptr<TaskbarButton> button);

  // A run's title was set with these counts; a negative count counts as 0.
  void ShowCounts(int done, int remaining);
  // A row of the current run failed: the error state until the run ends.
  void MarkFailed();
  // The run ended: nothing is shown and the failure is forgotten.
  void Clear();

 private:
  void Apply();

  std::unique_ptr<TaskbarButton> button_;
  bool active_ = false;
  bool failed_ = false;
  std::uint64_t done_ = 0;
  std::uint64_t total_ = 0;
  // What the button shows now, to leave out repeated calls.
  TaskbarButton::State shownState_ = TaskbarButton::State::kNone;
  std::uint64_t shownDone_ = 0;
  std::uint64_t shownTotal_ = 0;
};

#endif  // MORVANE_APP_TASKBAR_PROGRESS_H
