#include "base/lock.h"

#include <pthread.h>

#include <cstdlib>

namespace kiv {

struct CriticalSection::Native {
  pthread_mutex_t mutex;
};

CriticalSection::CriticalSection() : native_(std::make_unique<Native>()) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  if (pthread_mutex_init(&native_->mutex, &attributes) != 0) {
    // Without its mutex the object could not keep any promise; there is no way
    // to report it from a constructor that the engine calls without exceptions.
    std::abort();
  }
  pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
  pthread_mutex_destroy(&native_->mutex);
}

void CriticalSection::Lock() {
  pthread_mutex_lock(&native_->mutex);
}

void CriticalSection::Unlock() {
  pthread_mutex_unlock(&native_->mutex);
}

bool CriticalSection::TryLock() {
  return pthread_mutex_trylock(&native_->mutex) == 0;
}

}  // namespace kiv
