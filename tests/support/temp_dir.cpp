// Test support: temporary folders and whole-file helpers.
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "base/file.h"
#include "base/file_finder.h"
#include "base/path.h"

namespace testimg {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  // The root's name is plain ASCII, so the standard library converts it on every platform.
  std::filesystem::path root =
      std::filesystem::temp_directory_path() /
      ("morvane-test-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1)));
  std::error_code failed;
  if (std::filesystem::create_directories(root, failed)) {
    path_ = root.wstring();
  }
}

TempDir::~TempDir() {
  if (path_.empty()) {
    return;
  }
  MakeFilesDeletable(path_);
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

std::wstring TempDir::operator/(const std::wstring& name) const {
  return kiv::AddSeparator(path_) + name;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
  kiv::File file;
  std::vector<uint8_t> bytes;
  if (!file.OpenRead(path)) {
    return bytes;
  }
  bytes.resize(static_cast<size_t>(file.size()));
  if (!bytes.empty()) {
    bytes.resize(file.Read(static_cast<uint32_t>(bytes.size()), bytes.data()));
  }
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  kiv::File file;
  if (!file.OpenWrite(path)) {
    return false;
  }
  const bool written = bytes.empty() || file.Write(static_cast<uint32_t>(bytes.size()),
                                                   bytes.data()) == bytes.size();
  return file.Close() && written;
}

std::vector<std::wstring> ListNames(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  kiv::FileFinder finder;
  for (std::wstring name = finder.First(pattern); !name.empty(); name = finder.Next()) {
    if (name != L"." && name != L"..") {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  return ListNames(kiv::AddSeparator(folder) + L"*.*");
}

}  // namespace testimg
