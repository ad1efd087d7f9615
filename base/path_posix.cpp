// The file-system helpers of path.h over POSIX calls with UTF-8 paths.
#include "base/path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/file_fault.h"
#include "base/unicode.h"

namespace kiv {

std::wstring GetModulePath() {
  std::vector<char> buffer(520);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
      return std::wstring();
    }
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return Utf8ToWide(std::string(buffer.data(), static_cast<std::size_t>(n)));
    }
    // The link may have been cut to the buffer: try again with more room.
    if (buffer.size() >= (std::size_t{1} << 20)) {
      return std::wstring();
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool IsLink(const std::wstring& path) {
  struct stat st;
  return lstat(WideToUtf8(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::wstring ResolvedPath(const std::wstring& path) {
  char* resolved = realpath(WideToUtf8(path).c_str(), nullptr);
  if (resolved == nullptr) {
    return std::wstring();
  }
  std::wstring result = Utf8ToWide(resolved);
  free(resolved);
  return result;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return a == b;
}

bool FileExists(const std::wstring& path) {
  struct stat st;
  return !path.empty() && stat(WideToUtf8(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
  struct stat st;
  return !path.empty() && stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CanCreateIn(const std::wstring& path) {
  return access(WideToUtf8(path).c_str(), W_OK | X_OK) == 0;
}

bool RemoveFile(const std::wstring& path) {
  return !path.empty() && unlink(WideToUtf8(path).c_str()) == 0;
}

bool MakeDirectory(const std::wstring& path) {
  return !path.empty() && mkdir(WideToUtf8(path).c_str(), 0777) == 0;
}

bool RemoveFolder(const std::wstring& path) {
  return !path.empty() && rmdir(WideToUtf8(path).c_str()) == 0;
}

namespace {

bool SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
}

}  // namespace

bool SyncToDisk(const std::wstring& path) {
  if (path.empty() || fault::ShouldFail(FaultStep::kFlush, path)) {
    return false;
  }
  std::wstring folder = RemoveFileSpec(path);
  if (folder.empty()) {
    folder = L".";
  }
  return SyncPath(WideToUtf8(path), O_RDONLY) &&
         SyncPath(WideToUtf8(folder), O_RDONLY | O_DIRECTORY);
}

}  // namespace kiv
