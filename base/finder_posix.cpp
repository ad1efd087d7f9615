// kiv::FileFinder over opendir/readdir, matching names with MatchWildcard.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/file_finder.h"
#include "base/unicode.h"

namespace kiv {

struct FileFinder::Search {
  DIR* dir = nullptr;
  std::string folder;  // UTF-8, with a trailing slash
  std::wstring wildcard;
  bool is_directory = false;

  ~Search() {
    if (dir != nullptr) {
      closedir(dir);
    }
  }

  // The next entry that matches, or the empty string.
  std::wstring NextMatch() {
    is_directory = false;
    while (dirent* entry = readdir(dir)) {
      const std::wstring name = Utf8ToWide(entry->d_name);
      if (!MatchWildcard(wildcard, name)) {
        continue;
      }
      if (entry->d_type == DT_DIR) {
        is_directory = true;
      } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
        struct stat st;
        is_directory = stat((folder + entry->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      }
      return name;
    }
    return std::wstring();
  }
};

FileFinder::FileFinder() = default;

FileFinder::~FileFinder() = default;

std::wstring FileFinder::First(const std::wstring& pattern) {
  Close();
  unreadable_ = false;
  const std::size_t slash = pattern.rfind(L'/');
  std::wstring folder;
  if (slash == std::wstring::npos) {
    folder = L"./";
  } else {
    folder = pattern.substr(0, slash + 1);
  }
  auto search = std::make_unique<Search>();
  search->folder = WideToUtf8(folder);
  search->wildcard = slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
  search->dir = opendir(search->folder.c_str());
  if (search->dir == nullptr) {
    unreadable_ = errno == EACCES || errno == EPERM;
    return std::wstring();
  }
  std::wstring name = search->NextMatch();
  if (!name.empty()) {
    search_ = std::move(search);
  }
  return name;
}

std::wstring FileFinder::Next() {
  if (!search_) {
    return std::wstring();
  }
  std::wstring name = search_->NextMatch();
  if (name.empty()) {
    search_.reset();
  }
  return name;
}

bool FileFinder::IsDirectory() const {
  return search_ && search_->is_directory;
}

void FileFinder::Close() {
  search_.reset();
}

}  // namespace kiv
