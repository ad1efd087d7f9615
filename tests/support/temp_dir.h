// Test support: a private folder under the system's temporary folder, removed with everything
// in it when the object goes away, and whole-file helpers that go through kiv::File and
// kiv::FileFinder so that they handle any file name.
//
// Threads: each TempDir belongs to the thread that made it; the functions may be called from
// any thread. Failures are results (false, empty), never exceptions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testimg {

class TempDir {
 public:
  // Creates a new, empty folder; path() is empty if that failed.
  TempDir();
  // Removes the folder and everything below it, read-only files included.
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
// Writes `bytes` as the whole file; true when every byte was written and the file closed.
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);

// The names kiv::FileFinder lists for `pattern` (a folder joined with a wildcard name), sorted,
// without "." and "..".
std::vector<std::wstring> ListNames(const std::wstring& pattern);
// The names in `folder`, sorted, without "." and "..".
std::vector<std::wstring> FolderNames(const std::wstring& folder);

// Makes a file read-only (true on success) or writable again.
bool SetReadOnly(const std::wstring& path, bool readOnly);

// Makes every file below `folder` deletable: on Windows a read-only file cannot be deleted, so
// the attribute is cleared; elsewhere nothing needs doing. Used by ~TempDir.
void MakeFilesDeletable(const std::wstring& folder);

}  // namespace testimg
