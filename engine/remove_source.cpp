#include "engine/remove_source.h"

#include "base/path.h"

bool MayRemoveSource(const std::wstring& source, const kiv::FileStamp& loaded,
                     const std::wstring& outputPath, const std::wstring& writtenPath) {
  if (source.empty() || writtenPath.empty()) {
    return false;
  }
  if (kiv::SamePath(source, outputPath) || kiv::SamePath(source, writtenPath)) {
    return false;
  }
  kiv::FileStamp now;
  kiv::FileStamp written;
  return !kiv::IsDirectory(writtenPath) && kiv::ReadFileStamp(writtenPath, &written) &&
         kiv::ReadFileStamp(source, &now) && !now.SameFile(written) && now.Unchanged(loaded);
}
