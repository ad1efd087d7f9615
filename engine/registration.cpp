#include "engine/registration.h"

#include <cstdint>
#include <set>
#include <utility>

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

// One folder scan: where the named tree lies with its links resolved, and
// the folders visited so far, by identity.
struct Scan {
  const std::vector<std::wstring>& patterns;
  OptionSet& options;
  const PathSink& accept;
  const ScanTick& tick;
  const FolderSink& unreadable;
  std::wstring tree;  // ResolvedPath of the named folder, comparable, with a separator
  std::set<std::pair<std::uint64_t, std::uint64_t>> visited;
};

std::wstring Comparable(const std::wstring& resolved) {
  return resolved.empty() ? resolved : kiv::ComparableName(kiv::AddSeparator(resolved));
}

// Returns false when the tick ended the scan.
bool ScanOne(Scan& scan, const std::wstring& folder) {
  kiv::FileFinder finder;
  for (const std::wstring& pattern : scan.patterns) {
    std::wstring name = finder.First(Join(folder, pattern));
    if (finder.Unreadable()) {
      if (scan.unreadable) {
        scan.unreadable(folder);
      }
      return true;
    }
    for (; !name.empty(); name = finder.Next()) {
      if (scan.tick && !scan.tick()) {
        return false;
      }
      std::wstring full = Join(folder, name);
      // The search tells a folder; only a file's attributes are read, to
      // skip a name whose attributes cannot be read.
      if (!finder.IsDirectory() && kiv::FileExists(full)) {
        scan.accept(full);
      }
    }
  }
  if (!scan.options.IsOn(Option::kSubDirectory)) {
    return true;
  }
  for (std::wstring name = finder.First(Join(folder, L"*.*")); !name.empty();
       name = finder.Next()) {
    if (scan.tick && !scan.tick()) {
      return false;
    }
    const std::wstring full = Join(folder, name);
    if (name[0] == L'.' || !finder.IsDirectory()) {
      continue;
    }
    if (kiv::IsLink(full)) {
      const std::wstring target = Comparable(kiv::ResolvedPath(full));
      if (scan.tree.empty() || target.compare(0, scan.tree.size(), scan.tree) != 0) {
        continue;  // a link out of the named tree
      }
    }
    kiv::FileStamp stamp;
    if (kiv::ReadFileStamp(full, &stamp) &&
        !scan.visited.emplace(stamp.volume, stamp.index).second) {
      continue;  // reached before through another link
    }
    if (!ScanOne(scan, full)) {
      return false;
    }
  }
  return true;
}

}  // namespace

void ScanFolder(const std::vector<std::wstring>& patterns, const std::wstring& folder,
                OptionSet& options, const PathSink& accept, const ScanTick& tick,
                const FolderSink& unreadable) {
  Scan scan{patterns, options, accept, tick, unreadable, Comparable(kiv::ResolvedPath(folder)), {}};
  kiv::FileStamp stamp;
  if (kiv::ReadFileStamp(folder, &stamp)) {
    scan.visited.emplace(stamp.volume, stamp.index);
  }
  ScanOne(scan, folder);
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
