// Test support: a private folder under the system's temporary folder, removed with everything
// in it when the object goes away, and whole-file helpers that go through kiv::File so that
// they handle any file name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testimg {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // The folder joined with `name` by the platform's separator.
  std::wstring operator/(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// The whole file, or an empty vector when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);

// The names in `folder`, sorted, without "." and "..".
std::vector<std::wstring> FolderNames(const std::wstring& folder);

}  // namespace testimg
