#include "engine/registration.h"

#include <algorithm>

#include "base/file_finder.h"
#include "base/file_identity.h"
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

namespace {

// Scans `folder` as ScanFolder does. `chain` holds the folders being scanned,
// `folder` last: a subfolder that is one of them (a link or junction back up
// the tree) is skipped, since scanning it would find the same files again
// and again without end.
// Returns false when the tick ended the scan.
bool ScanChain(const std::vector<std::wstring>& patterns, const std::wstring& folder,
               OptionSet& options, const PathSink& accept, const ScanTick& tick,
               const FolderSink& unreadable, std::vector<kiv::FileStamp>& chain) {
  kiv::FileFinder finder;
  for (const std::wstring& pattern : patterns) {
    std::wstring name = finder.First(Join(folder, pattern));
    if (finder.Unreadable()) {
      if (unreadable) {
        unreadable(folder);
      }
      return true;
    }
    for (; !name.empty(); name = finder.Next()) {
      if (tick && !tick()) {
        return false;
      }
      std::wstring full = Join(folder, name);
      // The search tells a folder; only a file's attributes are read, to
      // skip a name whose attributes cannot be read.
      if (!finder.IsDirectory() && kiv::FileExists(full)) {
        accept(full);
      }
    }
  }
  if (!options.IsOn(Option::kSubDirectory)) {
    return true;
  }
  for (std::wstring name = finder.First(Join(folder, L"*.*")); !name.empty();
       name = finder.Next()) {
    if (tick && !tick()) {
      return false;
    }
    const std::wstring full = Join(folder, name);
    if (name[0] == L'.' || !finder.IsDirectory()) {
      continue;
    }
    kiv::FileStamp stamp;
    const bool known = kiv::ReadFileStamp(full, &stamp);
    if (known && std::any_of(chain.begin(), chain.end(),
                             [&](const kiv::FileStamp& above) { return above.SameFile(stamp); })) {
      continue;
    }
    if (known) {
      chain.push_back(stamp);
    }
    const bool goOn = ScanChain(patterns, full, options, accept, tick, unreadable, chain);
    if (known) {
      chain.pop_back();
    }
    if (!goOn) {
      return false;
    }
  }
  return true;
}

}  // namespace

void ScanFolder(const std::vector<std::wstring>& patterns, const std::wstring& folder,
                OptionSet& options, const PathSink& accept, const ScanTick& tick,
                const FolderSink& unreadable) {
  std::vector<kiv::FileStamp> chain;
  kiv::FileStamp stamp;
  if (kiv::ReadFileStamp(folder, &stamp)) {
    chain.push_back(stamp);
  }
  ScanChain(patterns, folder, options, accept, tick, unreadable, chain);
}

void RegisterDroppedPath(const std::vector<std::wstring>& patterns, const std::wstring& path,
                         OptionSet& options, const PathSink& accept, const ScanTick& tick,
                         const FolderSink& unreadable) {
  if (IsFolderForRegistration(path)) {
    ScanFolder(patterns, path, options, accept, tick, unreadable);
  } else if (MatchesFilter(patterns, path)) {
    accept(path);
  }
}
