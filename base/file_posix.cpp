// kiv::File's platform calls over POSIX descriptors; paths go to the system
// as UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/file.h"
#include "base/unicode.h"

namespace kiv {

std::intptr_t File::PlatformOpen(const std::wstring& path, Mode mode, std::uint64_t* size) {
  // Non-blocking only while opening: a named pipe (or a device) at the path would otherwise hold
  // the open until some other process connects, which may be never.
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  switch (mode) {
    case Mode::kRead:
      flags |= O_RDONLY;
      break;
    case Mode::kTruncate:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case Mode::kCreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
  }
  int fd;
  do {
    fd = open(WideToUtf8(path).c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return kNoHandle;
  }
  struct stat st;
  // A folder opens on POSIX but not on Windows: refuse it here too.
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    errno = EISDIR;
    return kNoHandle;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status == -1 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
    close(fd);
    return kNoHandle;
  }
  *size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  return fd;
}

bool File::PlatformRead(std::intptr_t handle, std::uint32_t count, void* destination,
                        std::uint32_t* done) {
  auto* out = static_cast<char*>(destination);
  std::uint32_t total = 0;
  while (total < count) {
    const ssize_t n = read(static_cast<int>(handle), out + total, count - total);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (total == 0) {
        return false;
      }
      break;
    }
    if (n == 0) {
      break;
    }
    total += static_cast<std::uint32_t>(n);
  }
  *done = total;
  return true;
}

bool File::PlatformWrite(std::intptr_t handle, std::uint32_t count, const void* source,
                         std::uint32_t* done) {
  const auto* in = static_cast<const char*>(source);
  std::uint32_t total = 0;
  bool ok = true;
  while (total < count) {
    const ssize_t n = write(static_cast<int>(handle), in + total, count - total);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      ok = false;
      break;
    }
    total += static_cast<std::uint32_t>(n);
  }
  *done = total;
  return ok;
}

bool File::PlatformSeek(std::intptr_t handle, std::int64_t distance) {
  return lseek(static_cast<int>(handle), static_cast<off_t>(distance), SEEK_CUR) != -1;
}

bool File::PlatformFlush(std::intptr_t handle) {
  return fsync(static_cast<int>(handle)) == 0;
}

bool File::PlatformClose(std::intptr_t handle) {
  // close(2) must not be retried after EINTR on Linux: the descriptor is gone.
  return close(static_cast<int>(handle)) == 0 || errno == EINTR;
}

}  // namespace kiv
