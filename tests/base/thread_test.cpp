#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "base/event.h"
#include "base/lock.h"
#include "tests/support/wait_until.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using morvane_test::WaitUntil;
using namespace std::chrono_literals;

namespace {

// Records what its thread does; what Run does is chosen by the test.
class ProbeThread : public kiv::Thread {
 public:
  enum class Mode { kCount, kOnce, kSlow, kSuspendSelf };

  explicit ProbeThread(Mode mode) : mode_(mode) { started_ = Start(); }
  ~ProbeThread() override { Stop(); }

  bool Restart() { return Start(); }

  void Run() override {
    // Thread ids are reused once a thread is joined; a thread-local serial
    // number tells two threads apart even then.
    thread_local int serial = 0;
    if (serial == 0) {
      serial = ++threadsSeen_;
    }
    runThread_ = serial;
    ++runs_;
    switch (mode_) {
      case Mode::kCount:
        std::this_thread::sleep_for(100us);
        break;
      case Mode::kOnce:
        Finish();
        break;
      case Mode::kSlow:
        inRun_ = true;
        std::this_thread::sleep_for(300ms);
        if (leftRun_) {
          *leftRun_ = true;
        }
        inRun_ = false;
        break;
      case Mode::kSuspendSelf:
        Suspend();
        break;
    }
  }

  bool started_ = false;
  std::atomic<int> runs_{0};
  std::atomic<bool> inRun_{false};
  std::shared_ptr<std::atomic<bool>> leftRun_;
  std::atomic<int> runThread_{0};
  static std::atomic<int> threadsSeen_;

 private:
  Mode mode_;
};

std::atomic<int> ProbeThread::threadsSeen_{0};

TEST(ThreadLifecycle, NeverResumedObjectEndsWithoutRunning) {
  auto probe = std::make_unique<ProbeThread>(ProbeThread::Mode::kCount);
  ASSERT_TRUE(probe->started_);
  EXPECT_TRUE(probe->HasThread());
  EXPECT_TRUE(probe->IsSuspended());
  EXPECT_FALSE(probe->IsFinished());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(probe->runs_.load(), 0);
  probe.reset();  // must return: the thread is woken to see `finished`
}

TEST(ThreadLifecycle, SuspendAndResumeOnlyChangeWhatNeedsChanging) {
  ProbeThread probe(ProbeThread::Mode::kCount);
  probe.Suspend();  // never resumed: nothing happens
  EXPECT_TRUE(probe.IsSuspended());
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(probe.runs_.load(), 0);

  probe.Resume();
  probe.Resume();  // already resumed: stays resumed
  EXPECT_FALSE(probe.IsSuspended());
  ASSERT_TRUE(WaitUntil([&] { return probe.runs_.load() > 5; }));

  probe.Suspend();
  EXPECT_TRUE(probe.IsSuspended());
  std::this_thread::sleep_for(20ms);  // the Run in progress ends
  const int settled = probe.runs_.load();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(probe.runs_.load(), settled);

  probe.Resume();
  EXPECT_TRUE(WaitUntil([&] { return probe.runs_.load() > settled; }));
}

TEST(ThreadLifecycle, RunThatFinishesItselfExecutesOnce) {
  ProbeThread probe(ProbeThread::Mode::kOnce);
  probe.Resume();
  ASSERT_TRUE(WaitUntil([&] { return probe.IsFinished(); }));
  probe.Join();
  EXPECT_EQ(probe.runs_.load(), 1);

  // Suspending a finished object changes nothing.
  probe.Suspend();
  EXPECT_FALSE(probe.IsSuspended());
  EXPECT_TRUE(probe.IsFinished());
}

TEST(ThreadLifecycle, DestructionWaitsForTheRunInProgress) {
  auto leftRun = std::make_shared<std::atomic<bool>>(false);
  auto probe = std::make_unique<ProbeThread>(ProbeThread::Mode::kSlow);
  probe->leftRun_ = leftRun;
  probe->Resume();
  ASSERT_TRUE(WaitUntil([&] { return probe->inRun_.load(); }));
  probe.reset();
  EXPECT_TRUE(leftRun->load());
}

TEST(ThreadLifecycle, StartAgainEndsTheOldThreadAndComesBackSuspended) {
  ProbeThread probe(ProbeThread::Mode::kCount);
  probe.Resume();
  ASSERT_TRUE(WaitUntil([&] { return probe.runs_.load() > 0; }));
  const int first = probe.runThread_.load();

  ASSERT_TRUE(probe.Restart());
  EXPECT_TRUE(probe.IsSuspended());
  EXPECT_FALSE(probe.IsFinished());
  const int afterRestart = probe.runs_.load();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(probe.runs_.load(), afterRestart);  // the old thread is gone, the new one waits

  probe.Resume();
  ASSERT_TRUE(WaitUntil([&] { return probe.runs_.load() > afterRestart; }));
  EXPECT_NE(probe.runThread_.load(), first);
}

// The scheduler suspends itself at the end of each run and is resumed by the
// next start, often at once; every resume must be served.
TEST(ThreadLifecycle, SuspendFromInsideThenResumeRunsAgain) {
  ProbeThread probe(ProbeThread::Mode::kSuspendSelf);
  for (int round = 1; round <= 200; ++round) {
    while (!probe.IsSuspended()) {
      std::this_thread::yield();
    }
    probe.Resume();
    ASSERT_TRUE(WaitUntil([&] { return probe.runs_.load() >= round; })) << "round " << round;
  }
}

TEST(ThreadLifecycle, JoinWithoutThreadReturnsAtOnce) {
  ProbeThread probe(ProbeThread::Mode::kOnce);
  probe.Resume();
  ASSERT_TRUE(WaitUntil([&] { return probe.IsFinished(); }));
  probe.Join();
  probe.Join();  // the thread has ended; waiting again must not block
  SUCCEED();

  // Two threads joining at once, then destruction: one wait for the end.
  ProbeThread racer(ProbeThread::Mode::kOnce);
  racer.Resume();
  std::thread other([&] { racer.Join(); });
  racer.Join();
  other.join();
  EXPECT_TRUE(racer.IsFinished());
}

// Reports the scheduling class of the thread that calls Run.
class PriorityProbe : public kiv::Thread {
 public:
  PriorityProbe() { Start(); }
  ~PriorityProbe() override { Stop(); }
  void Run() override {
#ifdef _WIN32
    priority_ = GetThreadPriority(GetCurrentThread());
#else
    policy_ = sched_getscheduler(0);
    nice_ = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
#endif
    Finish();
  }
  std::atomic<int> priority_{0};
  std::atomic<int> policy_{-1};
  std::atomic<int> nice_{0};
};

// Idle by default (the window); normal once a batch run asks for it.
TEST(ThreadLifecycle, RunsAtTheChosenPriority) {
  for (const kiv::ThreadPriority priority :
       {kiv::ThreadPriority::kIdle, kiv::ThreadPriority::kNormal, kiv::ThreadPriority::kIdle}) {
    kiv::Thread::SetPriority(priority);
    PriorityProbe probe;
    probe.Resume();
    ASSERT_TRUE(WaitUntil([&] { return probe.IsFinished(); }));
    probe.Join();
    const bool idle = priority == kiv::ThreadPriority::kIdle;
#ifdef _WIN32
    EXPECT_EQ(probe.priority_.load() == THREAD_PRIORITY_IDLE, idle);
#else
    const bool idleClass = probe.policy_.load() == SCHED_IDLE;
    EXPECT_EQ(idleClass || probe.nice_.load() > getpriority(PRIO_PROCESS, 0), idle);
#endif
  }
  kiv::Thread::SetPriority(kiv::ThreadPriority::kNormal);  // as the other tests run
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  kiv::CriticalSection lock;
  lock.Lock();
  EXPECT_TRUE(lock.TryLock());  // the holder may take it again

  std::atomic<bool> otherGotIt{true};
  std::thread([&] { otherGotIt = lock.TryLock(); }).join();
  EXPECT_FALSE(otherGotIt.load());

  lock.Unlock();
  std::thread([&] { otherGotIt = lock.TryLock(); }).join();
  EXPECT_FALSE(otherGotIt.load());  // still held once

  lock.Unlock();
  std::thread([&] {
    otherGotIt = lock.TryLock();
    if (otherGotIt) {
      lock.Unlock();
    }
  }).join();
  EXPECT_TRUE(otherGotIt.load());
}

TEST(CriticalSection, SerialisesIncrementsAndBackoffTakesAHeldLock) {
  kiv::CriticalSection lock;
  long counter = 0;
  auto work = [&](bool useBackoff) {
    for (int i = 0; i < 20000; ++i) {
      if (useBackoff) {
        kiv::LockWithBackoff(lock);
      } else {
        lock.Lock();
      }
      ++counter;
      lock.Unlock();
    }
  };
  std::thread a(work, false);
  std::thread b(work, true);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);

  // A waiter that backs off gets the lock once it is released.
  lock.Lock();
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    kiv::LockWithBackoff(lock);
    got = true;
    lock.Unlock();
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(got.load());
  lock.Unlock();
  waiter.join();
  EXPECT_TRUE(got.load());
}

TEST(Event, ManualResetLetsEveryWaiterPassUntilReset) {
  kiv::Event event(true);
  EXPECT_FALSE(event.WaitFor(10));
  event.Set();
  EXPECT_TRUE(event.WaitFor(0));
  EXPECT_TRUE(event.WaitFor(0));
  event.Reset();
  EXPECT_FALSE(event.WaitFor(10));

  // A Set from another thread ends a wait at once, not at its time limit.
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    event.Set();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(event.WaitFor(20000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  setter.join();
}

TEST(Event, AutoResetLetsOneWaiterPassPerSet) {
  kiv::Event event(false);
  event.Set();
  event.Set();  // a second Set while signalled does not queue a second pass
  EXPECT_TRUE(event.WaitFor(0));
  EXPECT_FALSE(event.WaitFor(10));

  std::atomic<int> passed{0};
  std::thread a([&] {
    event.Wait();
    ++passed;
  });
  std::thread b([&] {
    event.Wait();
    ++passed;
  });
  event.Set();
  ASSERT_TRUE(WaitUntil([&] { return passed.load() == 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(passed.load(), 1);
  event.Set();
  a.join();
  b.join();
  EXPECT_EQ(passed.load(), 2);
}

}  // namespace
