#include "kiv/pumping_lock.h"

#include <windows.h>

#include "kiv/message_loop.h"

namespace kiv {

namespace {

// Attempts that only yield the processor before the waiter starts sleeping.
constexpr unsigned kYieldingAttempts = 64;
// Longest sleep between two attempts, in milliseconds.
constexpr DWORD kBackOffMilliseconds = 1;

// True when the calling thread owns a window. Messages are sent to windows:
// a thread that owns none is sent none, and waiting for a lock it has
// nothing to serve (under Wine each look at the queue is a call to its
// server, so an engine thread pumping while it waits only slows the rest).
bool OwnsAWindow() {
  bool owns = false;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND, LPARAM found) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&owns));
  return owns;
}

}  // namespace

PumpingLock::PumpingLock(LockObject& lock) : lock_(lock) {
  if (lock_.TryLock()) {
    return;
  }
  if (!OwnsAWindow()) {
    lock_.Lock();
    return;
  }
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
