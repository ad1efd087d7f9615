// Test support: file attributes on POSIX systems.
#include <sys/stat.h>

#include "base/unicode.h"
#include "tests/support/temp_dir.h"

namespace testimg {

bool SetReadOnly(const std::wstring& path, bool readOnly) {
  return chmod(kiv::WideToUtf8(path).c_str(), readOnly ? 0444 : 0644) == 0;
}

// A read-only file in a writable folder can be deleted.
void MakeFilesDeletable(const std::wstring&) {}

}  // namespace testimg
