// The scheduler's plumbing: the pool of worker threads and the options of a
// pass. The scheduler tests cover them in use; these cases pin down what a
// fault in them could hide there.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "base/event.h"
#include "engine/memory_options.h"
#include "engine/pass_options.h"
#include "engine/worker_pool.h"

namespace {

// Work handed over one piece at a time reuses one thread; pieces running at
// once each get a thread of their own, and the pool keeps them; `then` runs
// after its work, and every piece runs exactly once.
TEST(WorkerPoolTest, ReusesIdleThreadsAndGrowsOnlyForWorkAtOnce) {
  WorkerPool pool;
  std::atomic<int> ran{0};
  std::mutex lock;
  std::set<std::thread::id> threads;
  for (int i = 0; i < 20; ++i) {
    kiv::Event done(true);
    bool workFirst = false;
    ASSERT_TRUE(pool.Run(
        [&] {
          std::lock_guard<std::mutex> hold(lock);
          threads.insert(std::this_thread::get_id());
          ++ran;
        },
        [&] {
          workFirst = ran == i + 1;
          done.Set();
        }));
    done.Wait();
    EXPECT_TRUE(workFirst) << i;
  }
  EXPECT_EQ(ran, 20);
  EXPECT_EQ(pool.ThreadCount(), 1u);
  EXPECT_EQ(threads.size(), 1u);

  // Four pieces held at once: four threads; afterwards they serve again.
  kiv::Event release(true);
  std::atomic<int> started{0};
  std::atomic<int> finished{0};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(pool.Run(
        [&] {
          ++started;
          release.Wait();
        },
        [&] { ++finished; }));
  }
  while (started < 4) {
    std::this_thread::yield();
  }
  EXPECT_EQ(pool.ThreadCount(), 4u);
  release.Set();
  while (finished < 4) {
    std::this_thread::yield();
  }
  kiv::Event done(true);
  ASSERT_TRUE(pool.Run([] {}, [&] { done.Set(); }));
  done.Wait();
  EXPECT_EQ(pool.ThreadCount(), 4u);
}

// An option set that counts the reads of each kind.
class CountingOptions final : public OptionSet {
 public:
  bool IsOn(Option option) override {
    ++reads[L"on" + std::to_wstring(static_cast<int>(option))];
    return inner.IsOn(option);
  }
  std::wstring GetOptionText(Option option) override {
    ++reads[L"text" + std::to_wstring(static_cast<int>(option))];
    return inner.GetOptionText(option);
  }
  int GetOverwriteMode() override {
    ++reads[L"overwrite"];
    return inner.GetOverwriteMode();
  }
  int GetCompressLevel() override {
    ++reads[L"level"];
    return inner.GetCompressLevel();
  }
  int GetConvertCount() override {
    ++reads[L"count"];
    return inner.GetConvertCount();
  }

  MemoryOptionSet inner;
  std::map<std::wstring, int> reads;
};

// Each option is read once a pass, answers its value, and is told apart
// from the others; the next pass sees a change.
TEST(PassOptionsTest, ReadsEachOptionOnceAPass) {
  CountingOptions options;
  options.inner.SetOn(Option::kDeleteSrcFile, true);
  options.inner.SetOn(Option::k24Bit, false);
  options.inner.SetText(Option::kOutput, L"out");
  options.inner.SetOverwriteMode(2);
  options.inner.SetCompressLevel(3);
  options.inner.SetConvertCount(5);
  for (int pass = 0; pass < 2; ++pass) {
    PassOptions seen(options);
    for (int read = 0; read < 3; ++read) {
      EXPECT_TRUE(seen.IsOn(Option::kDeleteSrcFile));
      EXPECT_EQ(seen.IsOn(Option::k24Bit), pass == 1);
      EXPECT_EQ(seen.GetOptionText(Option::kOutput), pass == 0 ? L"out" : L"other");
      EXPECT_EQ(seen.GetOptionText(Option::kFilter), options.inner.GetOptionText(Option::kFilter));
      EXPECT_EQ(seen.GetOverwriteMode(), 2);
      EXPECT_EQ(seen.GetCompressLevel(), 3);
      EXPECT_EQ(seen.GetConvertCount(), pass == 0 ? 5 : 1);
    }
    options.inner.SetOn(Option::k24Bit, true);
    options.inner.SetText(Option::kOutput, L"other");
    options.inner.SetConvertCount(1);
  }
  for (const auto& [kind, count] : options.reads) {
    EXPECT_EQ(count, 2) << std::string(kind.begin(), kind.end());
  }
  EXPECT_EQ(options.reads.size(), 7u);
}

}  // namespace
