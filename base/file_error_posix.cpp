// kiv::LastPlatformFileError over errno.
#include <cerrno>

#include "base/file_error.h"

namespace kiv {

FileError LastPlatformFileError() {
  switch (errno) {
    case 0:
      return FileError::kNone;
    case ENOENT:
      return FileError::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return FileError::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileError::kDiskFull;
    case ENOTDIR:
      return FileError::kNotFolder;
    case EEXIST:
      return FileError::kExists;
    case ENAMETOOLONG:
      return FileError::kTooLong;
    default:
      return FileError::kOther;
  }
}

}  // namespace kiv
