#include "engine/run_outputs.h"

#include "base/path.h"
#include "base/unicode.h"

namespace {

// Equal for names the file system may take as one; SamePath then decides.
std::wstring NameKey(const std::wstring& path) {
#ifdef _WIN32
  std::wstring key = path;
  for (wchar_t& c : key) {
    c = kiv::FoldCase(c);
  }
  return key;
#else
  return path;
#endif
}

}  // namespace

int RunOutputs::WriterOf(const std::wstring& path) const {
  const auto found = written_.find(NameKey(path));
  if (found == written_.end()) {
    return -1;
  }
  int writer = -1;
  for (const auto& [name, row] : found->second) {
    if (kiv::SamePath(name, path)) {
      writer = row;
    }
  }
  return writer;
}

RunOutputs::RowDecision RunOutputs::Decide(int row, int mode, const std::wstring& output) {
  RowDecision result;
  result.earlierRow = WriterOf(output);
  result.decision = DecideOverwrite(mode, output, [this](const std::wstring& path) {
    return WriterOf(path) >= 0 || kiv::FileExists(path);
  });
  if (result.decision.action == OverwriteDecision::Action::kWrite) {
    written_[NameKey(result.decision.path)].emplace_back(result.decision.path, row);
  }
  return result;
}
