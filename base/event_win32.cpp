// kiv::Event over a slim reader/writer lock and a condition variable: both
// live in the process, so setting and waiting cost no call into the system
// unless a thread must sleep (a kernel event costs one each time, and under
// Wine each is a round trip to its server).
#include "base/event.h"

#include <windows.h>

#include <chrono>

namespace kiv {

struct Event::Native {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  bool manualReset = false;
  bool signalled = false;  // guarded by `lock`
};

Event::Event(bool manualReset) : native_(std::make_unique<Native>()) {
  native_->manualReset = manualReset;
}

Event::~Event() = default;

void Event::Set() {
  AcquireSRWLockExclusive(&native_->lock);
  native_->signalled = true;
  ReleaseSRWLockExclusive(&native_->lock);
  if (native_->manualReset) {
    WakeAllConditionVariable(&native_->changed);
  } else {
    WakeConditionVariable(&native_->changed);
  }
}

void Event::Reset() {
  AcquireSRWLockExclusive(&native_->lock);
  native_->signalled = false;
  ReleaseSRWLockExclusive(&native_->lock);
}

void Event::Wait() {
  AcquireSRWLockExclusive(&native_->lock);
  while (!native_->signalled) {
    SleepConditionVariableSRW(&native_->changed, &native_->lock, INFINITE, 0);
  }
  if (!native_->manualReset) {
    native_->signalled = false;
  }
  ReleaseSRWLockExclusive(&native_->lock);
}

bool Event::WaitFor(uint32_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  AcquireSRWLockExclusive(&native_->lock);
  while (!native_->signalled) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      break;
    }
    SleepConditionVariableSRW(&native_->changed, &native_->lock, static_cast<DWORD>(left), 0);
  }
  const bool signalled = native_->signalled;
  if (signalled && !native_->manualReset) {
    native_->signalled = false;
  }
  ReleaseSRWLockExclusive(&native_->lock);
  return signalled;
}

}  // namespace kiv
