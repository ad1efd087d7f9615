#include "base/event.h"

#include <windows.h>

#include <cstdlib>

namespace kiv {

struct Event::Native {
  HANDLE handle = nullptr;
};

Event::Event(bool manualReset) : native_(std::make_unique<Native>()) {
  native_->handle = CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
  if (native_->handle == nullptr) {
    // An event is a few bytes of kernel memory; failing to get one means the
    // process cannot synchronise its threads at all.
    std::abort();
  }
}

Event::~Event() {
  CloseHandle(native_->handle);
}

void Event::Set() {
  SetEvent(native_->handle);
}

void Event::Reset() {
  ResetEvent(native_->handle);
}

void Event::Wait() {
  WaitForSingleObject(native_->handle, INFINITE);
}

bool Event::WaitFor(uint32_t milliseconds) {
  return WaitForSingleObject(native_->handle, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace kiv
