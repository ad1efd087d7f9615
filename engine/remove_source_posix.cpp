#include "engine/remove_source.h"

#include "base/path.h"

// Unlinking a file needs no permission on the file itself, so a read-only
// source goes like any other. POSIX has no deletion through a descriptor:
// the look and the unlink are two steps, as close together as they can be.
bool RemoveSourceFile(const std::wstring& path, const kiv::FileStamp& loaded) {
  kiv::FileStamp now;
  return kiv::ReadFileStamp(path, &now) && now.Unchanged(loaded) && kiv::RemoveFile(path);
}
