// The moves of kiv::ReplacingFile over rename(2) and link(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

ReplacingFile::Result ReplacingFile::PlatformMoveNew(const std::wstring& from,
                                                     const std::wstring& to) {
  const std::string source = WideToUtf8(from);
  const std::string target = WideToUtf8(to);
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
  return errno == EEXIST ? Result::kExists : Result::kFailed;
}

// Without any write permission bit the user has made the file read-only;
// rename(2) would replace it all the same.
bool ReplacingFile::PlatformIsReadOnly(const std::wstring& path) {
  struct stat st;
  return stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace kiv
