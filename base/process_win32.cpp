// The Windows parts of the owner texts: GetCurrentProcessId and OpenProcess.
#include <windows.h>

#include "base/process.h"

namespace kiv {

wchar_t ProcessPlatformLetter() {
  return L'w';
}

unsigned long CurrentProcessNumber() {
  return GetCurrentProcessId();
}

std::wstring PlatformHostName() {
  wchar_t name[256] = {};
  DWORD size = sizeof name / sizeof name[0];
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) {
    return std::wstring();
  }
  return std::wstring(name, size);
}

bool ProcessMayRun(unsigned long number) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, number);
  if (process == nullptr) {
    // ERROR_INVALID_PARAMETER: no process has this number. Anything else
    // (ERROR_ACCESS_DENIED for another user's process) may be a live one.
    return GetLastError() != ERROR_INVALID_PARAMETER;
  }
  // A process object outlives its process while handles to it are open.
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace kiv
