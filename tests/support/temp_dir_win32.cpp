// Test support: file attributes on Windows.
#include <windows.h>

#include "base/path.h"
#include "tests/support/temp_dir.h"

namespace testimg {

bool SetReadOnly(const std::wstring& path, bool readOnly) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  const DWORD wanted =
      readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
  return SetFileAttributesW(path.c_str(), wanted) != FALSE;
}

void MakeFilesDeletable(const std::wstring& folder) {
  for (const std::wstring& name : ListNames(kiv::AddSeparator(folder) + L"*")) {
    const std::wstring path = kiv::AddSeparator(folder) + name;
    if (kiv::IsDirectory(path)) {
      MakeFilesDeletable(path);
    } else {
      SetReadOnly(path, false);
    }
  }
}

}  // namespace testimg
