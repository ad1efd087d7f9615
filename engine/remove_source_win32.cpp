#include "engine/remove_source.h"

#include <windows.h>

#include <cstdint>

#include "base/long_path.h"

namespace {

// FILETIME counts 100-nanosecond steps since 1601-01-01 UTC.
constexpr std::int64_t kStepsPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

// True when the file of `info` is the one `loaded` describes.
bool Matches(const BY_HANDLE_FILE_INFORMATION& info, const kiv::FileStamp& loaded) {
  const std::uint64_t index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  const std::uint64_t size =
      (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  const std::int64_t steps = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime);
  return info.dwVolumeSerialNumber == loaded.volume && index == loaded.index &&
         size == loaded.size &&
         steps / kStepsPerSecond - kSecondsFrom1601To1970 == loaded.seconds &&
         static_cast<std::uint32_t>(steps % kStepsPerSecond) * 100 == loaded.nanoseconds;
}

bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != FALSE;
}

bool SetAttributes(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // zero times: left as they are
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

}  // namespace

bool RemoveSourceFile(const std::wstring& path, const kiv::FileStamp& loaded) {
  // No sharing: between the look and the deletion no other program can open
  // the file, write it or put another file under its name.
  const HANDLE handle = CreateFileW(kiv::SystemPath(path).c_str(),
                                    DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool deleted = false;
  if (GetFileInformationByHandle(handle, &info) != FALSE && Matches(info, loaded)) {
    deleted = MarkForDeletion(handle);
    if (!deleted && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        SetAttributes(handle,
                      info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
      // A read-only file is marked only once writable; if it still cannot be, it is
      // given its attribute back.
      deleted = MarkForDeletion(handle);
      if (!deleted) {
        SetAttributes(handle, info.dwFileAttributes);
      }
    }
  }
  CloseHandle(handle);
  return deleted;
}
