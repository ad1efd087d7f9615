#include "engine/remove_source.h"

#include <windows.h>

#include "base/long_path.h"

bool RemoveSourceFile(const std::wstring& path) {
  SetFileAttributesW(kiv::SystemPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(kiv::SystemPath(path).c_str()) != 0;
}
