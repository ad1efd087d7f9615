// The moves of kiv::ReplacingFile over MoveFileExW.
#include <windows.h>

#include "base/replacing_file.h"
#include "base/exact_name.h"
#include "base/folder_listing.h"
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

// Where a move makes the name `to`: a name the output listings know to be
// free in every letter case is spelled so that it is looked up exactly as
// written (under Wine a look in any letter case reads the whole folder).
std::wstring MoveTarget(const std::wstring& to) {
  const std::wstring exact = OutputListings().SurelyAbsent(to) ? ExactNamePath(to) : std::wstring();
  return exact.empty() ? SystemPath(to) : exact;
}

}  // namespace

bool ReplacingFile::PlatformReplace(const std::wstring& from, const std::wstring& to,
                                    bool durable) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  // The move is tried first: most targets are new or writable, and asking a folder about a
  // name it does not hold can cost a search of the whole folder. MoveFileExW refuses to
  // replace a read-only file: once refused, the attribute is lifted for the move and put back
  // if the move still fails.
  DWORD lifted = INVALID_FILE_ATTRIBUTES;
  DWORD error = ERROR_SUCCESS;
  const std::wstring target = MoveTarget(to);
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(SystemPath(from).c_str(), target.c_str(), flags)) {
      return true;
    }
    error = GetLastError();
    if (error == ERROR_ACCESS_DENIED && lifted == INVALID_FILE_ATTRIBUTES) {
      const DWORD attributes = GetFileAttributesW(SystemPath(to).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
          (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        if (!SetFileAttributesW(SystemPath(to).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
          break;
        }
        lifted = attributes;
        continue;
      }
    }
    if (attempt == kReplaceAttempts || !MomentarilyInUse(error)) {
      break;
    }
    Sleep(kReplaceRetryMilliseconds);
  }
  if (lifted != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesW(SystemPath(to).c_str(), lifted);
  }
  SetLastError(error);  // the caller reports why the move failed
  return false;
}

ReplacingFile::Result ReplacingFile::PlatformMoveNew(const std::wstring& from,
                                                     const std::wstring& to, bool durable) {
  // A scanner or an indexer holding the new temporary open for a moment makes
  // the move fail too: it is tried again as the replacing move is.
  const std::wstring target = MoveTarget(to);
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(SystemPath(from).c_str(), target.c_str(),
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
