// kiv::File's platform calls over kernel32 file handles.
#include <windows.h>

#include "base/file.h"
#include "base/long_path.h"

namespace kiv {
namespace {

HANDLE ToHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::intptr_t File::PlatformOpen(const std::wstring& path, Mode mode, std::uint64_t* size) {
  DWORD access = GENERIC_WRITE;
  DWORD share = FILE_SHARE_WRITE;
  DWORD disposition = CREATE_ALWAYS;
  if (mode == Mode::kRead) {
    access = GENERIC_READ;
    share = FILE_SHARE_READ;
    disposition = OPEN_EXISTING;
  } else if (mode == Mode::kCreateNew) {
    disposition = CREATE_NEW;
  }
  HANDLE handle = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return kNoHandle;
  }
  LARGE_INTEGER file_size;
  if (!GetFileSizeEx(handle, &file_size)) {
    CloseHandle(handle);
    return kNoHandle;
  }
  *size = static_cast<std::uint64_t>(file_size.QuadPart);
  return reinterpret_cast<std::intptr_t>(handle);
}

bool File::PlatformRead(std::intptr_t handle, std::uint32_t count, void* destination,
                        std::uint32_t* done) {
  DWORD n = 0;
  if (!ReadFile(ToHandle(handle), destination, count, &n, nullptr)) {
    return false;
  }
  *done = n;
  return true;
}

bool File::PlatformWrite(std::intptr_t handle, std::uint32_t count, const void* source,
                         std::uint32_t* done) {
  DWORD n = 0;
  const BOOL ok = WriteFile(ToHandle(handle), source, count, &n, nullptr);
  *done = n;
  return ok && n == count;
}

bool File::PlatformSeek(std::intptr_t handle, std::int64_t distance) {
  LARGE_INTEGER move;
  move.QuadPart = distance;
  return SetFilePointerEx(ToHandle(handle), move, nullptr, FILE_CURRENT) != FALSE;
}

bool File::PlatformFlush(std::intptr_t handle) {
  return FlushFileBuffers(ToHandle(handle)) != FALSE;
}

bool File::PlatformClose(std::intptr_t handle) {
  return CloseHandle(ToHandle(handle)) != FALSE;
}

}  // namespace kiv
