// Path helpers with the Windows shell's semantics and the platform's
// separator: backslash on Windows, slash on Linux.
//
// The pure string helpers work on any string and any thread. The helpers
// that ask the file system (FileExists, IsDirectory, RemoveFile,
// MakeDirectory, GetModulePath) are thread-safe; their answer is the state of
// the disk at the moment of the call.
#pragma once

#include <string>

namespace kiv {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// True for a character that separates path components on this platform
// (backslash and slash on Windows, slash on Linux).
bool IsPathSeparator(wchar_t c);

// Full path of the running executable, or the empty string when the
// platform cannot tell. Paths of any length are returned whole.
std::wstring GetModulePath();

// The file name part of `path`: everything after the last separator (on
// Windows also after a drive colon) that is not the path's final character.
// "dir/a.bmp" -> "a.bmp"; "a.bmp" -> "a.bmp"; "dir/sub/" -> "sub/".
std::wstring FindFileName(const std::wstring& path);

// The extension of the file name part, from its last dot, dot included, or
// the empty string. A dot in a folder name does not count, and a space after
// the last dot ends the extension ("a.b c" has none): "x/a.tar.gz" -> ".gz",
// "x.y/c" -> "", ".profile" -> ".profile".
std::wstring FindExtension(const std::wstring& path);

// `path` without the extension FindExtension finds.
std::wstring RemoveExtension(const std::wstring& path);

// `path` with its extension replaced by `extension` (which includes its
// dot), or with `extension` appended when the path has none. Only the
// extension changes; paths of any length are handled.
std::wstring RenameExtension(const std::wstring& path, const std::wstring& extension);

// `path` with one separator appended unless it is empty or already ends in a
// separator.
std::wstring AddSeparator(const std::wstring& path);

// The folder of `path`: the path without its last component and without the
// separator before it, except that a root keeps its separator.
// "/a/b.bmp" -> "/a"; "/b.bmp" -> "/"; "b.bmp" -> "";
// on Windows "D:\a\b.bmp" -> "D:\a", "D:\b.bmp" -> "D:\", "D:\" -> "D:\".
std::wstring RemoveFileSpec(const std::wstring& path);

// True when the two paths name the same file by their spelling alone:
// case-insensitive on Windows, exact on Linux. Separators are not
// normalised and nothing is resolved on disk.
bool SamePath(const std::wstring& a, const std::wstring& b);

// True when something (file or folder) exists at `path`.
bool FileExists(const std::wstring& path);

// True when `path` exists and is a folder. False when it is missing or
// cannot be examined.
bool IsDirectory(const std::wstring& path);

// Removes the file at `path`; true on success. A read-only file on Windows is
// not removed (false).
bool RemoveFile(const std::wstring& path);

// Creates the folder `path` (its parent must exist); true on success, false
// when it exists already or cannot be made.
bool MakeDirectory(const std::wstring& path);

// True when this process may add a file to the folder `path`, as the folder's permissions say.
// Nothing is written: a dry run asks it of the folder a real run would write into.
// REQUIRES: IsDirectory(path).
bool CanCreateIn(const std::wstring& path);

// Removes the empty folder `path`; true on success.
bool RemoveFolder(const std::wstring& path);

// True when `path` itself is a symbolic link (or, on Windows, a junction or
// another reparse point), whatever it leads to.
bool IsLink(const std::wstring& path);

// The full path of what `path` leads to, every link on the way resolved, as
// the platform spells it; empty when it cannot be told (nothing there).
std::wstring ResolvedPath(const std::wstring& path);

// `path` as the file system resolves it: its longest part that exists, every
// link on the way resolved (ResolvedPath), then the names below that part as
// written. Two spellings of one place (a folder link, a junction, a short
// name) give one text, and a folder made later below the existing part
// leaves the text as it was. `path` itself when nothing of it exists.
std::wstring CanonicalPath(const std::wstring& path);

// Asks the platform to put the file at `path` and its folder entry on the
// storage device, so that it survives a power cut. True when the platform
// reports success. Call it before discarding the only other copy of the
// data (a source about to be deleted); a fresh file that replaces nothing
// does not need it.
bool SyncToDisk(const std::wstring& path);

}  // namespace kiv
