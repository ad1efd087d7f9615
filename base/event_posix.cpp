#include "base/event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kiv {

struct Event::Native {
  std::mutex mutex;
  std::condition_variable changed;
  bool manualReset = false;
  bool signalled = false;
};

Event::Event(bool manualReset) : native_(std::make_unique<Native>()) {
  native_->manualReset = manualReset;
}

Event::~Event() = default;

void Event::Set() {
  {
    std::lock_guard<std::mutex> hold(native_->mutex);
    native_->signalled = true;
  }
  if (native_->manualReset) {
    native_->changed.notify_all();
  } else {
    native_->changed.notify_one();
  }
}

void Event::Reset() {
  std::lock_guard<std::mutex> hold(native_->mutex);
  native_->signalled = false;
}

void Event::Wait() {
  std::unique_lock<std::mutex> hold(native_->mutex);
  native_->changed.wait(hold, [this] { return native_->signalled; });
  if (!native_->manualReset) {
    native_->signalled = false;
  }
}

bool Event::WaitFor(uint32_t milliseconds) {
  std::unique_lock<std::mutex> hold(native_->mutex);
  if (!native_->changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                 [this] { return native_->signalled; })) {
    return false;
  }
  if (!native_->manualReset) {
    native_->signalled = false;
  }
  return true;
}

}  // namespace kiv
