#include "engine/remove_source.h"

#include "base/path.h"

bool MayRemoveSource(const std::wstring& source, const std::wstring& outputPath,
                     const std::wstring& writtenPath) {
  if (source.empty() || writtenPath.empty()) {
    return false;
  }
  if (kiv::SamePath(source, outputPath) || kiv::SamePath(source, writtenPath)) {
    return false;
  }
  return kiv::FileExists(writtenPath) && !kiv::IsDirectory(writtenPath);
}
