// The scheduler's runs over the in-memory list: hand-out order, the worker
// count, stopping, files and starts that arrive during a run, many files at
// once, an idle wait and destruction in the middle of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/unicode.h"
#include "engine/convert_manager.h"
#include "engine/failure_reason.h"
#include "engine/memory_options.h"
#include "tests/engine/scheduler_fixture.h"
#include "tests/support/wait_until.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

using morvane_test::WaitUntil;
using scheduler_test::SchedulerTest;
using namespace std::chrono_literals;

namespace {

TEST_F(SchedulerTest, OneWorkerConvertsStrictlyInListOrder) {
  options.SetConvertCount(1);
  MakeManager();
  const auto paths = Sources(12);
  AddAll(paths);
  EXPECT_EQ(list.GetCount(), 12);  // registered at once while idle

  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(fake.Started(), paths);
  EXPECT_EQ(HandedOut(), paths);
  EXPECT_EQ(fake.MaxActive(), 1);
  EXPECT_EQ(States(), std::vector<std::wstring>(12, kStateConverted));
  ExpectIdleWindow();
}

TEST_F(SchedulerTest, RowIsMarkedConvertingAndRunStateIsShownWhileItRuns) {
  fake.UseGates();
  MakeManager();
  AddAll(Sources(1));
  manager->StartConvert();
  ASSERT_TRUE(WaitUntil([&] { return fake.Active() == 1; }));
  EXPECT_EQ(States(), std::vector<std::wstring>{kStateConverting});
  EXPECT_EQ(window.ConvertButtonText(), L"中止");
  EXPECT_EQ(list.GetBehaviourFlags(), kListFlagsRunning);
  EXPECT_TRUE(manager->IsRunning());
  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
  ExpectIdleWindow();
}

TEST_F(SchedulerTest, NeverMoreWorkersThanTheCurrentCount) {
  fake.UseGates();
  options.SetConvertCount(4);
  MakeManager();
  const auto paths = Sources(10);
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitUntil([&] { return fake.Active() == 4; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fake.Started().size(), 4u);

  // Lowered mid-run: the four finish, and new ones start only below two.
  options.SetConvertCount(2);
  fake.ResetMaxActive();
  fake.Open(paths[0]);
  fake.Open(paths[1]);
  fake.Open(paths[2]);
  ASSERT_TRUE(WaitUntil([&] { return fake.Started().size() == 5u; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fake.Started().size(), 5u);  // one free slot below two: rows 0-4 handed out
  EXPECT_LE(fake.MaxActive(), 4);
  fake.ResetMaxActive();
  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
  EXPECT_LE(fake.MaxActive(), 2);
  EXPECT_EQ(HandedOut(), paths);
  EXPECT_EQ(States(), std::vector<std::wstring>(10, kStateConverted));
}

TEST_F(SchedulerTest, StopMidRunLetsRunningFilesFinishAndLeavesTheRestWaiting) {
  fake.UseGates();
  options.SetConvertCount(2);
  MakeManager();
  const auto paths = Sources(6);
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitUntil([&] { return fake.Active() == 2; }));

  manager->RequestStop();
  EXPECT_FALSE(manager->IsRunning());
  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(fake.Started().size(), 2u);
  const std::vector<std::wstring> expected = {kStateConverted, kStateConverted, L"", L"", L"", L""};
  EXPECT_EQ(States(), expected);
  ExpectIdleWindow();

  // The next start picks up at the first waiting row.
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(HandedOut(), paths);
  EXPECT_EQ(States(), std::vector<std::wstring>(6, kStateConverted));
}

// The options as the window answers them: each read waits for the
// user-interface thread, which may serve a close meanwhile. Here a read of
// `stopAt` made by the scheduler's thread asks the stop itself.
class StoppingOptions final : public OptionSet {
 public:
  enum class Read { kConvertCount, kOverwriteMode, kDeleteSource };
  StoppingOptions(MemoryOptionSet& inner, Read stopAt) : inner_(inner), stopAt_(stopAt) {}
  ConvertManager* manager = nullptr;

  bool IsOn(Option option) override {
    if (option == Option::kDeleteSrcFile) {
      Reading(Read::kDeleteSource);
    }
    return inner_.IsOn(option);
  }
  std::wstring GetOptionText(Option option) override { return inner_.GetOptionText(option); }
  int GetOverwriteMode() override {
    Reading(Read::kOverwriteMode);
    return inner_.GetOverwriteMode();
  }
  int GetCompressLevel() override { return inner_.GetCompressLevel(); }
  int GetConvertCount() override {
    Reading(Read::kConvertCount);
    return inner_.GetConvertCount();
  }

 private:
  void Reading(Read read) {
    if (read == stopAt_ && manager != nullptr && std::this_thread::get_id() != testThread_ &&
        !stopped_.exchange(true)) {
      manager->RequestStop();
    }
  }
  MemoryOptionSet& inner_;
  const Read stopAt_;
  const std::thread::id testThread_ = std::this_thread::get_id();
  std::atomic<bool> stopped_{false};
};

TEST_F(SchedulerTest, AStopAnsweredWhileTheRunStartsStartsNothing) {
  for (const auto stopAt :
       {StoppingOptions::Read::kConvertCount, StoppingOptions::Read::kOverwriteMode,
        StoppingOptions::Read::kDeleteSource}) {
    SCOPED_TRACE(static_cast<int>(stopAt));
    MemoryFileList rows;
    StoppingOptions stopping(options, stopAt);
    ConvertManager scheduler(EngineHost{rows, stopping, window}, fake.Converter(),
                             [this] { return now.load(); });
    stopping.manager = &scheduler;
    const auto before = fake.Started().size();
    for (const std::wstring& path : Sources(3, L"start")) {
      scheduler.AddFile(path);
    }
    scheduler.StartConvert();
    ASSERT_TRUE(WaitUntil([&] { return scheduler.WaitUntilIdle(0); }));
    EXPECT_EQ(fake.Started().size(), before);
    for (const auto& row : rows.Rows()) {
      EXPECT_EQ(row.stateText, L"");
    }
    // The rows stay to come: the next start converts each of them.
    scheduler.StartConvert();
    ASSERT_TRUE(WaitUntil([&] { return scheduler.WaitUntilIdle(0); }));
    EXPECT_EQ(fake.Started().size(), before + 3);
  }
}

// The window as a start meets a close: taking the list's lock serves the
// window's messages, a close among them. Here the start's first change of
// the button asks the stop.
class StoppingWindow final : public ConvertWindow {
 public:
  explicit StoppingWindow(MemoryWindow& inner) : inner_(inner) {}
  ConvertManager* manager = nullptr;
  void SetTitle(const std::wstring& title) override { inner_.SetTitle(title); }
  void SetConvertButtonText(const std::wstring& text) override {
    inner_.SetConvertButtonText(text);
    if (manager != nullptr && !stopped_.exchange(true)) {
      manager->RequestStop();
    }
  }
  void EnableConvertButton(bool enable) override { inner_.EnableConvertButton(enable); }

 private:
  MemoryWindow& inner_;
  std::atomic<bool> stopped_{false};
};

TEST_F(SchedulerTest, AStopAskedWhileTheStartSetsUpStartsNothing) {
  StoppingWindow stopping(window);
  ConvertManager scheduler(EngineHost{list, options, stopping}, fake.Converter(),
                           [this] { return now.load(); });
  stopping.manager = &scheduler;
  for (const std::wstring& path : Sources(3)) {
    scheduler.AddFile(path);
  }
  EXPECT_FALSE(scheduler.StartConvert());
  ASSERT_TRUE(WaitUntil([&] { return scheduler.WaitUntilIdle(0); }));
  EXPECT_TRUE(fake.Started().empty());
  EXPECT_EQ(window.ConvertButtonText(), L"変換");
  EXPECT_EQ(window.Title(), L"Morvane");
  EXPECT_EQ(States(), std::vector<std::wstring>(3, L""));
  EXPECT_TRUE(scheduler.StartConvert());
  ASSERT_TRUE(WaitUntil([&] { return scheduler.WaitUntilIdle(0); }));
  EXPECT_EQ(States(), std::vector<std::wstring>(3, kStateConverted));
}

TEST_F(SchedulerTest, RemovingFinishedRowsKeepsTheFailedAndTheWarned) {
  options.SetOn(Option::kAutoDeleteItem, true);
  MakeManager();
  AddAll({dir / L"whole.bmp", dir / L"warned.bmp", dir / L"unreadable.bmp", dir / L"unwritable.bmp",
          dir / L"whole2.bmp"});
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  std::vector<std::wstring> left;
  for (const auto& row : list.Rows()) {
    left.push_back(kiv::FindFileName(row.sourcePath) + L" " + row.stateText);
  }
  const std::vector<std::wstring> expected = {L"warned.bmp " + std::wstring(kStateConverted),
                                              L"unreadable.bmp " + std::wstring(kStateReadFailed),
                                              L"unwritable.bmp " + std::wstring(kStateWriteFailed)};
  EXPECT_EQ(left, expected);
}

#ifndef _WIN32
// One file listed under two names is kept although sources are deleted; the
// row that tells so stays in the list with its note.
TEST_F(SchedulerTest, ASourceListedTwiceIsKeptAndItsRowSaysWhy) {
  options.SetOn(Option::kAutoDeleteItem, true);
  options.SetOn(Option::kDeleteSrcFile, true);
  const std::wstring file = dir / L"x.bmp";
  const std::wstring second = dir / L"best.bmp";
  const std::wstring alone = dir / L"alone.bmp";
  ASSERT_TRUE(testimg::WriteFileBytes(file, {'B', 'M'}));
  ASSERT_TRUE(testimg::WriteFileBytes(alone, {'B', 'M'}));
  ASSERT_EQ(link(kiv::WideToUtf8(file).c_str(), kiv::WideToUtf8(second).c_str()), 0);
  std::mutex mutex;
  std::vector<std::wstring> notes;
  MakeManager();
  manager->SetReportListener([&](const ConvertManager::FileReport& report) {
    std::lock_guard<std::mutex> hold(mutex);
    notes.push_back(report.sourceNote);
  });
  AddAll({file, alone, second});
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(kiv::FileExists(file));
  EXPECT_TRUE(kiv::FileExists(second));
  EXPECT_FALSE(kiv::FileExists(alone));
  EXPECT_EQ(std::count(notes.begin(), notes.end(), std::wstring(kNoteReachedTwice)), 1);
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_NE(list.Rows()[0].sourcePath, alone);
}
#endif

TEST_F(SchedulerTest, ConvertAgainClearsEveryRowAndConvertsEachOnceMore) {
  MakeManager();
  AddAll(Sources(5));
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(fake.Started().size(), 5u);

  // Started again without clearing: nothing is waiting, so nothing runs.
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(fake.Started().size(), 5u);

  manager->ClearRowsForNewRun();
  EXPECT_EQ(States(), std::vector<std::wstring>(5, L""));
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(fake.Started().size(), 10u);
  for (const auto& [source, count] : fake.Counts()) {
    EXPECT_EQ(count, 2) << ::testing::PrintToString(source);
  }
}

TEST_F(SchedulerTest, FilesAddedDuringARunAreConvertedInTheSameRun) {
  fake.UseGates();
  options.SetConvertCount(2);
  MakeManager();
  const auto first = Sources(3, L"early");
  AddAll(first);
  manager->StartConvert();
  ASSERT_TRUE(WaitUntil([&] { return fake.Active() == 2; }));

  const auto later = Sources(3, L"late");
  AddAll(later);  // queued: the scheduler's pass appends the rows
  ASSERT_TRUE(WaitUntil([&] { return list.GetCount() == 6; }));
  const auto rows = list.Rows();
  EXPECT_EQ(rows[3].sourcePath, later[0]);
  EXPECT_EQ(rows[3].stateText, L"");

  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
  std::vector<std::wstring> all = first;
  all.insert(all.end(), later.begin(), later.end());
  EXPECT_EQ(HandedOut(), all);
  EXPECT_EQ(States(), std::vector<std::wstring>(6, kStateConverted));
}

TEST_F(SchedulerTest, AutoStartAfterEarlierResultsBeginsAtTheFirstWaitingRow) {
  MakeManager();
  AddAll(Sources(3, L"old"));
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  const auto fresh = Sources(2, L"new");
  AddAll(fresh);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  const auto started = HandedOut();
  ASSERT_EQ(started.size(), 5u);
  EXPECT_EQ(started[3], fresh[0]);
  EXPECT_EQ(started[4], fresh[1]);
}

TEST_F(SchedulerTest, StartDuringARunKeepsTheRemainingCountExact) {
  fake.UseGates();
  options.SetConvertCount(2);
  MakeManager();
  const auto paths = Sources(2);
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitUntil([&] { return fake.Active() == 2; }));
  manager->StartConvert();  // as an automatic start after a drop would
  EXPECT_EQ(manager->RemainingCount(), 2);
  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
  for (const auto& title : titles) {
    EXPECT_EQ(title.find(L"- -"), std::wstring::npos) << "negative count in a title";
  }
}

// Files dropped with automatic start while the previous run is ending:
// neither the files nor the start may be lost, and the run must not stall.
TEST_F(SchedulerTest, DropArrivingWhileARunEndsIsNeverLost) {
  // Hold the ending run at its "Morvane" title until the drop has been made.
  std::atomic<bool> armed{false};
  std::atomic<bool> ending{false};
  std::atomic<bool> released{false};
  window.SetTitleListener([&](const std::wstring& title) {
    if (title == L"Morvane" && armed.exchange(false)) {
      ending = true;
      WaitUntil([&] { return released.load(); });
    }
  });
  MakeManager();
  const auto first = Sources(5, L"first");
  const auto second = Sources(5, L"second");
  for (size_t i = 0; i < first.size(); ++i) {
    ending = false;
    released = false;
    armed = true;
    manager->AddFile(first[i]);
    manager->StartConvert();
    ASSERT_TRUE(WaitUntil([&] { return ending.load(); }));
    manager->AddFile(second[i]);
    manager->StartConvert();
    released = true;
    ASSERT_TRUE(WaitUntil(
        [&] {
          return manager->WaitUntilIdle(0) &&
                 States() == std::vector<std::wstring>(2 * (i + 1), kStateConverted);
        },
        10s))
        << "drop " << i << " was lost or the run stalled";
    ExpectIdleWindow();
  }
}

TEST_F(SchedulerTest, AThousandFilesWithSixteenWorkersAreEachConvertedOnce) {
  options.SetConvertCount(16);
  MakeManager();
  const auto paths = Sources(1000);
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  const auto counts = fake.Counts();
  ASSERT_EQ(counts.size(), 1000u);
  for (const auto& [source, count] : counts) {
    ASSERT_EQ(count, 1);
  }
  EXPECT_LE(fake.MaxActive(), 16);
  EXPECT_EQ(States(), std::vector<std::wstring>(1000, kStateConverted));
  ExpectIdleWindow();
}

double ProcessCpuSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
#endif
}

TEST_F(SchedulerTest, WaitingForASlowWorkerCostsAlmostNoProcessorTime) {
  fake.SetDelay(1500ms);  // the worker sleeps: any processor time is the scheduler's
  MakeManager();
  AddAll(Sources(1));
  const double before = ProcessCpuSeconds();
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  const double used = ProcessCpuSeconds() - before;
  EXPECT_LT(used, 0.3) << "the scheduler spun while waiting";
}

TEST_F(SchedulerTest, DestructionDuringARunWaitsForTheWorkers) {
  fake.SetDelay(200ms);
  options.SetConvertCount(4);
  MakeManager();
  AddAll(Sources(8));
  manager->StartConvert();
  ASSERT_TRUE(WaitUntil([&] { return fake.Active() > 0; }));
  manager.reset();
  EXPECT_EQ(fake.Active(), 0);
}

}  // namespace
