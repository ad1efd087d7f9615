// A signalling object for waking threads, like a Win32 event.
//
// A manual-reset event stays signalled until Reset; every waiter passes while
// it is signalled. An auto-reset event lets exactly one waiter pass per Set and
// returns to not signalled as that waiter passes. Any thread may call any
// operation; the object must outlive every waiter.
#pragma once

#include <cstdint>
#include <memory>

namespace kiv {

class Event {
 public:
  // The event starts not signalled.
  explicit Event(bool manualReset);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // Blocks until the event is signalled.
  void Wait();
  // Blocks until the event is signalled or `milliseconds` have passed; returns
  // true when it was signalled.
  bool WaitFor(uint32_t milliseconds);

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace kiv
