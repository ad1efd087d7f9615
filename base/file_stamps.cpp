// kiv::ReadFileStamps: many stamps, one listing per folder.
#include <unordered_map>

#include "base/file_identity.h"
#include "base/path.h"

namespace kiv {

std::vector<std::optional<FileStamp>> ReadFileStamps(const std::vector<std::wstring>& paths) {
  using Entries = std::unordered_map<std::wstring, std::optional<FileStamp>>;
  const auto folderOf = [](const std::wstring& path) {
    return path.substr(0, path.size() - FindFileName(path).size());
  };
  std::unordered_map<std::wstring, Entries> folders;
  for (const std::wstring& path : paths) {
    folders[folderOf(path)][ComparableName(FindFileName(path))];
  }
  for (auto& [folder, entries] : folders) {
    ReadFolderIdentities(folder, entries);
  }
  std::vector<std::optional<FileStamp>> stamps;
  stamps.reserve(paths.size());
  for (const std::wstring& path : paths) {
    std::optional<FileStamp> stamp =
        folders.at(folderOf(path)).at(ComparableName(FindFileName(path)));
    if (!stamp) {
      FileStamp own;
      if (ReadFileStamp(path, &own)) {
        stamp = own;
      }
    }
    stamps.push_back(stamp);
  }
  return stamps;
}

}  // namespace kiv
