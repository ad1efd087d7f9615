// A long-lived thread object with a suspend/resume switch.
//
// The object's thread calls the virtual Run over and over while the object is
// resumed and blocks while it is suspended; it leaves its loop once the
// `finished` flag is set. The conversion scheduler and the threads of its
// worker pool derive from it. Engine threads run at the lowest priority the system grants
// (idle) by default, so the window's conversions never take time from the
// user's other work; a batch run (morvane-cli) chooses normal priority with
// SetPriority, so that it does not wait behind every other busy program.
//
// Threads: Suspend, Resume and IsFinished may be called from any thread,
// including the object's own thread from inside Run. Join and destruction block
// until the object's thread ends and must be called from another thread.
//
// A derived class whose Run uses its own members MUST call Stop() first thing in
// its own destructor: by the time ~Thread runs, the derived members are already
// destroyed and a Run still in progress would use dead objects. ~Thread calls
// Stop() as well, which then finds nothing to do.
#pragma once

#include <atomic>
#include <memory>

#include "base/event.h"
#include "base/lock.h"

namespace kiv {

enum class ThreadPriority { kIdle, kNormal };

class Thread {
 public:
  // The priority of every thread started from now on (kIdle until set).
  // Call it before the first engine thread starts; any thread.
  static void SetPriority(ThreadPriority priority);

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Ends and joins the thread (see Stop); waits for a Run in progress.
  virtual ~Thread();

  // Stops calling Run: the Run in progress finishes and the thread then blocks.
  // Changes nothing on an object that is finished or already suspended.
  virtual void Suspend();
  // Lets the thread call Run again. Changes nothing when already resumed.
  virtual void Resume();
  // Resumes the thread and waits for it to end. Returns at once when no thread
  // exists, when the thread was joined already (Join may be called any number
  // of times, from several threads, and before destruction) or when called
  // from the object's own thread (it could never end).
  // REQUIRES: `finished` is set or about to be, or the call never returns.
  virtual void Join();

  // True once the thread has been told to leave its loop; a worker sets it as
  // the last step of its work, so it also means "done".
  bool IsFinished() const { return finished_.load(std::memory_order_acquire); }
  bool IsSuspended() const { return suspended_.load(std::memory_order_acquire); }
  // True from a successful Start until Stop.
  bool HasThread() const { return native_ != nullptr; }

 protected:
  Thread();

  // Creates the thread, suspended and at the priority SetPriority chose. An existing thread is
  // stopped first (as by Stop) and a new event made. Returns false when the
  // system refused a thread; the object then has none.
  // Called by derived constructors once their members are built.
  bool Start();

  // One unit of work, called repeatedly on the object's thread while resumed.
  virtual void Run() {}

  // Sets `finished` and resumes, so that the thread leaves its loop as soon as
  // the current Run returns. A Run meant to execute once ends with this.
  void Finish();

  // If a thread exists: sets `finished`, resumes, waits for the thread to end
  // and closes it. Derived destructors call it before their members die.
  void Stop();

 private:
  struct Native;
  struct NativeDeleter {
    void operator()(Native* native) const;
  };
  friend struct ThreadEntry;

  // The thread's loop: Run while resumed, then wait for the event.
  void Procedure();
  // The priority SetPriority chose.
  static ThreadPriority StartPriority();
  // Platform parts: create the thread at that priority (storing it in native_),
  // wait for it to end, and tell whether the caller is that thread.
  bool CreateNative();
  void WaitNative();
  bool IsCurrentThread() const;

  CriticalSection lock_;          // guards the test-and-change of the flags
  CriticalSection joinLock_;      // one wait for the thread's end; guards joined_
  bool joined_ = false;           // the thread has ended and was waited for
  std::unique_ptr<Event> event_;  // manual reset; signalled = Run may be called
  std::unique_ptr<Native, NativeDeleter> native_;
  std::atomic<bool> suspended_{true};
  std::atomic<bool> finished_{false};
};

}  // namespace kiv
