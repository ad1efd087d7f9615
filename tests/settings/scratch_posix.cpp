#include <sys/stat.h>

#include <cstdlib>

#include "settings/unicode.h"
#include "tests/settings/scratch.h"

namespace kiv::test {

std::wstring TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return Utf8ToWide(folder != nullptr && *folder != '\0' ? folder : "/tmp");
}

bool SetReadOnly(const std::wstring& path, bool read_only) {
  return chmod(WideToUtf8(path).c_str(), read_only ? 0444 : 0644) == 0;
}

}  // namespace kiv::test
