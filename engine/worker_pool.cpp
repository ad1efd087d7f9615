#include "engine/worker_pool.h"

#include <utility>

#include "base/thread.h"

// One thread of the pool: idle and suspended until Take hands it work.
class WorkerPool::Worker final : public kiv::Thread {
 public:
  ~Worker() override { Stop(); }

  bool Begin() { return Start(); }

  // Hands over `work` and `then` unless the thread is busy; true when taken.
  bool Take(std::function<void()>& work, std::function<void()>& then) {
    kiv::LockGuard hold(lock_);
    if (busy_) {
      return false;
    }
    busy_ = true;
    work_ = std::move(work);
    then_ = std::move(then);
    Resume();
    return true;
  }

 private:
  void Run() override {
    std::function<void()> work;
    std::function<void()> then;
    {
      // Suspended under the lock that Take resumes under: work handed over
      // meanwhile is never left waiting.
      kiv::LockGuard hold(lock_);
      if (!work_) {
        Suspend();
        return;
      }
      work.swap(work_);
      then.swap(then_);
    }
    work();
    {
      kiv::LockGuard hold(lock_);
      busy_ = false;
    }
    if (then) {
      then();
    }
  }

  kiv::CriticalSection lock_;  // guards the fields below
  bool busy_ = false;
  std::function<void()> work_;
  std::function<void()> then_;
};

WorkerPool::WorkerPool() = default;

WorkerPool::~WorkerPool() {
  std::vector<std::unique_ptr<Worker>> workers;
  {
    kiv::LockGuard hold(lock_);
    workers.swap(workers_);
  }
  workers.clear();  // each waits for its work in progress
}

bool WorkerPool::Run(std::function<void()> work, std::function<void()> then) {
  kiv::LockGuard hold(lock_);
  for (const std::unique_ptr<Worker>& worker : workers_) {
    if (worker->Take(work, then)) {
      return true;
    }
  }
  auto worker = std::make_unique<Worker>();
  if (!worker->Begin()) {
    return false;
  }
  worker->Take(work, then);
  workers_.push_back(std::move(worker));
  return true;
}

std::size_t WorkerPool::ThreadCount() {
  kiv::LockGuard hold(lock_);
  return workers_.size();
}
