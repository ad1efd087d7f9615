// File stamps over GetFileInformationByHandle; names fold to upper case as
// the file system folds them.
#include <windows.h>

#include "base/file_identity.h"

namespace kiv {

bool ReadFileStamp(const std::wstring& path, FileStamp* stamp) {
  if (path.empty()) {
    return false;
  }
  // No access right is needed to read the information, and sharing
  // everything keeps the look from disturbing a writer or a deletion; the
  // backup flag lets folders open too.
  const HANDLE handle =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != FALSE;
  CloseHandle(handle);
  if (!ok) {
    return false;
  }
  stamp->volume = info.dwVolumeSerialNumber;
  stamp->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp->modified = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime);
  return true;
}

std::wstring ComparableName(const std::wstring& name) {
  std::wstring folded = name;
  if (!folded.empty()) {
    CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
  }
  return folded;
}

}  // namespace kiv
