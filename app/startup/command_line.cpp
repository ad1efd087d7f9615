#include "app/startup/command_line.h"

namespace morvane {

std::vector<std::wstring> SplitCommandLine(const std::wstring& text) {
  // Everything from the first NUL on is not part of the command line.
  const std::wstring s = text.substr(0, text.find(L'\0'));
  std::vector<std::wstring> paths;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == L'"') {
      const std::size_t close = s.find(L'"', i + 1);
      if (close == std::wstring::npos) {
        break;  // an unterminated quote drops the rest
      }
      paths.push_back(s.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (s[i] == L' ') {
      ++i;
    } else {
      const std::size_t space = s.find(L' ', i);
      if (space == std::wstring::npos) {
        paths.push_back(s.substr(i));
        break;
      }
      paths.push_back(s.substr(i, space - i));
      i = space + 1;
    }
  }
  return paths;
}

}  // namespace morvane
