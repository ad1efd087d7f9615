// Wildcard matching with the Windows directory search's rules, for the POSIX
// finder (the Windows finder asks the system).
#include <algorithm>

#include "base/file_finder.h"
#include "base/unicode.h"

namespace kiv {
namespace {

bool SameLetter(wchar_t a, wchar_t b) {
  return a == b || FoldCase(a) == FoldCase(b);
}

// `*` any run, `?` one character, letters in either case.
bool Glob(const std::wstring& pattern, const std::wstring& name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::wstring::npos;  // pattern offset after the last `*`
  std::size_t resume = 0;                 // name offset that `*` may extend from
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      star = ++p;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == L'?' || SameLetter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (star != std::wstring::npos) {
      p = star;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') {
    ++p;
  }
  return p == pattern.size();
}

bool IsAllDots(const std::wstring& text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) { return c == L'.'; });
}

}  // namespace

bool MatchWildcard(const std::wstring& pattern, const std::wstring& name) {
  if (pattern.empty() || name.empty()) {
    return false;
  }
  if (Glob(pattern, name)) {
    return true;
  }
  if (IsAllDots(pattern)) {
    return false;
  }
  // "name.*" also finds "name", and "*.*" thereby every name.
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, L".*") == 0) {
    return MatchWildcard(pattern.substr(0, pattern.size() - 2), name);
  }
  // A trailing dot asks for no (further) extension: "*." finds "readme" but
  // not "a.txt".
  if (pattern.back() == L'.') {
    const std::wstring stem = pattern.substr(0, pattern.size() - 1);
    return Glob(stem, name) &&
           std::count(name.begin(), name.end(), L'.') == std::count(stem.begin(), stem.end(), L'.');
  }
  return false;
}

}  // namespace kiv
