// Message pumping for tests that drive real windows in process: waiting for a
// condition, or for a while, without leaving the calling thread's windows
// unanswered.
//
// Threads: any thread; each call pumps the calling thread's messages only.
#ifndef TESTS_WIN_PUMPING_H_
#define TESTS_WIN_PUMPING_H_

#include <windows.h>

#include <chrono>
#include <functional>

#include "kiv/message_loop.h"

namespace kiv_test {

// Pumps the calling thread's messages, then sleeps until a message arrives or
// a millisecond has passed.
inline void PumpAndWait() {
  kiv::PumpMessages();
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
}

// Pumps the calling thread's messages until `condition` holds; false when it
// still does not after `timeout`.
inline bool PumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    PumpAndWait();
  }
  return true;
}

// Pumps the calling thread's messages for `duration`.
inline void PumpFor(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < deadline) {
    PumpAndWait();
  }
}

}  // namespace kiv_test

#endif  // TESTS_WIN_PUMPING_H_
