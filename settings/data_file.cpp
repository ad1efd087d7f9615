#include "settings/data_file.h"

#include <vector>

#include "base/file.h"
#include "base/path.h"
#include "base/replacing_file.h"
#include "settings/file_compressed.h"
#include "settings/little_endian.h"

namespace kiv {

bool SaveDataFile(const DataNode& root, const std::wstring& path) {
  std::vector<std::uint8_t> tree;
  {
    File memory;
    memory.AttachVector(tree);
    root.Write(memory);
  }
  ReplacingFile out(path);
  if (!out.IsOpen()) {
    return false;
  }
  File& stream = out.stream();
  if (!le::WriteI32(stream, root.type) ||
      !WriteCompressed(stream, tree.data(), static_cast<std::uint32_t>(tree.size()))) {
    return false;  // the destructor removes the temporary; the old file stays
  }
  // A settings file the user made read-only is how settings are frozen.
  return out.Commit(ReplacingFile::ReadOnlyTarget::kKeep);
}

bool LoadDataFile(const std::wstring& path, DataNode& root) {
  File stream;
  if (!stream.OpenRead(path)) {
    return false;
  }
  std::int32_t tag = 0;
  le::ReadI32(stream, &tag);
  root.type = tag;
  std::vector<std::uint8_t> tree;
  ReadCompressed(stream, tree);  // a damaged block leaves `tree` empty
  stream.AttachVector(tree);
  root.Read(stream);
  return true;
}

std::int32_t ReadDataFileType(const std::wstring& path) {
  File stream;
  if (!stream.OpenRead(path)) {
    return 0;
  }
  std::int32_t tag = 0;
  le::ReadI32(stream, &tag);
  return tag;
}

std::wstring DefaultDataFilePath() {
  const std::wstring module = GetModulePath();
  return module.empty() ? std::wstring() : RenameExtension(module, L".dat");
}

}  // namespace kiv
