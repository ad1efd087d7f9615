#include "base/lock.h"

#include <windows.h>

namespace kiv {

struct CriticalSection::Native {
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : native_(std::make_unique<Native>()) {
  InitializeCriticalSection(&native_->section);
}

CriticalSection::~CriticalSection() {
  DeleteCriticalSection(&native_->section);
}

void CriticalSection::Lock() {
  EnterCriticalSection(&native_->section);
}

void CriticalSection::Unlock() {
  LeaveCriticalSection(&native_->section);
}

bool CriticalSection::TryLock() {
  return TryEnterCriticalSection(&native_->section) != 0;
}

}  // namespace kiv
