#include "tests/settings/scratch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>

#include "settings/file.h"
#include "settings/file_finder.h"
#include "settings/path.h"

namespace kiv::test {

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"morvane-settings-test-%llx-%u",
                  static_cast<unsigned long long>(ticks), counter.fetch_add(1));
    const std::wstring candidate = AddSeparator(TemporaryFolder()) + name;
    if (MakeDirectory(candidate)) {
      path_ = candidate;
    }
  }
}

ScratchDir::~ScratchDir() {
  if (!path_.empty()) {
    RemoveTree(path_);
  }
}

std::wstring ScratchDir::operator/(const std::wstring& name) const {
  return AddSeparator(path_) + name;
}

void RemoveTree(const std::wstring& path) {
  if (IsDirectory(path)) {
    std::vector<std::wstring> names;
    FileFinder finder;
    for (std::wstring name = finder.First(AddSeparator(path) + L"*"); !name.empty();
         name = finder.Next()) {
      if (name != L"." && name != L"..") {
        names.push_back(name);
      }
    }
    finder.Close();
    for (const std::wstring& name : names) {
      const std::wstring full = AddSeparator(path) + name;
      SetReadOnly(full, false);
      RemoveTree(full);
    }
    RemoveFolder(path);
  } else {
    RemoveFile(path);
  }
}

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) {
  File file;
  std::vector<std::uint8_t> bytes;
  if (file.OpenRead(path)) {
    bytes.resize(static_cast<std::size_t>(file.size()));
    bytes.resize(file.Read(static_cast<std::uint32_t>(bytes.size()), bytes.data()));
  }
  return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  File file;
  if (!file.OpenWrite(path)) {
    return false;
  }
  const auto size = static_cast<std::uint32_t>(bytes.size());
  return (size == 0 || file.Write(size, bytes.data()) == size) && file.Close();
}

std::vector<std::wstring> ListNames(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  FileFinder finder;
  for (std::wstring name = finder.First(pattern); !name.empty(); name = finder.Next()) {
    if (name != L"." && name != L"..") {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kiv::test
