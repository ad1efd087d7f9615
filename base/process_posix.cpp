// The POSIX parts of the owner texts: getpid(2) and kill(2) with signal 0.
#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include "base/process.h"
#include "base/unicode.h"

namespace kiv {

wchar_t ProcessPlatformLetter() {
  return L'p';
}

unsigned long CurrentProcessNumber() {
  return static_cast<unsigned long>(getpid());
}

std::wstring PlatformHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    return std::wstring();
  }
  return Utf8ToWide(name);
}

bool ProcessMayRun(unsigned long number) {
  // Signal 0 only checks: ESRCH means no such process, EPERM one that runs
  // under another user.
  return kill(static_cast<pid_t>(number), 0) == 0 || errno != ESRCH;
}

}  // namespace kiv
