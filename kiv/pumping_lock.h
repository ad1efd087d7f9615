// kiv::PumpingLock: a scoped hold of a kiv::LockObject that keeps the calling
// thread's messages flowing while it waits.
//
// Acquiring alternates a non-blocking TryLock with PumpMessages, so the
// user-interface thread keeps serving the messages that a worker holding the
// lock sends to its windows (SendMessageW from a worker waits for the
// user-interface thread). Between attempts the waiting thread backs off:
// first by yielding its time slice, then by sleeping up to a millisecond or
// until a message arrives for it, so a waiter never spins hot against an
// idle-priority holder. A thread that owns no window has no messages to
// serve: it waits for the lock as for any other.
//
// Threads: any. The lock must be one that the calling thread may take
// recursively if it already holds it (kiv::CriticalSection is).
#ifndef KIV_PUMPING_LOCK_H_
#define KIV_PUMPING_LOCK_H_

#include "base/lock.h"

namespace kiv {

class PumpingLock {
 public:
  // Returns once `lock` is held by the calling thread.
  explicit PumpingLock(LockObject& lock);
  // Releases the lock.
  ~PumpingLock();
  PumpingLock(const PumpingLock&) = delete;
  PumpingLock& operator=(const PumpingLock&) = delete;

 private:
  LockObject& lock_;
};

}  // namespace kiv

#endif  // KIV_PUMPING_LOCK_H_
