// The progress of a run on the taskbar button: what the button is told for
// each title, failure and end, and the same seen through the main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "pages/resource_ids.h"
#include "app/taskbar_progress.h"
#include "tests/app/window_support.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

using Log = std::vector<std::string>;

// Writes what it is told into a log the test keeps.
class FakeButton final : public TaskbarButton {
 public:
  explicit FakeButton(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  void SetState(State state) override {
    log_->push_back(state == State::kNone ? "none" : state == State::kError ? "error" : "normal");
  }
  void SetValue(std::uint64_t done, std::uint64_t total) override {
    log_->push_back(std::to_string(done) + "/" + std::to_string(total));
  }

 private:
  std::shared_ptr<Log> log_;
};

TEST(TaskbarProgressTest, TellsTheButtonOnlyWhatChanged) {
  enum Op { kCounts, kFailed, kClear, kNewButton, kNoButton };
  struct Step {
    Op op;
    int done;
    int remaining;
    Log told;  // by the current button
  };
  const Step steps[] = {
      {kClear, 0, 0, {}},  // idle: nothing to take away
      {kCounts, 0, 3, {"0/3", "normal"}},
      {kCounts, 1, 2, {"1/3"}},
      {kCounts, 1, 2, {}},
      {kFailed, 0, 0, {"error"}},
      {kCounts, 2, 1, {"2/3"}},   // the error stays for the rest of the run
      {kCounts, 2, -1, {"2/2"}},  // a negative count is none
      {kClear, 0, 0, {"none"}},
      {kCounts, 1, 4, {"1/5", "normal"}},     // the next run forgot the failure
      {kNewButton, 0, 0, {"1/5", "normal"}},  // a restarted taskbar shows it again
      {kCounts, 0, 0, {}},                    // nothing counted yet: no value
      {kClear, 0, 0, {"none"}},
      {kFailed, 0, 0, {}},  // a failure before the run's first title
      {kCounts, 1, 0, {"1/1", "error"}},
      {kNoButton, 0, 0, {}},
      {kCounts, 2, 2, {}},
  };
  TaskbarProgress progress;
  auto log = std::make_shared<Log>();
  progress.SetButton(std::make_unique<FakeButton>(log));
  int index = 0;
  for (const Step& step : steps) {
    log->clear();
    switch (step.op) {
      case kCounts:
        progress.ShowCounts(step.done, step.remaining);
        break;
      case kFailed:
        progress.MarkFailed();
        break;
      case kClear:
        progress.Clear();
        break;
      case kNewButton:
        progress.SetButton(std::make_unique<FakeButton>(log));
        break;
      case kNoButton:
        progress.SetButton(nullptr);
        break;
    }
    EXPECT_EQ(*log, step.told) << "step " << index;
    ++index;
  }
}

// The main window drives the button from its titles once the shell reported
// it: a value per finished file, the error once a row failed, nothing at the
// end of the run.
TEST(TaskbarProgressTest, MainWindowShowsARunWithAFailedRow) {
  std::unique_ptr<TestMorvane> window = OpenMainWindow();
  ASSERT_TRUE(window);
  auto log = std::make_shared<Log>();
  window->makeTaskbarButton = [log] { return std::make_unique<FakeButton>(log); };
  SendMessageW(window->Handle(), RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);

  testimg::TempDir dir;
  ASSERT_TRUE(WriteBmp(dir / L"a.bmp"));
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"broken.bmp", {'B', 'M', 1, 2, 3}));
  ASSERT_TRUE(WriteBmp(dir / L"c.bmp"));
  Drop(*window, {dir / L"a.bmp", dir / L"broken.bmp", dir / L"c.bmp"});
  ASSERT_TRUE(WaitUntilIdle(*window));
  PumpFor(std::chrono::milliseconds(50));
  CloseMainWindow(window);

  ASSERT_FALSE(log->empty());
  EXPECT_EQ(log->back(), "none");
  const auto error = std::find(log->begin(), log->end(), "error");
  EXPECT_NE(error, log->end());
  EXPECT_EQ(std::count(log->begin(), log->end(), "none"), 1);
  const auto last = std::find(log->rbegin(), log->rend(), "3/3");
  EXPECT_NE(last, log->rend()) << "the last file was not counted";
}

}  // namespace
}  // namespace apptest
