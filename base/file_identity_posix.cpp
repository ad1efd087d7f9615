// File stamps over stat(2) and utimensat(2); names compare byte for byte.
#include "base/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "base/unicode.h"

namespace kiv {

bool ReadFileStamp(const std::wstring& path, FileStamp* stamp) {
  struct stat st;
  if (path.empty() || stat(WideToUtf8(path).c_str(), &st) != 0) {
    return false;
  }
  stamp->volume = static_cast<std::uint64_t>(st.st_dev);
  stamp->index = static_cast<std::uint64_t>(st.st_ino);
  stamp->size = static_cast<std::uint64_t>(st.st_size);
  stamp->seconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  stamp->nanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
  stamp->links = static_cast<std::uint64_t>(st.st_nlink);
  return true;
}

bool ReadSizeAndTime(const std::wstring& path, FileStamp* stamp) {
  return ReadFileStamp(path, stamp);  // stat(2) is as cheap as it gets
}

bool SetModificationTime(const std::wstring& path, const FileStamp& stamp) {
  if (path.empty() || stamp.nanoseconds > 999999999u) {
    return false;
  }
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(stamp.seconds);
  times[0].tv_nsec = static_cast<long>(stamp.nanoseconds);
  times[1] = times[0];
  return utimensat(AT_FDCWD, WideToUtf8(path).c_str(), times, 0) == 0;
}

bool ReadFolderIdentities(const std::wstring&,
                          std::unordered_map<std::wstring, std::optional<FileStamp>>&) {
  return false;
}

std::wstring ComparableName(const std::wstring& name) {
  return name;
}

}  // namespace kiv
