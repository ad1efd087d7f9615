// The string helpers of path.h: one implementation for both platforms,
// parameterised by the platform's separators.
#include "base/path.h"

namespace kiv {
namespace {

#ifdef _WIN32
constexpr bool kWindowsPaths = true;
#else
constexpr bool kWindowsPaths = false;
#endif

// Offset of the file name part of `path` (path.size() when it is empty).
std::size_t FileNameOffset(const std::wstring& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    const bool breaks = IsPathSeparator(c) || (kWindowsPaths && c == L':');
    // A separator at the very end (or before another separator) does not
    // start a new name: "a/b/" names "b/".
    if (breaks && i + 1 < path.size() && !IsPathSeparator(path[i + 1])) {
      start = i + 1;
    }
  }
  return start;
}

// Offset of the extension's dot, or path.size() when there is none.
std::size_t ExtensionOffset(const std::wstring& path) {
  std::size_t dot = path.size();
  for (std::size_t i = FileNameOffset(path); i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (IsPathSeparator(c) || c == L' ') {
      dot = path.size();
    } else if (c == L'.') {
      dot = i;
    }
  }
  return dot;
}

// Length of the root at the start of `path` that RemoveFileSpec keeps:
// "/" on Linux; "X:\", "\" or "\\server\share\" on Windows; 0 for none.
std::size_t RootLength(const std::wstring& path) {
  if (!kWindowsPaths) {
    return !path.empty() && path[0] == L'/' ? 1 : 0;
  }
  if (path.size() >= 2 && path[1] == L':') {
    return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // UNC: keep "\\server\share\".
    std::size_t i = 2;
    for (int parts = 0; parts < 2 && i < path.size(); ++parts) {
      while (i < path.size() && !IsPathSeparator(path[i])) {
        ++i;
      }
      if (i < path.size()) {
        ++i;
      }
    }
    return i;
  }
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

}  // namespace

bool IsPathSeparator(wchar_t c) {
  return c == L'/' || (kWindowsPaths && c == L'\\');
}

std::wstring FindFileName(const std::wstring& path) {
  return path.substr(FileNameOffset(path));
}

std::wstring FindExtension(const std::wstring& path) {
  return path.substr(ExtensionOffset(path));
}

std::wstring RemoveExtension(const std::wstring& path) {
  return path.substr(0, ExtensionOffset(path));
}

std::wstring RenameExtension(const std::wstring& path, const std::wstring& extension) {
  return RemoveExtension(path) + extension;
}

std::wstring AddSeparator(const std::wstring& path) {
  if (path.empty() || IsPathSeparator(path.back())) {
    return path;
  }
  return path + kPathSeparator;
}

std::wstring RemoveFileSpec(const std::wstring& path) {
  const std::size_t root = RootLength(path);
  if (path.size() <= root) {
    return path;
  }
  // The folder ends at the last separator after the root; without one it
  // is the root itself ("" when there is none).
  std::size_t cut = root;
  for (std::size_t i = root; i < path.size(); ++i) {
    if (IsPathSeparator(path[i])) {
      cut = i;
    }
  }
  return path.substr(0, cut);
}

std::wstring CanonicalPath(const std::wstring& path) {
  std::wstring below;  // the names under `at` that do not exist, with their separators
  std::wstring at = path;
  for (;;) {
    const std::wstring resolved = ResolvedPath(at);
    if (!resolved.empty()) {
      return below.empty() ? resolved : AddSeparator(resolved) + below;
    }
    const std::wstring parent = RemoveFileSpec(at);
    if (parent.empty() || parent == at) {
      return path;
    }
    std::wstring name = FindFileName(at);
    while (!name.empty() && IsPathSeparator(name.back())) {
      name.pop_back();
    }
    below = below.empty() ? name : name + kPathSeparator + below;
    at = parent;
  }
}

}  // namespace kiv
