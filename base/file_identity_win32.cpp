// File stamps over NtQueryInformationFile and GetFileInformationByHandle, times set by
// SetFileTime; names fold to upper case by the system's table, as the file system folds them.
#include "base/file_identity.h"

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/long_path.h"
#include "base/path.h"

namespace kiv {

namespace {

// FILETIME counts 100-nanosecond steps since 1601-01-01 UTC.
constexpr std::int64_t kStepsPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

// Sets the stamp's time from a FILETIME count of steps.
void SetTime(std::int64_t steps, FileStamp* stamp) {
  stamp->seconds = steps / kStepsPerSecond - kSecondsFrom1601To1970;
  stamp->nanoseconds = static_cast<std::uint32_t>(steps % kStepsPerSecond) * 100;
}

void SetTime(const FILETIME& time, FileStamp* stamp) {
  SetTime(static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                    time.dwLowDateTime),
          stamp);
}

// The stamp of an open file from what GetFileInformationByHandle gives.
void FillStamp(const BY_HANDLE_FILE_INFORMATION& info, FileStamp* stamp) {
  stamp->volume = info.dwVolumeSerialNumber;
  stamp->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  SetTime(info.ftLastWriteTime, stamp);
  stamp->links = info.nNumberOfLinks;
}

// Opens `path` only to read about it: no access right is needed for that,
// and sharing everything keeps the look from disturbing a writer or a
// deletion; the backup flag lets folders open too. With `itself`, a link
// is opened rather than what it points to.
HANDLE OpenToLook(const std::wstring& path, bool itself) {
  return CreateFileW(SystemPath(path).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | (itself ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                     nullptr);
}

// The whole stamp of `path`, its volume asked of the volume itself.
bool ReadStampFromVolume(const std::wstring& path, FileStamp* stamp) {
  const HANDLE handle = OpenToLook(path, false);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != FALSE;
  CloseHandle(handle);
  if (ok) {
    FillStamp(info, stamp);
  }
  return ok;
}

// The volume serial number of the folder `folder`, remembered for a while.
//
// Asking a file for its volume is cheap on Windows, but under Wine each
// answer comes from its mount manager in another process, a millisecond a
// file. An entry of a folder that is no link lives on the folder's volume
// (a mount point is a link), so the folder's answer serves all its entries.
// It is kept for two seconds: long enough to serve a run of thousands of
// files, short enough that a drive letter given to another disk is soon
// seen.
bool FolderVolume(const std::wstring& folder, std::uint64_t* volume) {
  constexpr ULONGLONG kKeptMilliseconds = 2000;
  constexpr std::size_t kMaxFolders = 4096;
  struct Known {
    std::uint64_t volume;
    ULONGLONG readAt;
  };
  static std::mutex lock;
  static std::unordered_map<std::wstring, Known> known;
  const ULONGLONG now = GetTickCount64();
  {
    const std::lock_guard<std::mutex> hold(lock);
    const auto found = known.find(folder);
    if (found != known.end() && now - found->second.readAt < kKeptMilliseconds) {
      *volume = found->second.volume;
      return true;
    }
  }
  FileStamp stamp;
  if (!ReadStampFromVolume(folder, &stamp)) {
    return false;
  }
  const std::lock_guard<std::mutex> hold(lock);
  if (known.size() >= kMaxFolders) {
    known.clear();
  }
  known[folder] = Known{stamp.volume, now};
  *volume = stamp.volume;
  return true;
}

// The stamp of `path`, an entry (not a link) of the folder `folder`, read
// from the entry without asking it for its volume; false when `path` is a
// link or the system will not tell.
bool ReadStampInFolder(const std::wstring& path, const std::wstring& folder, FileStamp* stamp) {
  const HANDLE handle = OpenToLook(path, true);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  IO_STATUS_BLOCK io;
  FILE_BASIC_INFORMATION basic;
  FILE_STANDARD_INFORMATION standard;
  FILE_INTERNAL_INFORMATION internal;
  const bool ok =
      NT_SUCCESS(NtQueryInformationFile(handle, &io, &basic, sizeof basic, FileBasicInformation)) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
      NT_SUCCESS(NtQueryInformationFile(handle, &io, &standard, sizeof standard,
                                        FileStandardInformation)) &&
      NT_SUCCESS(
          NtQueryInformationFile(handle, &io, &internal, sizeof internal, FileInternalInformation));
  CloseHandle(handle);
  std::uint64_t volume = 0;
  if (!ok || !FolderVolume(folder, &volume)) {
    return false;
  }
  stamp->volume = volume;
  stamp->index = static_cast<std::uint64_t>(internal.IndexNumber.QuadPart);
  stamp->size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
  SetTime(basic.LastWriteTime.QuadPart, stamp);
  stamp->links = standard.NumberOfLinks;
  return true;
}

}  // namespace

bool ReadFileStamp(const std::wstring& path, FileStamp* stamp) {
  if (path.empty()) {
    return false;
  }
  // An entry of a named folder, read with its folder's volume; the rest
  // (links, a drive's root, a path relative to the current folder) asks the
  // volume itself.
  const std::wstring name = FindFileName(path);
  const std::wstring folder = path.substr(0, path.size() - name.size());
  if (!name.empty() && name != L"." && name != L".." && !IsPathSeparator(name.back()) &&
      !folder.empty() && IsPathSeparator(folder.back()) && ReadStampInFolder(path, folder, stamp)) {
    return true;
  }
  return ReadStampFromVolume(path, stamp);
}

bool ReadSizeAndTime(const std::wstring& path, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() ||
      !GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  stamp->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  SetTime(data.ftLastWriteTime, stamp);
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
        stamp.size = static_cast<std::uint64_t>(entry->EndOfFile.QuadPart);
        SetTime(entry->LastWriteTime.QuadPart, &stamp);
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
