// A file's size and modification time, and setting that time on another
// file (morvane-cli --keep-time gives a PNG its source's time).
//
// Threads: any; the answers are those of the disk at the moment of the call.
#pragma once

#include <cstdint>
#include <string>

namespace kiv {

struct FileStamp {
  std::uint64_t size = 0;
  // Modification time: seconds since 1970-01-01 UTC (negative before) and
  // the nanoseconds within that second, 0 to 999,999,999. Windows keeps
  // 100-nanosecond steps.
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
};

// Reads the size and modification time of the file at `path` into `stamp`.
// False (and `stamp` unchanged) when there is no such file or it cannot be
// examined.
bool ReadFileStamp(const std::wstring& path, FileStamp* stamp);

// Gives the file at `path` the modification time of `stamp` (its size is
// not used; the access time becomes the same). True on success.
bool SetModificationTime(const std::wstring& path, const FileStamp& stamp);

}  // namespace kiv
