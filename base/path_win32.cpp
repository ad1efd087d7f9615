// The file-system helpers of path.h over kernel32.
#include "base/path.h"

#include <windows.h>

#include "base/file_fault.h"
#include "base/long_path.h"

#include <string>
#include <vector>

namespace kiv {

std::wstring GetModulePath() {
  std::vector<wchar_t> buffer(520);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      return std::wstring();
    }
    // A result that fills the buffer may have been cut: try again with more room.
    if (n < buffer.size()) {
      return std::wstring(buffer.data(), n);
    }
    if (buffer.size() >= 32768) {
      return std::wstring();
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool IsLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::wstring ResolvedPath(const std::wstring& path) {
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return std::wstring();
  }
  std::wstring result(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, &result[0], static_cast<DWORD>(result.size()),
                                           FILE_NAME_NORMALIZED);
  if (length >= result.size()) {
    result.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, &result[0], static_cast<DWORD>(result.size()),
                                       FILE_NAME_NORMALIZED);
  }
  CloseHandle(handle);
  result.resize(length < result.size() ? length : 0);
  return result;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) {
    return false;
  }
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool FileExists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  if (path.empty()) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CanCreateIn(const std::wstring& path) {
  // Opening the folder for the right to add a file checks its access list without writing.
  const HANDLE folder = CreateFileW(SystemPath(path).c_str(), FILE_ADD_FILE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    return GetLastError() != ERROR_ACCESS_DENIED;
  }
  CloseHandle(folder);
  return true;
}

bool RemoveFile(const std::wstring& path) {
  return !path.empty() && DeleteFileW(SystemPath(path).c_str()) != FALSE;
}

bool MakeDirectory(const std::wstring& path) {
  return !path.empty() && CreateDirectoryW(SystemPath(path).c_str(), nullptr) != FALSE;
}

bool RemoveFolder(const std::wstring& path) {
  return !path.empty() && RemoveDirectoryW(SystemPath(path).c_str()) != FALSE;
}

bool SyncToDisk(const std::wstring& path) {
  if (path.empty() || fault::ShouldFail(FaultStep::kFlush, path)) {
    return false;
  }
  // FlushFileBuffers needs a handle with write access; NTFS writes the
  // folder entry with the file's metadata.
  const HANDLE file = CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool synced = FlushFileBuffers(file) != FALSE;
  return CloseHandle(file) != FALSE && synced;
}

}  // namespace kiv
