// The console edge on POSIX: arguments and output are UTF-8.
#include <cstdio>

#include "cli/console.h"
#include "settings/unicode.h"

namespace cli {

std::vector<std::wstring> Arguments(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(kiv::Utf8ToWide(argv[i]));
  }
  return arguments;
}

void WriteLine(const std::wstring& text, bool toError) {
  std::FILE* out = toError ? stderr : stdout;
  const std::string bytes = kiv::WideToUtf8(text) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fflush(out);
}

}  // namespace cli
