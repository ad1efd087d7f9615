// File stamps over GetFileInformationByHandle, times set by SetFileTime;
// names fold to upper case by the system's table, as the file system folds them.
#include "base/file_identity.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/long_path.h"

namespace kiv {

namespace {

// FILETIME counts 100-nanosecond steps since 1601-01-01 UTC.
constexpr std::int64_t kStepsPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

}  // namespace

bool ReadFileStamp(const std::wstring& path, FileStamp* stamp) {
  if (path.empty()) {
    return false;
  }
  // No access right is needed to read the information, and sharing
  // everything keeps the look from disturbing a writer or a deletion; the
  // backup flag lets folders open too.
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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
  const std::int64_t steps = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime);
  stamp->seconds = steps / kStepsPerSecond - kSecondsFrom1601To1970;
  stamp->nanoseconds = static_cast<std::uint32_t>(steps % kStepsPerSecond) * 100;
  stamp->links = info.nNumberOfLinks;
  return true;
}

bool ReadFolderIdentities(const std::wstring& folder,
                          std::unordered_map<std::wstring, std::optional<FileStamp>>& wanted) {
  const HANDLE handle =
      CreateFileW(SystemPath(folder.empty() ? L"." : folder).c_str(), FILE_LIST_DIRECTORY,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  // Every entry of the folder is on the folder's volume, but for a mount
  // point, which is a link and so left out.
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) {
    CloseHandle(handle);
    return false;
  }
  std::unordered_map<std::wstring, std::optional<FileStamp>> found;
  const auto note = [&](const wchar_t* name, DWORD bytes, const FileStamp& stamp) {
    const auto it = wanted.find(ComparableName(std::wstring(name, bytes / sizeof(wchar_t))));
    if (it != wanted.end()) {
      found[it->first] = stamp;
    }
  };
  // 64 KiB of 8-byte aligned records, each at NextEntryOffset from the one before.
  std::vector<std::uint64_t> buffer(8192);
  const std::size_t bytes = buffer.size() * sizeof buffer[0];
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(handle, kind, buffer.data(), static_cast<DWORD>(bytes))) {
    kind = FileIdBothDirectoryInfo;
    const auto* base = reinterpret_cast<const std::uint8_t*>(buffer.data());
    for (std::size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(base + at);
      const std::size_t nameAt = at + offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
      if (nameAt > bytes || entry->FileNameLength > bytes - nameAt) {
        break;  // a record past the buffer: not trusted
      }
      // A file system that keeps no ids gives 0 (or all ones) for every
      // entry: those are asked one by one.
      const auto id = static_cast<std::uint64_t>(entry->FileId.QuadPart);
      if ((entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && id != 0 &&
          id != ~std::uint64_t{0}) {
        FileStamp stamp;
        stamp.volume = info.dwVolumeSerialNumber;
        stamp.index = id;
        note(entry->FileName, entry->FileNameLength, stamp);
        const auto shortBytes =
            static_cast<DWORD>(static_cast<unsigned char>(entry->ShortNameLength));
        if (shortBytes > 0 && shortBytes <= sizeof entry->ShortName) {
          note(entry->ShortName, shortBytes, stamp);
        }
      }
      if (entry->NextEntryOffset == 0 || entry->NextEntryOffset > bytes - at) {
        break;
      }
      at += entry->NextEntryOffset;
    }
  }
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  CloseHandle(handle);
  if (!complete) {
    return false;
  }
  for (auto& [name, stamp] : found) {
    wanted[name] = stamp;
  }
  return true;
}

bool SetModificationTime(const std::wstring& path, const FileStamp& stamp) {
  if (path.empty() || stamp.nanoseconds > 999999999u || stamp.seconds < -kSecondsFrom1601To1970 ||
      stamp.seconds > INT64_MAX / kStepsPerSecond - kSecondsFrom1601To1970) {
    return false;
  }
  const std::uint64_t steps = static_cast<std::uint64_t>(
      (stamp.seconds + kSecondsFrom1601To1970) * kStepsPerSecond + stamp.nanoseconds / 100);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(steps);
  time.dwHighDateTime = static_cast<DWORD>(steps >> 32);
  HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  const BOOL ok = SetFileTime(handle, nullptr, &time, &time);
  return CloseHandle(handle) && ok;
}

std::wstring ComparableName(const std::wstring& name) {
  // Folded by the system's own table, whatever the user's language, as
  // CompareStringOrdinal ignoring case compares (SamePath): no Turkish
  // dotted I, no rule of one language applied to a name of another.
  std::wstring folded = name;
  if (!folded.empty() && name.size() < static_cast<size_t>(INT32_MAX)) {
    const int length = static_cast<int>(name.size());
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(), length, &folded[0],
                      length, nullptr, nullptr, 0) != length) {
      CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    }
  }
  return folded;
}

}  // namespace kiv
