// kiv::SystemPath: the extended-length form once a path is long.
#include <windows.h>

#include <vector>

#include "base/long_path.h"

namespace kiv {
namespace {

bool IsRelative(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  const bool network = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
                       (path[1] == L'\\' || path[1] == L'/');
  return !drive && !network;
}

std::wstring CurrentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) {
    return std::wstring();
  }
  std::vector<wchar_t> buffer(size + 1);
  const DWORD got = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  return got == 0 || got >= buffer.size() ? std::wstring() : std::wstring(buffer.data(), got);
}

}  // namespace

std::wstring SystemPath(const std::wstring& path) {
  if (path.empty()) {
    return path;
  }
  if (!IsRelative(path)) {
    return path.size() < kLongPathLength ? path : ExtendedLengthPath(path, std::wstring());
  }
  const std::wstring current = CurrentFolder();
  return current.size() + 1 + path.size() < kLongPathLength ? path
                                                            : ExtendedLengthPath(path, current);
}

}  // namespace kiv
