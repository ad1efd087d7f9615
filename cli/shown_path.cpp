#include "cli/shown_path.h"

#include <cwchar>

namespace cli {
namespace {

#ifdef _WIN32
constexpr wchar_t kSeparator = L'\\';
#else
constexpr wchar_t kSeparator = L'/';
#endif

bool IsSeparator(wchar_t c) {
  return c == kSeparator || c == L'/';
}

}  // namespace

std::wstring TidyPath(const std::wstring& path) {
  std::wstring tidy;
  size_t i = 0;
#ifdef _WIN32
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    tidy = L"\\\\";
    i = 2;
  }
#endif
  while (i < path.size()) {
    if (IsSeparator(path[i])) {
      if (tidy.empty() || !IsSeparator(tidy.back())) {
        tidy += kSeparator;
      }
      ++i;
      continue;
    }
    size_t end = i;
    while (end < path.size() && !IsSeparator(path[end])) {
      ++end;
    }
    const bool dot = end - i == 1 && path[i] == L'.';
    if (dot) {
      // "./" goes with its separator; a final "." leaves the separator before it.
      i = end < path.size() ? end + 1 : end;
      continue;
    }
    tidy.append(path, i, end - i);
    i = end;
  }
  // A final "." removed leaves "dir/": drop that separator unless it is the root's.
  if (tidy.size() > 1 && IsSeparator(tidy.back()) && !path.empty() && !IsSeparator(path.back()) &&
      !(tidy.size() == 3 && tidy[1] == L':')) {
    tidy.pop_back();
  }
  return tidy.empty() ? path.substr(0, path.empty() ? 0 : 1) : tidy;
}

std::wstring QuotedPath(const std::wstring& path) {
  bool plain = true;
  for (const wchar_t c : path) {
    plain = plain && c != L' ' && c != L'"' && static_cast<unsigned>(c) >= 0x20 && c != 0x7F;
  }
  if (plain) {
    return path;
  }
  std::wstring quoted = L"\"";
  for (const wchar_t c : path) {
    if (c == L'"') {
      quoted += L"\\\"";
    } else if (static_cast<unsigned>(c) < 0x20 || c == 0x7F) {
      wchar_t escape[8];
      std::swprintf(escape, sizeof escape / sizeof escape[0], L"\\x%02X", static_cast<unsigned>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + L"\"";
}

}  // namespace cli
