// kiv::FileError: why a file operation failed, in the few kinds a user can act on.
//
// The byte stream and the safe writer keep the kind of their last failure (File::error,
// ReplacingFile::error), taken from the platform's error code right where the call failed, so
// that a failed conversion can say "permission denied" or "disk full" instead of only "failed".
//
// Threads: LastPlatformFileError reads the calling thread's error code (errno or
// GetLastError); call it straight after the failing call, before anything else can change it.
#pragma once

namespace kiv {

enum class FileError {
  kNone,
  kNotFound,      // the file or a folder on its path does not exist
  kAccessDenied,  // no permission, a read-only file system, or the file held by another program
  kDiskFull,      // no space left (or the quota is used up)
  kNotFolder,     // a part of the path that must be a folder is a file
  kExists,        // something already exists at the path
  kTooLong,       // the path is longer than the system accepts
  kOther,
};

// The kind of the calling thread's last platform error.
FileError LastPlatformFileError();

// A few English words for `error` ("permission denied", "disk full", ...); empty for kNone.
const wchar_t* FileErrorText(FileError error);

}  // namespace kiv
