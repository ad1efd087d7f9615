// kiv::LastPlatformFileError over GetLastError.
#include <windows.h>

#include "base/file_error.h"

namespace kiv {

FileError LastPlatformFileError() {
  switch (GetLastError()) {
    case ERROR_SUCCESS:
      return FileError::kNone;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return FileError::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return FileError::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileError::kDiskFull;
    case ERROR_DIRECTORY:
      return FileError::kNotFolder;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileError::kExists;
    case ERROR_FILENAME_EXCED_RANGE:
      return FileError::kTooLong;
    default:
      return FileError::kOther;
  }
}

}  // namespace kiv
