#include "engine/remove_source.h"

#include "base/path.h"

// Unlinking a file needs no permission on the file itself, so a read-only
// source goes like any other.
bool RemoveSourceFile(const std::wstring& path) {
  return kiv::RemoveFile(path);
}
