// WorkerPool: the long-lived threads that carry out a scheduler's
// conversions, so that a row costs no thread of its own (making a thread is
// costly on some systems, under Wine most of all).
//
// Run hands a piece of work to an idle thread of the pool, or to a new one
// when every thread is busy: the pool holds as many threads as were ever busy
// at once. Each thread runs at the priority kiv::Thread::SetPriority chose.
//
// Threads: Run and ThreadCount may be called from any thread. Destruction
// waits for the work in progress, then ends every thread; it must not be
// called from a thread of the pool.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "base/lock.h"

class WorkerPool {
 public:
  WorkerPool();
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs `work` on a thread of the pool and then `then` (which may be
  // empty), by which time that thread already counts as idle again: work
  // handed over from `then` may go to the same thread. False, with nothing
  // run, when every thread is busy and the system refused a new one.
  bool Run(std::function<void()> work, std::function<void()> then);

  // The threads the pool holds.
  std::size_t ThreadCount();

 private:
  class Worker;

  kiv::CriticalSection lock_;  // guards workers_
  std::vector<std::unique_ptr<Worker>> workers_;
};
