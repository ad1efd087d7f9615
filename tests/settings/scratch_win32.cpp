#include <windows.h>

#include "tests/settings/scratch.h"

namespace kiv::test {

std::wstring TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  return n == 0 || n > MAX_PATH ? std::wstring(L".") : std::wstring(buffer, n);
}

bool SetReadOnly(const std::wstring& path, bool read_only) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  const DWORD wanted =
      read_only ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
  return SetFileAttributesW(path.c_str(), wanted) != FALSE;
}

}  // namespace kiv::test
