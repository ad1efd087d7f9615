#include "base/thread.h"

#include <process.h>
#include <windows.h>

namespace kiv {

struct Thread::Native {
  HANDLE handle = nullptr;
  unsigned id = 0;
};

void Thread::NativeDeleter::operator()(Native* native) const {
  if (native->handle != nullptr) {
    CloseHandle(native->handle);
  }
  delete native;
}

struct ThreadEntry {
  static unsigned __stdcall Entry(void* argument) {
    static_cast<Thread*>(argument)->Procedure();
    return 0;
  }
};

bool Thread::CreateNative() {
  auto native = std::unique_ptr<Native, NativeDeleter>(new Native);
  const uintptr_t handle = _beginthreadex(nullptr, 0, &ThreadEntry::Entry, this, 0, &native->id);
  if (handle == 0) {
    return false;
  }
  native->handle = reinterpret_cast<HANDLE>(handle);
  if (StartPriority() == ThreadPriority::kIdle) {
    SetThreadPriority(native->handle, THREAD_PRIORITY_IDLE);
  }
  native_ = std::move(native);
  return true;
}

void Thread::WaitNative() {
  WaitForSingleObject(native_->handle, INFINITE);
}

bool Thread::IsCurrentThread() const {
  return native_ && native_->id == GetCurrentThreadId();
}

}  // namespace kiv
