#include "base/file_error.h"

namespace kiv {

const wchar_t* FileErrorText(FileError error) {
  switch (error) {
    case FileError::kNone:
      return L"";
    case FileError::kNotFound:
      return L"no such file or folder";
    case FileError::kAccessDenied:
      return L"permission denied";
    case FileError::kDiskFull:
      return L"disk full";
    case FileError::kNotFolder:
      return L"a part of the path is a file, not a folder";
    case FileError::kExists:
      return L"exists";
    case FileError::kTooLong:
      return L"path too long";
    case FileError::kOther:
      break;
  }
  return L"input/output error";
}

}  // namespace kiv
