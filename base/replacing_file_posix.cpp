// The moves of kiv::ReplacingFile over rename(2) and link(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_fault.h"
#include "base/path.h"
#include "base/replacing_file.h"
#include "base/unicode.h"

namespace kiv {

bool ReplacingFile::PlatformReplace(const std::wstring& from, const std::wstring& to,
                                    bool durable) {
  // rename(2) replaces the target whatever its permission bits: a read-only
  // target needs no special care here.
  if (rename(WideToUtf8(from).c_str(), WideToUtf8(to).c_str()) != 0) {
    return false;
  }
  // The new file's data went to the device before the move; this makes the
  // folder entry durable too. A failure here does not undo the move.
  if (durable) {
    SyncToDisk(to);
  }
  return true;
}

namespace {

bool Unsupported(int error) {
  return error == EPERM || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP;
}

// For file systems with neither hard links nor RENAME_NOREPLACE (some FUSE,
// CIFS and exFAT mounts): the name is first taken by an empty file created
// exclusively, which fails when anything stands there, and the temporary is
// then moved over that placeholder. A failed move removes the placeholder
// while it is still the one made here.
ReplacingFile::Result MoveOverPlaceholder(const std::string& source, const std::string& target) {
  const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return errno == EEXIST ? ReplacingFile::Result::kExists : ReplacingFile::Result::kFailed;
  }
  struct stat made;
  const bool known = fstat(fd, &made) == 0;
  close(fd);
  if (rename(source.c_str(), target.c_str()) == 0) {
    return ReplacingFile::Result::kDone;
  }
  struct stat now;
  if (known && stat(target.c_str(), &now) == 0 && now.st_dev == made.st_dev &&
      now.st_ino == made.st_ino && now.st_size == 0) {
    unlink(target.c_str());
  }
  return ReplacingFile::Result::kFailed;
}

// Moves `from` to the free name `to`, never replacing anything there.
ReplacingFile::Result MoveNewOnce(const std::wstring& from, const std::wstring& to) {
  using Result = ReplacingFile::Result;
  const std::string source = WideToUtf8(from);
  const std::string target = WideToUtf8(to);
  if (fault::ShouldFail(FaultStep::kNoLinks, to)) {
    return MoveOverPlaceholder(source, target);
  }
  // link(2) fails with EEXIST when anything is at the target, atomically.
  if (link(source.c_str(), target.c_str()) == 0) {
    unlink(source.c_str());
    return Result::kDone;
  }
  if (errno == EEXIST) {
    return Result::kExists;
  }
  // File systems without hard links: the same guarantee from renameat2.
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return Result::kDone;
  }
  if (errno == EEXIST) {
    return Result::kExists;
  }
  return Unsupported(errno) ? MoveOverPlaceholder(source, target) : Result::kFailed;
}

}  // namespace

ReplacingFile::Result ReplacingFile::PlatformMoveNew(const std::wstring& from,
                                                     const std::wstring& to, bool durable) {
  const Result result = MoveNewOnce(from, to);
  // The data went to the device before the move; this makes the folder
  // entry durable too.
  if (durable && result == Result::kDone) {
    SyncToDisk(to);
  }
  return result;
}

// Without any write permission bit the user has made the file read-only;
// rename(2) would replace it all the same.
bool ReplacingFile::PlatformIsReadOnly(const std::wstring& path) {
  struct stat st;
  return stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace kiv
