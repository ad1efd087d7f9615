// File stamps over stat(2); names compare byte for byte.
#include <sys/stat.h>

#include "base/file_identity.h"
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
  stamp->modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

std::wstring ComparableName(const std::wstring& name) {
  return name;
}

}  // namespace kiv
