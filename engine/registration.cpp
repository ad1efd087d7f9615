#include "engine/registration.h"

#include "base/file_finder.h"
#include "base/path.h"
#include "engine/option_set.h"

namespace {

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return kiv::AddSeparator(folder) + name;
}

}  // namespace

std::vector<std::wstring> SplitFilter(const std::wstring& filterText) {
  std::vector<std::wstring> patterns;
  if (filterText.empty()) {
    return patterns;
  }
  size_t start = 0;
  for (;;) {
    const size_t bar = filterText.find(L'|', start);
    if (bar == std::wstring::npos) {
      patterns.push_back(filterText.substr(start));
      return patterns;
    }
    patterns.push_back(filterText.substr(start, bar - start));
    start = bar + 1;
  }
}

std::vector<std::wstring> RebuildFilterPatterns(OptionSet& options) {
  return SplitFilter(options.GetOptionText(Option::kFilter));
}

bool MatchesFilter(const std::vector<std::wstring>& patterns, const std::wstring& path) {
  const std::wstring folder = kiv::RemoveFileSpec(path);
  kiv::FileFinder finder;
  for (const std::wstring& pattern : patterns) {
    for (std::wstring name = finder.First(Join(folder, pattern)); !name.empty();
         name = finder.Next()) {
      if (Join(folder, name) == path) {
        return true;
      }
    }
  }
  return false;
}

bool IsFolderForRegistration(const std::wstring& path) {
  return kiv::IsDirectory(path) || !kiv::FileExists(path);
}

void ScanFolder(const std::vector<std::wstring>& patterns, const std::wstring& folder,
                OptionSet& options, const PathSink& accept) {
  kiv::FileFinder finder;
  for (const std::wstring& pattern : patterns) {
    for (std::wstring name = finder.First(Join(folder, pattern)); !name.empty();
         name = finder.Next()) {
      std::wstring full = Join(folder, name);
      if (!IsFolderForRegistration(full)) {
        accept(full);
      }
    }
  }
  if (!options.IsOn(Option::kSubDirectory)) {
    return;
  }
  for (std::wstring name = finder.First(Join(folder, L"*.*")); !name.empty();
       name = finder.Next()) {
    const std::wstring full = Join(folder, name);
    if (name[0] != L'.' && kiv::IsDirectory(full)) {
      ScanFolder(patterns, full, options, accept);
    }
  }
}

void RegisterDroppedPath(const std::vector<std::wstring>& patterns, const std::wstring& path,
                         OptionSet& options, const PathSink& accept) {
  if (IsFolderForRegistration(path)) {
    ScanFolder(patterns, path, options, accept);
  } else if (MatchesFilter(patterns, path)) {
    accept(path);
  }
}
