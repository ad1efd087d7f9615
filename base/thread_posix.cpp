#include "base/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kiv {

struct Thread::Native {
  pthread_t handle;
};

void Thread::NativeDeleter::operator()(Native* native) const {
  delete native;
}

struct ThreadEntry {
  static void* Entry(void* argument) {
    if (Thread::StartPriority() == ThreadPriority::kIdle) {
      LowerOwnPriority();
    }
    static_cast<Thread*>(argument)->Procedure();
    return nullptr;
  }

  // SCHED_IDLE is Linux's idle class and any thread may move itself into it.
  // Where it isn't available, the highest nice value the system grants is the
  // next best thing (on Linux, nice values apply per thread).
  static void LowerOwnPriority() {
#ifdef SCHED_IDLE
    sched_param parameters{};
    parameters.sched_priority = 0;
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameters) == 0) {
      return;
    }
#endif
#ifdef SYS_gettid
    const id_t self = static_cast<id_t>(syscall(SYS_gettid));
    for (int nice = 19; nice > 0; --nice) {
      if (setpriority(PRIO_PROCESS, self, nice) == 0) {
        return;
      }
    }
#endif
  }
};

bool Thread::CreateNative() {
  auto native = std::unique_ptr<Native, NativeDeleter>(new Native);
  // The thread only waits on the event until the first Resume, so it may
  // start before native_ is assigned: nothing reads native_ before then.
  if (pthread_create(&native->handle, nullptr, &ThreadEntry::Entry, this) != 0) {
    return false;
  }
  native_ = std::move(native);
  return true;
}

void Thread::WaitNative() {
  pthread_join(native_->handle, nullptr);
}

bool Thread::IsCurrentThread() const {
  return native_ && pthread_equal(native_->handle, pthread_self()) != 0;
}

}  // namespace kiv
