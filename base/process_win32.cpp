// The Windows parts of the owner texts: GetCurrentProcessId, OpenProcess and
// the machine's MachineGuid.
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
  if (!GetComputerNameExW(ComputerNameDnsFullyQualified, name, &size)) {
    return std::wstring();
  }
  return std::wstring(name, size);
}

std::wstring PlatformMachineIdentity() {
  // Set up with the system (and by Wine for each prefix, whose process
  // numbers are a world of their own).
  wchar_t guid[64] = {};
  DWORD size = sizeof guid;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                   RRF_RT_REG_SZ, nullptr, guid, &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return guid;
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
