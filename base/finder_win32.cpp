// kiv::FileFinder over FindFirstFileW / FindNextFileW.
#include <windows.h>

#include "base/file_finder.h"
#include "base/long_path.h"

namespace kiv {

struct FileFinder::Search {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};

  ~Search() {
    if (handle != INVALID_HANDLE_VALUE) {
      FindClose(handle);
    }
  }
  bool IsDirectory() const { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

FileFinder::FileFinder() = default;

FileFinder::~FileFinder() = default;

std::wstring FileFinder::First(const std::wstring& pattern) {
  Close();
  unreadable_ = false;
  if (pattern.empty()) {
    return std::wstring();
  }
  auto search = std::make_unique<Search>();
  search->handle = FindFirstFileW(SystemPath(pattern).c_str(), &search->data);
  if (search->handle == INVALID_HANDLE_VALUE) {
    unreadable_ = GetLastError() == ERROR_ACCESS_DENIED;
    return std::wstring();
  }
  search_ = std::move(search);
  return search_->data.cFileName;
}

std::wstring FileFinder::Next() {
  if (!search_) {
    return std::wstring();
  }
  if (!FindNextFileW(search_->handle, &search_->data)) {
    search_.reset();
    return std::wstring();
  }
  return search_->data.cFileName;
}

bool FileFinder::IsDirectory() const {
  return search_ && search_->IsDirectory();
}

void FileFinder::Close() {
  search_.reset();
}

}  // namespace kiv
