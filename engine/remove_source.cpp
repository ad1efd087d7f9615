#include "engine/remove_source.h"

#include "base/path.h"

bool MayRemoveSource(const std::wstring& source, const kiv::FileStamp& loaded,
                     const std::wstring& outputPath, const std::wstring& writtenPath,
                     const kiv::FileStamp& written) {
  if (source.empty() || writtenPath.empty()) {
    return false;
  }
  if (kiv::SamePath(source, outputPath) || kiv::SamePath(source, writtenPath)) {
    return false;
  }
  kiv::FileStamp now;
  kiv::FileStamp png;
  return !kiv::IsDirectory(writtenPath) && kiv::ReadFileStamp(writtenPath, &png) &&
         png.Unchanged(written) && kiv::ReadFileStamp(source, &now) && !now.SameFile(png) &&
         now.Unchanged(loaded);
}
