// ExitedProcessNumber over CreateProcessW: the command processor told to exit.
#include <windows.h>

#include <string>

#include "tests/support/exited_process.h"

namespace testimg {

unsigned long ExitedProcessNumber() {
  std::wstring command = L"cmd.exe /c exit 0";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &child)) {
    return 0;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  const unsigned long number = child.dwProcessId;
  // Once the last handle is closed, the number names no process.
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return number;
}

}  // namespace testimg
