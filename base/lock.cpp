#include "base/lock.h"

#include <chrono>
#include <thread>

namespace kiv {

void Backoff::Pause() {
  // A few yields cover a lock that is released within microseconds; after that
  // the holder is doing real work and sleeping costs nothing noticeable.
  constexpr unsigned kYields = 16;
  if (pauses_ < kYields) {
    ++pauses_;
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(pauses_ < kYields + 8 ? 1 : 2));
  if (pauses_ < kYields + 8) {
    ++pauses_;
  }
}

void LockWithBackoff(LockObject& lock) {
  Backoff backoff;
  while (!lock.TryLock()) {
    backoff.Pause();
  }
}

}  // namespace kiv
