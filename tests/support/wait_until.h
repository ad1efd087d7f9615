// Polling helper for tests that wait for another thread to reach a state.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace morvane_test {

// Returns true as soon as `condition` holds; false if it still doesn't after
// `timeout`. Threads at idle priority may be slow to run on a loaded machine,
// so the default is generous; a passing test rarely waits long.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace morvane_test
