#include "base/long_path.h"

#include <cwctype>
#include <vector>

namespace kiv {
namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool HasDrive(const std::wstring& path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':';
}

bool IsUnc(const std::wstring& path) {
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// Splits `rest` at separators into `parts`, resolving "." and "..".
void AddComponents(const std::wstring& rest, std::vector<std::wstring>& parts) {
  std::wstring part;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && !IsSeparator(rest[i])) {
      part += rest[i];
      continue;
    }
    if (part == L"..") {
      if (!parts.empty()) {
        parts.pop_back();
      }
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    part.clear();
  }
}

// The start of a network path's components: after "\\server\share".
size_t AfterShare(const std::wstring& path, std::vector<std::wstring>& rootParts) {
  size_t i = 2;
  for (int n = 0; n < 2; ++n) {
    std::wstring part;
    while (i < path.size() && IsSeparator(path[i])) {
      ++i;
    }
    while (i < path.size() && !IsSeparator(path[i])) {
      part += path[i++];
    }
    rootParts.push_back(part);
  }
  return i;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path, const std::wstring& currentFolder) {
  if (path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
      (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
    return path;
  }
  std::wstring root;
  std::vector<std::wstring> parts;
  if (IsUnc(path)) {
    std::vector<std::wstring> share;
    const size_t start = AfterShare(path, share);
    root = L"\\\\?\\UNC\\" + share[0] + L"\\" + share[1];
    AddComponents(path.substr(start), parts);
  } else if (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2])) {
    root = L"\\\\?\\" + path.substr(0, 2);
    AddComponents(path.substr(3), parts);
  } else if (currentFolder.empty() || (!HasDrive(currentFolder) && !IsUnc(currentFolder))) {
    return path;
  } else if (HasDrive(path)) {
    // "C:a": against the current folder when it is on that drive, else the drive's root.
    const bool sameDrive =
        HasDrive(currentFolder) && towupper(currentFolder[0]) == towupper(path[0]);
    return ExtendedLengthPath(
        (sameDrive ? currentFolder : path.substr(0, 2)) + L"\\" + path.substr(2), std::wstring());
  } else if (!path.empty() && IsSeparator(path[0])) {
    // "\a": from the root of the current folder's drive or share.
    std::wstring driveOrShare = currentFolder.substr(0, 2);
    if (IsUnc(currentFolder)) {
      std::vector<std::wstring> share;
      AfterShare(currentFolder, share);
      driveOrShare = L"\\\\" + share[0] + L"\\" + share[1];
    }
    return ExtendedLengthPath(driveOrShare + path, std::wstring());
  } else {
    return ExtendedLengthPath(currentFolder + L"\\" + path, std::wstring());
  }
  for (const std::wstring& part : parts) {
    root += L"\\" + part;
  }
  return parts.empty() ? root + L"\\" : root;
}

}  // namespace kiv
