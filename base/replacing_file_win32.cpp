// The moves of kiv::ReplacingFile over MoveFileExW.
#include <windows.h>

#include "base/replacing_file.h"
#include "base/long_path.h"

namespace kiv {

namespace {

// While another thread or program has the target or the temporary open for
// a moment (an indexer, a virus scanner, a look at its file stamp), a move
// fails. Such a move is tried again for up to half a second before it counts
// as failed.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryMilliseconds = 25;

bool MomentarilyInUse(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

}  // namespace

bool ReplacingFile::PlatformReplace(const std::wstring& from, const std::wstring& to,
                                    bool durable) {
  // MoveFileExW refuses to replace a read-only file: lift the attribute for
  // the move and put it back if the move fails.
  const DWORD attributes = GetFileAttributesW(SystemPath(to).c_str());
  const bool read_only = attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only &&
      !SetFileAttributesW(SystemPath(to).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), flags)) {
      return true;
    }
    if (attempt == kReplaceAttempts || !MomentarilyInUse(GetLastError())) {
      break;
    }
    Sleep(kReplaceRetryMilliseconds);
  }
  if (read_only) {
    const DWORD error = GetLastError();
    SetFileAttributesW(SystemPath(to).c_str(), attributes);
    SetLastError(error);  // the caller reports why the move failed
  }
  return false;
}

ReplacingFile::Result ReplacingFile::PlatformMoveNew(const std::wstring& from,
                                                     const std::wstring& to, bool durable) {
  // A scanner or an indexer holding the new temporary open for a moment makes
  // the move fail too: it is tried again as the replacing move is.
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                    durable ? MOVEFILE_WRITE_THROUGH : 0)) {
      return Result::kDone;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
      return Result::kExists;
    }
    if (attempt == kReplaceAttempts || !MomentarilyInUse(error)) {
      return Result::kFailed;
    }
    Sleep(kReplaceRetryMilliseconds);
  }
}

bool ReplacingFile::PlatformIsReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace kiv
