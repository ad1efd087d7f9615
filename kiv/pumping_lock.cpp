#include "kiv/pumping_lock.h"

#include <windows.h>

#include "kiv/message_loop.h"

namespace kiv {

namespace {

// Attempts that only yield the processor before the waiter starts sleeping.
constexpr unsigned kYieldingAttempts = 64;
// Longest sleep between two attempts, in milliseconds.
constexpr DWORD kBackOffMilliseconds = 1;

}  // namespace

PumpingLock::PumpingLock(LockObject& lock) : lock_(lock) {
  for (unsigned attempt = 0; !lock_.TryLock(); ++attempt) {
    PumpMessages();
    if (attempt < kYieldingAttempts) {
      SwitchToThread();
    } else {
      // Wakes early for a message sent or posted to this thread.
      MsgWaitForMultipleObjectsEx(0, nullptr, kBackOffMilliseconds, QS_ALLINPUT, 0);
    }
  }
}

PumpingLock::~PumpingLock() {
  lock_.Unlock();
}

}  // namespace kiv
