#include "base/thread.h"

namespace kiv {

namespace {

std::atomic<ThreadPriority> startPriority{ThreadPriority::kIdle};

}  // namespace

void Thread::SetPriority(ThreadPriority priority) {
  startPriority.store(priority);
}

ThreadPriority Thread::StartPriority() {
  return startPriority.load();
}

Thread::Thread() = default;

Thread::~Thread() {
  Stop();
}

bool Thread::Start() {
  Stop();
  suspended_.store(true, std::memory_order_release);
  finished_.store(false, std::memory_order_release);
  event_ = std::make_unique<Event>(true);
  {
    LockGuard hold(joinLock_);
    joined_ = false;
  }
  return CreateNative();
}

void Thread::Procedure() {
  while (!finished_.load(std::memory_order_acquire)) {
    if (!suspended_.load(std::memory_order_acquire)) {
      Run();
    }
    if (event_) {
      event_->Wait();
    }
  }
}

// The flag change and the event call happen while the lock is held, so that a
// Suspend from the thread itself and a Resume from another thread can't
// interleave into "resumed flag, reset event" and leave the thread asleep.
void Thread::Suspend() {
  LockGuard hold(lock_);
  if (native_ && !suspended_.load() && !finished_.load()) {
    suspended_.store(true, std::memory_order_release);
    event_->Reset();
  }
}

void Thread::Resume() {
  LockGuard hold(lock_);
  if (native_ && suspended_.load()) {
    suspended_.store(false, std::memory_order_release);
    event_->Set();
  }
}

void Thread::Join() {
  if (!native_ || IsCurrentThread()) {
    return;
  }
  Resume();
  // The system allows one wait for a thread's end (a second pthread_join is
  // undefined): later callers find it done.
  LockGuard hold(joinLock_);
  if (!joined_) {
    WaitNative();
    joined_ = true;
  }
}

void Thread::Finish() {
  {
    LockGuard hold(lock_);
    finished_.store(true, std::memory_order_release);
  }
  Resume();
}

void Thread::Stop() {
  if (!native_) {
    return;
  }
  Finish();
  Join();
  native_.reset();
}

}  // namespace kiv
