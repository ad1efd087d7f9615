// The console edge on Windows: the UTF-16 command line, and WriteConsoleW for a console so that
// Japanese text shows whatever the console's code page; UTF-8 for a pipe or a file.
#include <windows.h>

#include <shellapi.h>

#include "cli/console.h"
#include "settings/unicode.h"

namespace cli {

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
  HANDLE out = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    return;
  }
  const std::wstring line = text + L"\r\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return;
  }
  const std::string bytes = kiv::WideToUtf8(line);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace cli
