// Test support: a private folder under the system's temporary folder,
// removed with everything in it when the object goes away, and whole-file
// helpers that go through kiv::File (so they handle any file name).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiv::test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::wstring& path() const { return path_; }
  // The folder joined with `name`.
  std::wstring operator/(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// The system's temporary folder (POSIX: $TMPDIR or /tmp).
std::wstring TemporaryFolder();

// Removes `path` and, for a folder, everything below it.
void RemoveTree(const std::wstring& path);

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

// The names a FileFinder lists for `pattern`, sorted, without "." and "..".
std::vector<std::wstring> ListNames(const std::wstring& pattern);

// Makes a file read-only (true on success) or writable again.
bool SetReadOnly(const std::wstring& path, bool read_only);

}  // namespace kiv::test
