// Paths longer than the Windows file functions take in their plain form.
//
// The plain Win32 file functions refuse a path of MAX_PATH (260) characters or more, and a
// folder of 248 or more, unless the path is in its extended-length form ("\\?\C:\...",
// "\\?\UNC\server\share\..."), which the system takes as it is: no "." or ".." resolved, no
// forward slash turned into a backslash, nothing made full against the current folder.
// ExtendedLengthPath does that work itself, so any path the user gives reaches the same file in
// its long form; SystemPath is what every file function of the Windows build is handed.
//
// Threads: every function may be called from any thread. ExtendedLengthPath is pure and
// portable (it works on Windows spellings whatever the platform); SystemPath reads the current
// folder and exists only in the Windows build.
#pragma once

#include <cstddef>
#include <string>

namespace kiv {

// From this length on a path is handed to the system in its extended-length form: below the
// 248 characters of a folder path, so that a folder and the names made in it both fit.
inline constexpr std::size_t kLongPathLength = 240;

// The extended-length form of `path`: "\\?\C:\a\b" for a drive path, "\\?\UNC\server\share\a"
// for a network path. A relative path ("a\b", "\a", "C:a") is first made full against
// `currentFolder` (a full drive or network path); forward slashes become backslashes, doubled
// separators one, "." components go and ".." takes away the component before it (never the
// root); a trailing separator goes, except the root's. A path already in the extended-length
// or device form ("\\?\", "\\.\") is returned as given, and so is a relative one when
// `currentFolder` is empty.
std::wstring ExtendedLengthPath(const std::wstring& path, const std::wstring& currentFolder);

#ifdef _WIN32
// `path` as the Windows file functions must be given it: unchanged while it is short, its
// extended-length form once it (made full) is kLongPathLength characters or longer.
std::wstring SystemPath(const std::wstring& path);
#endif

}  // namespace kiv
