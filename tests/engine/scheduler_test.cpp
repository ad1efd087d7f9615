// The scheduler over the in-memory list, with a stand-in conversion that the
// tests steer (gates, failures, timing) and a clock they set.
#include "engine/convert_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "settings/file_fault.h"
#include "settings/path.h"
#include "tests/engine/wait_until.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

using morvane_test::WaitUntil;
using namespace std::chrono_literals;

namespace {

// A conversion the test steers. By default it "converts" at once: it writes a
// small file at the output path and reports "変換終了". Sources whose path
// contains "unreadable" or "unwritable" fail with "読込失敗" or "書込失敗".
// With gates on, each conversion waits until the test opens its gate.
class FakeConversion {
 public:
  FileConverter Converter() {
    return [this](const std::wstring& source, const std::wstring& output, OptionSet&) {
      return Convert(source, output);
    };
  }

  void UseGates() { gated_ = true; }
  void SetDelay(std::chrono::milliseconds delay) { delay_ = delay; }

  // Lets the conversion of `source` (or, with an empty name, the oldest
  // waiting one) finish.
  void Open(const std::wstring& source) {
    std::lock_guard<std::mutex> hold(mutex_);
    opened_.insert(source);
    changed_.notify_all();
  }
  void OpenAll() {
    std::lock_guard<std::mutex> hold(mutex_);
    openAll_ = true;
    changed_.notify_all();
  }

  std::vector<std::wstring> Started() {
    std::lock_guard<std::mutex> hold(mutex_);
    return started_;
  }
  // Largest number of conversions that ran at once from the moment of the
  // last ResetMaxActive.
  int MaxActive() { return maxActive_.load(); }
  void ResetMaxActive() { maxActive_.store(active_.load()); }
  int Active() { return active_.load(); }
  std::map<std::wstring, int> Counts() {
    std::lock_guard<std::mutex> hold(mutex_);
    return counts_;
  }

 private:
  ConvertOutcome Convert(const std::wstring& source, const std::wstring& output) {
    const int now = ++active_;
    int seen = maxActive_.load();
    while (now > seen && !maxActive_.compare_exchange_weak(seen, now)) {
    }
    {
      std::unique_lock<std::mutex> hold(mutex_);
      started_.push_back(source);
      ++counts_[source];
      if (gated_) {
        changed_.wait(hold, [&] { return openAll_ || opened_.count(source) != 0; });
      }
    }
    if (delay_.count() > 0) {
      std::this_thread::sleep_for(delay_);
    }
    ConvertOutcome outcome;
    if (source.find(L"unreadable") != std::wstring::npos) {
      outcome.stateText = kStateReadFailed;
    } else if (source.find(L"unwritable") != std::wstring::npos) {
      outcome.stateText = kStateWriteFailed;
    } else {
      if (kiv::IsDirectory(kiv::RemoveFileSpec(output))) {
        testimg::WriteFileBytes(output, {0x89, 'P', 'N', 'G'});
      }
      outcome.stateText = kStateConverted;
      outcome.writtenPath = output;
    }
    --active_;
    return outcome;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool gated_ = false;
  bool openAll_ = false;
  std::chrono::milliseconds delay_{0};
  std::set<std::wstring> opened_;
  std::vector<std::wstring> started_;
  std::map<std::wstring, int> counts_;
  std::atomic<int> active_{0};
  std::atomic<int> maxActive_{0};
};

class SchedulerTest : public ::testing::Test {
 protected:
  SchedulerTest() {
    window.SetTitleListener([this](const std::wstring& title) { titles.push_back(title); });
    // The scheduler marks rows "変換中..." as it hands them out, on its own
    // thread and in hand-out order (the workers then start in any order).
    list.SetStateListener([this](const std::wstring& source, const std::wstring& state) {
      if (state == kStateConverting) {
        std::lock_guard<std::mutex> hold(handedOutMutex);
        handedOut.push_back(source);
      }
    });
    options.SetOn(Option::kAutoDeleteItem, false);
  }

  void MakeManager() {
    manager =
        std::make_unique<ConvertManager>(host, fake.Converter(), [this] { return now.load(); });
  }

  // Source paths in the temporary folder (the files need not exist).
  std::vector<std::wstring> Sources(int count, const std::wstring& stem = L"file") {
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i) {
      paths.push_back(dir / (stem + std::to_wstring(i) + L".bmp"));
    }
    return paths;
  }

  void AddAll(const std::vector<std::wstring>& paths) {
    for (const auto& path : paths) {
      manager->AddFile(path);
    }
  }

  bool WaitIdle() {
    return WaitUntil([&] { return manager->WaitUntilIdle(0); }, 60s);
  }

  std::vector<std::wstring> States() {
    std::vector<std::wstring> states;
    for (const auto& row : list.Rows()) {
      states.push_back(row.stateText);
    }
    return states;
  }

  void ExpectIdleWindow() {
    EXPECT_EQ(window.Title(), L"Morvane");
    EXPECT_EQ(window.ConvertButtonText(), L"変換");
    EXPECT_TRUE(window.ConvertButtonEnabled());
    EXPECT_EQ(list.GetBehaviourFlags(), kListFlagsIdle);
    EXPECT_FALSE(manager->IsRunning());
  }

  testimg::TempDir dir;
  MemoryFileList list;
  MemoryOptionSet options;
  MemoryWindow window;
  EngineHost host{list, options, window};
  FakeConversion fake;
  std::atomic<uint32_t> now{0};
  std::vector<std::wstring> HandedOut() {
    std::lock_guard<std::mutex> hold(handedOutMutex);
    return handedOut;
  }

  std::vector<std::wstring> titles;  // written by the listener, read after the run
  std::mutex handedOutMutex;
  std::vector<std::wstring> handedOut;
  std::unique_ptr<ConvertManager> manager;
};

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

TEST_F(SchedulerTest, AutoDeleteRemovesConvertedRowsAndStillHandsOutTheRest) {
  options.SetOn(Option::kAutoDeleteItem, true);
  options.SetConvertCount(3);
  MakeManager();
  const auto paths = Sources(30);
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(fake.Started().size(), 30u);
  for (const auto& path : paths) {
    EXPECT_EQ(fake.Counts()[path], 1);
  }
  ExpectIdleWindow();
}

TEST_F(SchedulerTest, FailedFilesKeepTheirSourcesAndRows) {
  options.SetOn(Option::kAutoDeleteItem, true);
  options.SetOn(Option::kDeleteSrcFile, true);
  options.SetConvertCount(2);
  MakeManager();
  const std::vector<std::wstring> paths = {dir / L"good1.bmp", dir / L"unreadable.bmp",
                                           dir / L"good2.bmp", dir / L"unwritable.bmp"};
  for (const auto& path : paths) {
    ASSERT_TRUE(testimg::WriteFileBytes(path, {'B', 'M'}));
  }
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());

  const auto rows = list.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].sourcePath, paths[1]);
  EXPECT_EQ(rows[0].stateText, kStateReadFailed);
  EXPECT_EQ(rows[1].sourcePath, paths[3]);
  EXPECT_EQ(rows[1].stateText, kStateWriteFailed);
  EXPECT_FALSE(kiv::FileExists(paths[0]));
  EXPECT_TRUE(kiv::FileExists(paths[1]));
  EXPECT_FALSE(kiv::FileExists(paths[2]));
  EXPECT_TRUE(kiv::FileExists(paths[3]));
  EXPECT_TRUE(kiv::FileExists(dir / L"good1.png"));
}

TEST_F(SchedulerTest, SourceConvertedOntoItselfIsNeverDeleted) {
  options.SetOn(Option::kDeleteSrcFile, true);
  MakeManager();
  const std::wstring source = dir / L"picture.png";
  ASSERT_TRUE(testimg::WriteFileBytes(source, {1, 2, 3}));
  manager->AddFile(source);
  ASSERT_EQ(list.Rows()[0].outputPath, source);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(States(), std::vector<std::wstring>{kStateConverted});
  EXPECT_TRUE(kiv::FileExists(source));
}

TEST_F(SchedulerTest, SourceIsKeptWhenTheReportedOutputIsMissing) {
  options.SetOn(Option::kDeleteSrcFile, true);
  // A conversion that claims success but whose output is not on the disk.
  manager = std::make_unique<ConvertManager>(
      host,
      [](const std::wstring&, const std::wstring& output, OptionSet&) {
        ConvertOutcome outcome;
        outcome.stateText = kStateConverted;
        outcome.writtenPath = output;
        return outcome;
      },
      [] { return 0u; });
  const std::wstring source = dir / L"photo.jpg";
  ASSERT_TRUE(testimg::WriteFileBytes(source, {1}));
  manager->AddFile(source);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(kiv::FileExists(source));
}

TEST_F(SchedulerTest, SourceIsKeptWhenItsOutputCannotBeMadeDurable) {
  options.SetOn(Option::kDeleteSrcFile, true);
  MakeManager();
  const std::wstring source = dir / L"photo.bmp";
  ASSERT_TRUE(testimg::WriteFileBytes(source, {'B', 'M'}));
  const std::wstring output = kiv::RenameExtension(source, L".png");
  manager->AddFile(source);
  {
    kiv::FaultPlan plan;
    plan.step = kiv::FaultStep::kFlush;
    plan.path_contains = output;
    kiv::ScopedFault fault(plan);
    manager->StartConvert();
    ASSERT_TRUE(WaitIdle());
  }
  EXPECT_EQ(States(), std::vector<std::wstring>{kStateConverted});
  EXPECT_TRUE(kiv::FileExists(output));
  EXPECT_TRUE(kiv::FileExists(source));
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

TEST_F(SchedulerTest, TitleCountsDownAndShowsTheEstimate) {
  fake.UseGates();
  options.SetConvertCount(1);
  MakeManager();
  const auto paths = Sources(5);
  AddAll(paths);
  manager->StartConvert();

  // Lets file `index` finish at time `at` and waits until the pass has
  // reaped it and shown `title`.
  auto finish = [&](int index, uint32_t at, const std::wstring& title) {
    now = at;
    fake.Open(paths[index]);
    ASSERT_TRUE(WaitUntil([&] { return window.Title() == title; })) << index;
  };
  auto tick = [&] { manager->UpdateTitle(false); };

  tick();  // nothing finished yet: the title stays as it is
  EXPECT_TRUE(titles.empty());
  finish(0, 1000, L"Morvane - 4");
  tick();  // one completion timed: no estimate yet
  EXPECT_EQ(window.Title(), L"Morvane - 4");
  finish(1, 3000, L"Morvane - 3");
  tick();  // (3000 - 1000) / 1 = 2000 ms per file, 3 files: 6 s
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:06)");
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:05)");
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:04)");
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:03)");
  finish(2, 4000, L"Morvane - 2 (0:03)");  // a completion keeps the estimate shown
  tick();  // recomputed: intervals 2000 x4 and (4000 - 1000) / 2: 2 x 9500 / 5 ms -> 4 s
  EXPECT_EQ(window.Title(), L"Morvane - 2 (0:04)");
  finish(3, 64000, L"Morvane - 1 (0:04)");
  tick();
  tick();
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 1 (0:01)");  // never counts below one second
  tick();  // recomputed: 1 x (8000 + 1500 + 4 x 21000) / 9 ms -> 11 s
  EXPECT_EQ(window.Title(), L"Morvane - 1 (0:11)");
  now = 65000;
  fake.Open(paths[4]);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(window.Title(), L"Morvane");
  tick();  // after the run: unchanged
  EXPECT_EQ(window.Title(), L"Morvane");
}

TEST_F(SchedulerTest, EstimateOfALongRunDoesNotWrapAround) {
  fake.UseGates();
  options.SetConvertCount(1);
  MakeManager();
  const auto paths = Sources(6);
  AddAll(paths);
  manager->StartConvert();
  now = 0;
  fake.Open(paths[0]);
  ASSERT_TRUE(WaitUntil([&] { return window.Title() == L"Morvane - 5"; }));
  now = 3000000000u;  // one file in 3,000,000 s
  fake.Open(paths[1]);
  ASSERT_TRUE(WaitUntil([&] { return window.Title() == L"Morvane - 4"; }));
  manager->UpdateTitle(false);
  // 4 files x 3e9 ms is past 32 bits of milliseconds.
  EXPECT_EQ(manager->EtaSeconds(), 12000000u);
  EXPECT_EQ(window.Title(), L"Morvane - 4 (200000:00)");
  manager->RequestStop();
  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
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
