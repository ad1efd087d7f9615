#include "cli/collect.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "base/file.h"
#include "base/file_error.h"
#include "base/file_finder.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "base/replacing_file.h"
#include "cli/selection.h"
#include "cli/shown_path.h"
#include "engine/memory_options.h"
#include "engine/output_naming.h"
#include "engine/registration.h"

namespace cli {

std::wstring ReadLists(const Request& request, Terminal& terminal,
                       std::vector<std::wstring>& paths) {
  for (const std::wstring& list : request.filesFrom) {
    std::string bytes;
    if (list == L"-") {
      if (!terminal.ReadInput(&bytes, kMaxListBytes)) {
        return L"cannot read the list of paths from standard input";
      }
    } else {
      kiv::File file;
      if (!file.OpenRead(terminal.FullPath(list)) || file.size() > kMaxListBytes) {
        return L"cannot read the list of paths " + list;
      }
      bytes.resize(static_cast<size_t>(file.size()));
      for (size_t done = 0; done < bytes.size();) {
        const uint32_t got = file.Read(static_cast<uint32_t>(bytes.size() - done), &bytes[done]);
        if (got == 0) {
          return L"cannot read the list of paths " + list;
        }
        done += got;
      }
    }
    for (std::wstring& path : SplitPathList(bytes, request.nullSeparated)) {
      paths.push_back(std::move(path));
    }
  }
  return std::wstring();
}

std::vector<int> PartsOf(const std::vector<std::wstring>& partKeys,
                         const std::vector<std::wstring>& sourceLinks, int count) {
  std::vector<size_t> first(partKeys.size());
  std::function<size_t(size_t)> root = [&](size_t i) {
    return first[i] == i ? i : first[i] = root(first[i]);
  };
  std::map<std::wstring, size_t> byKey;
  std::map<std::wstring, size_t> bySource;
  for (size_t i = 0; i < partKeys.size(); ++i) {
    first[i] = i;
    for (auto [key, index] :
         {std::make_pair(&partKeys[i], &byKey), std::make_pair(&sourceLinks[i], &bySource)}) {
      const auto known = index->emplace(*key, i);
      const size_t a = root(known.first->second);
      const size_t b = root(i);
      first[std::max(a, b)] = std::min(a, b);
    }
  }
  // The smallest key of each group.
  std::map<size_t, const std::wstring*> smallest;
  for (size_t i = 0; i < partKeys.size(); ++i) {
    const std::wstring*& key = smallest[root(i)];
    if (key == nullptr || partKeys[i] < *key) {
      key = &partKeys[i];
    }
  }
  std::vector<int> result;
  for (size_t i = 0; i < partKeys.size(); ++i) {
    result.push_back(PartOf(*smallest[root(i)], count));
  }
  return result;
}

namespace {

// Appends to `skipped` the files of `folder` (and, with `subfolders`, of its
// subfolders whose names do not begin with ".", links to folders not
// followed) that the scan did not accept: files of other kinds, the
// program's own temporaries excepted. What `left` says is left out (the
// output folder) is not looked at.
void PassedOver(const std::wstring& folder, bool subfolders, const std::set<std::wstring>& accepted,
                const std::function<bool(const std::wstring&)>& left, const ScanTick& tick,
                std::vector<std::wstring>& skipped) {
  std::vector<std::wstring> below;
  kiv::FileFinder finder;
  for (std::wstring name = finder.First(folder + L"*"); !name.empty(); name = finder.Next()) {
    if (tick && !tick()) {
      return;
    }
    if (name == L"." || name == L"..") {
      continue;
    }
    const std::wstring path = folder + name;
    if (finder.IsDirectory()) {
      if (subfolders && name[0] != L'.' && !kiv::IsLink(path) && !left(path)) {
        below.push_back(kiv::AddSeparator(path));
      }
    } else if (accepted.count(path) == 0 && !kiv::ReplacingFile::IsTemporaryName(name)) {
      skipped.push_back(path);
    }
  }
  finder.Close();
  for (const std::wstring& sub : below) {
    PassedOver(sub, subfolders, accepted, left, tick, skipped);
  }
}

}  // namespace

bool IsUpToDate(const std::wstring& source, const std::wstring& output) {
  kiv::FileStamp from;
  kiv::FileStamp to;
  if (!kiv::ReadFileStamp(source, &from) || !kiv::ReadFileStamp(output, &to)) {
    return false;
  }
  if (from.SameFile(to)) {
    return true;  // a PNG converted in place
  }
  return to.seconds > from.seconds ||
         (to.seconds == from.seconds && to.nanoseconds >= from.nanoseconds);
}

Collected CollectFiles(const Request& request, const std::vector<std::wstring>& named,
                       MemoryOptionSet& options, Terminal& terminal) {
  Collected collected;
  int& missing = collected.missing;
  const std::vector<std::wstring> patterns = RebuildFilterPatterns(options);
  const std::wstring folder =
      OutputFolder(options.IsOn(Option::kOutSrcDirectory), options.GetOptionText(Option::kOutput));
  const bool upper = options.IsOn(Option::kUpperExtension);
  auto partKey = [&](const std::wstring& path, const std::wstring& subfolder) {
    const std::wstring pngName = kiv::FindFileName(OutputPathFor(path, std::wstring(), upper));
    if (!folder.empty()) {
      return PartKey(std::nullopt, subfolder, pngName);
    }
    // Written beside the source: the folder by its file number. A folder
    // that cannot be told (a named file that is missing) is taken as
    // spelled, resolved as far as it exists.
    const std::wstring sourceFolder = kiv::RemoveFileSpec(path);
    kiv::FileStamp stamp;
    if (!kiv::ReadFileStamp(sourceFolder.empty() ? std::wstring(L".") : sourceFolder, &stamp)) {
      return ShardKey(kiv::CanonicalPath(OutputPathFor(path, folder, upper)));
    }
    return PartKey(stamp.index, std::wstring(), pngName);
  };
  auto mine = [&](const std::wstring& path) {
    return !request.shard || InShard(*request.shard, partKey(path, std::wstring()));
  };
  // The scan of a folder that holds the output folder leaves that out (and what lies below it):
  // an earlier run's PNGs there are not sources of this one. An output folder that is the
  // scanned folder itself leaves nothing out.
  const std::wstring outputFolderKey = kiv::ComparableName(folder);
  auto inOutput = [&](const std::wstring& scanned, const std::wstring& path) {
    const std::wstring key = kiv::ComparableName(scanned);
    return outputFolderKey.size() > key.size() &&
           outputFolderKey.compare(0, key.size(), key) == 0 &&
           kiv::ComparableName(path).compare(0, outputFolderKey.size(), outputFolderKey) == 0;
  };
  // A stop asked while registering ends the scan at once.
  const ScanTick tick = [&terminal] { return !terminal.StopRequested(); };
  // A folder that cannot be listed is told once and fails the run.
  std::set<std::wstring> unreadableSeen;
  const FolderSink unreadable = [&](const std::wstring& folder) {
    if (unreadableSeen.insert(folder).second) {
      terminal.Error(L"morvane-cli: cannot read folder " + QuotedPath(folder) +
                     L": permission denied");
      ++missing;
    }
  };
  std::vector<ConvertManager::PendingFile> all;
  for (const std::wstring& given : named) {
    if (terminal.StopRequested()) {
      break;
    }
    const std::wstring full = TidyPath(terminal.FullPath(given));
    if (!kiv::FileExists(full)) {
      const kiv::FileError why = kiv::LastPlatformFileError();
      if (mine(full)) {
        terminal.Error(why == kiv::FileError::kAccessDenied
                           ? L"morvane-cli: cannot read " + QuotedPath(given) +
                                 L": permission denied"
                           : L"morvane-cli: no such file or folder: " + QuotedPath(given));
        ++missing;
      }
      continue;
    }
    const bool isFolder = IsFolderForRegistration(full);
    const size_t before = all.size();
    const std::wstring top = kiv::AddSeparator(full);
    const std::wstring treeName = request.keepTree ? TreeName(full) : std::wstring();
    RegisterDroppedPath(
        patterns, full, options,
        [&](const std::wstring& accepted) {
          if (!isFolder) {
            all.push_back({accepted, std::wstring()});
            return;
          }
          if (inOutput(top, accepted)) {
            return;
          }
          // Found by the scan of `full`, so its path starts with the folder's.
          const std::wstring below = accepted.substr(top.size());
          all.push_back(
              {accepted, request.keepTree ? TreeSubfolder(treeName, below) : std::wstring()});
        },
        tick, unreadable);
    if (isFolder && (!request.shard || request.shard->part == 1)) {
      // Told once, by the first part of a split run.
      std::set<std::wstring> accepted;
      for (size_t i = before; i < all.size(); ++i) {
        accepted.insert(all[i].path);
      }
      PassedOver(
          top, options.IsOn(Option::kSubDirectory), accepted,
          [&](const std::wstring& path) { return inOutput(top, path); }, tick, collected.skipped);
    }
    if (!isFolder && all.size() == before && !terminal.StopRequested() && mine(full)) {
      terminal.Error(L"morvane-cli: skipped, not matched by the filter: " + QuotedPath(given));
    }
  }

  std::vector<ConvertManager::PendingFile> ours;
  if (!request.shard) {
    ours = std::move(all);
  } else {
    std::vector<std::wstring> partKeys;
    std::vector<std::wstring> sourceLinks;
    for (const ConvertManager::PendingFile& file : all) {
      partKeys.push_back(partKey(file.path, file.subfolder));
      // One source however it is named. The identity's equality is the same
      // on every machine, though not its value, and a source named twice is
      // never deleted: the link holds while other parts run.
      kiv::FileStamp stamp;
      sourceLinks.push_back(kiv::ReadFileStamp(file.path, &stamp)
                                ? L"#" + std::to_wstring(stamp.volume) + L":" +
                                      std::to_wstring(stamp.index)
                                : kiv::CanonicalPath(file.path));
    }
    const std::vector<int> parts = PartsOf(partKeys, sourceLinks, request.shard->count);
    for (size_t i = 0; i < all.size(); ++i) {
      if (parts[i] == request.shard->part) {
        ours.push_back(std::move(all[i]));
      } else {
        collected.otherSources.push_back(std::move(all[i].path));
      }
    }
  }
  for (ConvertManager::PendingFile& file : ours) {
    if (request.update) {
      const std::wstring output =
          OutputPathFor(file.path, RowOutputFolder(folder, file.subfolder), upper);
      if (IsUpToDate(file.path, output)) {
        collected.upToDate.push_back({std::move(file.path), output});
        continue;
      }
    }
    collected.files.push_back(std::move(file));
  }
  std::map<std::pair<uint64_t, uint64_t>, std::wstring> firstName;
  std::vector<std::wstring> paths;
  for (const ConvertManager::PendingFile& file : collected.files) {
    paths.push_back(file.path);
  }
  const std::vector<std::optional<kiv::FileStamp>> stamps = kiv::ReadFileStamps(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!stamps[i]) {
      continue;
    }
    const kiv::FileStamp& stamp = *stamps[i];
    const ConvertManager::PendingFile& file = collected.files[i];
    collected.sourceBytes += stamp.size;
    const auto known = firstName.emplace(std::make_pair(stamp.volume, stamp.index), file.path);
    if (!known.second && known.first->second != file.path) {
      collected.alsoNamed.emplace(file.path, known.first->second);
      collected.alsoNamed.emplace(known.first->second, file.path);
    }
  }
  return collected;
}

}  // namespace cli
