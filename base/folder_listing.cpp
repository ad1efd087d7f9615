// kiv::FolderListing: one listing per folder, read through kiv::FileFinder.
#include "base/folder_listing.h"

#include "base/file_finder.h"
#include "base/path.h"

namespace kiv {
namespace {

#ifdef _WIN32
constexpr bool kListOutputs = true;
#else
// A POSIX lookup of a missing name costs no folder search: the disk is asked.
constexpr bool kListOutputs = false;
#endif

std::wstring FolderPart(const std::wstring& path, const std::wstring& name) {
  return path.substr(0, path.size() - name.size());
}

// Names a listing cannot judge: a short 8.3 alias ("PHOTO~1.PNG") may name a
// listed file by another spelling, and Windows drops trailing dots and
// blanks before it looks a name up.
bool Judgeable(const std::wstring& name) {
  return !name.empty() && name.find(L'~') == std::wstring::npos && name.back() != L'.' &&
         name.back() != L' ' && !IsPathSeparator(name.back());
}

}  // namespace

FolderListing::Folder& FolderListing::FolderOf(const std::wstring& folder) {
  const auto found = folders_.find(ComparableName(folder));
  if (found != folders_.end()) {
    return found->second;
  }
  Folder& made = folders_[ComparableName(folder)];
  FileFinder finder;
  // An existing folder lists at least its own entries; an empty answer is a
  // folder missing or unreadable, left to the disk.
  std::wstring name =
      finder.First((folder.empty() ? std::wstring(L".") + kPathSeparator : folder) + L"*");
  if (name.empty() || finder.Unreadable()) {
    return made;
  }
  for (; !name.empty(); name = finder.Next()) {
    if (made.names.size() == kMaxNames) {
      made.names.clear();
      return made;
    }
    made.names.insert(ComparableName(name));
  }
  made.listed = true;
  return made;
}

bool FolderListing::SurelyAbsent(const std::wstring& path) {
  const std::wstring name = FindFileName(path);
  if (!Judgeable(name)) {
    return false;
  }
  const std::lock_guard<std::mutex> hold(lock_);
  const Folder& folder = FolderOf(FolderPart(path, name));
  return folder.listed && folder.names.count(ComparableName(name)) == 0;
}

void FolderListing::Added(const std::wstring& path) {
  const std::wstring name = FindFileName(path);
  if (name.empty()) {
    return;
  }
  const std::lock_guard<std::mutex> hold(lock_);
  const auto found = folders_.find(ComparableName(FolderPart(path, name)));
  if (found != folders_.end() && found->second.listed) {
    found->second.names.insert(ComparableName(name));
  }
}

void FolderListing::Forget() {
  const std::lock_guard<std::mutex> hold(lock_);
  folders_.clear();
}

FolderListing& OutputListings() {
  static FolderListing listings;
  return listings;
}

bool ListedFileExists(const std::wstring& path) {
  if (kListOutputs && OutputListings().SurelyAbsent(path)) {
    return false;
  }
  return FileExists(path);
}

bool ReadListedStamp(const std::wstring& path, FileStamp* stamp) {
  if (kListOutputs && OutputListings().SurelyAbsent(path)) {
    return false;
  }
  return ReadFileStamp(path, stamp);
}

void NoteFileMade(const std::wstring& path) {
  if (kListOutputs) {
    OutputListings().Added(path);
  }
}

void ForgetFolderListings() {
  OutputListings().Forget();
}

}  // namespace kiv
