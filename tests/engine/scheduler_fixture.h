// Stand-ins for the scheduler tests: a conversion the tests steer (gates,
// failures, timing) and a fixture holding the scheduler over the in-memory
// list, options and window, with a clock the tests set and a record of the
// titles shown and of the order in which rows were handed out.
//
// Threads: the fixture belongs to the test's thread. FakeConversion and the
// listeners are called from the scheduler's and the workers' threads and are
// thread-safe; `titles` is read only once a run is over.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/path.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace scheduler_test {

// A conversion the test steers. By default it "converts" at once: it writes a
// small file at the output path and reports "変換終了". Sources whose path
// contains "unreadable" or "unwritable" fail with "読込失敗" or "書込失敗";
// those whose path contains "warned" convert with a warning.
// With gates on, each conversion waits until the test opens its gate.
class FakeConversion {
 public:
  FileConverter Converter() {
    return [this](const RowJob& job, OptionSet&) { return Convert(job.source, job.outputPath); };
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
      if (source.find(L"warned") != std::wstring::npos) {
        outcome.warning = L"truncated: 10 of 20 bytes";
      }
      outcome.writtenPath = output;
      outcome.hasWrittenStamp = kiv::ReadFileStamp(output, &outcome.writtenStamp);
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
    return morvane_test::WaitUntil([&] { return manager->WaitUntilIdle(0); },
                                   std::chrono::seconds(60));
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

}  // namespace scheduler_test
