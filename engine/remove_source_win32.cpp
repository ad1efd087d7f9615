#include "engine/remove_source.h"

#include <windows.h>

bool RemoveSourceFile(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path.c_str()) != 0;
}
