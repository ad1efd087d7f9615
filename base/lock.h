// Locks shared between threads.
//
// kiv::LockObject is the interface every lock of the program offers: the engine
// takes the file list's lock through it without knowing whether the list is the
// window's list view or an in-memory list. kiv::CriticalSection is the plain
// recursive lock behind it. Any thread may call any operation.
#pragma once

#include <memory>

namespace kiv {

class LockObject {
 public:
  LockObject() = default;
  LockObject(const LockObject&) = delete;
  LockObject& operator=(const LockObject&) = delete;
  virtual ~LockObject() = default;

  // Blocks until the calling thread holds the lock.
  virtual void Lock() = 0;
  // Releases one hold of the calling thread.
  // REQUIRES: the calling thread holds the lock.
  virtual void Unlock() = 0;
  // Takes the lock if it is free (or already held by the caller) and returns
  // true; otherwise returns false at once.
  virtual bool TryLock() = 0;
};

// A recursive lock: the thread that holds it may take it again and must then
// release it as many times as it took it.
class CriticalSection final : public LockObject {
 public:
  CriticalSection();
  ~CriticalSection() override;

  void Lock() override;
  void Unlock() override;
  bool TryLock() override;

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

// Holds a lock for the lifetime of the guard.
class LockGuard {
 public:
  explicit LockGuard(LockObject& lock) : lock_(lock) { lock_.Lock(); }
  ~LockGuard() { lock_.Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  LockObject& lock_;
};

// Paces a loop of non-blocking lock attempts so that the waiting thread does not
// spin hot: the first pauses only yield the processor, later ones sleep for a
// millisecond or two. One object per waiting loop; not shared between threads.
class Backoff {
 public:
  void Pause();
  void Reset() { pauses_ = 0; }

 private:
  unsigned pauses_ = 0;
};

// Takes `lock` by repeated TryLock attempts paced by Backoff. For threads that
// must not block inside the lock's own wait.
void LockWithBackoff(LockObject& lock);

}  // namespace kiv
