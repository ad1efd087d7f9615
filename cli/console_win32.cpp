// The console edge on Windows: the UTF-16 command line, and WriteConsoleW for a console so that
// Japanese text shows whatever the console's code page; UTF-8 for a pipe or a file.
#include <windows.h>

#include <shellapi.h>

#include <atomic>

#include "base/unicode.h"
#include "cli/console.h"

namespace cli {

namespace {

std::atomic<int> interrupts{0};

BOOL WINAPI OnControl(DWORD kind) {
  if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT) {
    return FALSE;
  }
  // The first Ctrl+C asks for a clean stop; the second asks the run to remove
  // its temporaries and end at once (it polls for it); a third ends the
  // process where it stands.
  return interrupts.fetch_add(1) < 2 ? TRUE : FALSE;
}

void Write(HANDLE out, const std::wstring& text) {
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::string bytes = kiv::WideToUtf8(text);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

std::vector<std::wstring> Arguments(int, char**) {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
  if (list == nullptr) {
    return arguments;
  }
  for (int i = 1; i < count; ++i) {
    arguments.emplace_back(list[i]);
  }
  LocalFree(list);
  return arguments;
}

void WriteLine(const std::wstring& text, bool toError) {
  Write(GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), text + L"\r\n");
}

void WriteRaw(const std::wstring& text) {
  Write(GetStdHandle(STD_ERROR_HANDLE), text);
}

bool IsTerminal(bool toError) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), &mode) != 0;
}

void InstallInterruptHandler() {
  SetConsoleCtrlHandler(&OnControl, TRUE);
}

bool InterruptRequested() {
  return interrupts.load() != 0;
}

bool InterruptInsisted() {
  return interrupts.load() > 1;
}

void EndAtOnce(int status) {
  ExitProcess(static_cast<UINT>(status));
}

bool ReadStandardInput(std::string* bytes, size_t limit) {
  bytes->clear();
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) {
    return false;
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) {
      // The writing end of a pipe closed: that is the end of the input.
      return GetLastError() == ERROR_BROKEN_PIPE;
    }
    if (got == 0) {
      return true;
    }
    if (got > limit - bytes->size()) {
      return false;
    }
    bytes->append(buffer, got);
  }
}

std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) {
    return path;
  }
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) {
    return path;
  }
  std::wstring full(size, L'\0');
  size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (size == 0 || size >= full.size()) {
    return path;
  }
  full.resize(size);
  return full;
}

}  // namespace cli
