// The fuzz targets of the program's other inputs: the settings file and the start-up command
// line with the block that hands paths to the running window.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/startup/command_line.h"
#include "app/startup/drop_block.h"
#include "base/file.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"
#include "settings/data_file.h"
#include "settings/data_node.h"
#include "settings/file_compressed.h"

namespace fuzzing {
namespace {

// ---- settings -------------------------------------------------------------------------------

bool SameTree(const kiv::DataNode& a, const kiv::DataNode& b) {
  if (a.type != b.type || a.values() != b.values() || a.children().size() != b.children().size()) {
    return false;
  }
  for (const auto& [name, child] : a.children()) {
    const auto other = b.children().find(name);
    if (other == b.children().end() || !SameTree(*child, *other->second)) {
      return false;
    }
  }
  return true;
}

// A tree, once read, must write and read back as itself.
void CheckTreeRoundTrip(const kiv::DataNode& tree) {
  std::vector<std::uint8_t> serialised;
  kiv::File out;
  out.AttachVector(serialised);
  FUZZ_CHECK("settings", tree.Write(out));
  out.Close();

  kiv::File in;
  in.AttachVector(serialised);
  kiv::DataNode again;
  FUZZ_CHECK("settings", again.Read(in));
  FUZZ_CHECK("settings", in.Remaining() == 0);
  FUZZ_CHECK("settings", SameTree(tree, again));

  // The compressed block of the settings file carries the bytes unchanged.
  std::vector<std::uint8_t> block;
  kiv::File packed;
  packed.AttachVector(block);
  FUZZ_CHECK("settings", kiv::WriteCompressed(packed, serialised.data(),
                                              static_cast<std::uint32_t>(serialised.size())));
  packed.Close();
  kiv::File unpacked;
  unpacked.AttachVector(block);
  std::vector<std::uint8_t> inflated;
  FUZZ_CHECK("settings", kiv::ReadCompressed(unpacked, inflated));
  FUZZ_CHECK("settings", inflated == serialised);
}

std::filesystem::path& ScratchSettingsFile() {
  static std::filesystem::path file =
      std::filesystem::temp_directory_path() /
      ("morvane-fuzz-settings-" + std::to_string(static_cast<long>(getpid())) + ".dat");
  return file;
}

void RemoveScratchSettingsFile() {
  std::error_code ignored;
  std::filesystem::remove(ScratchSettingsFile(), ignored);
}

// A file of this process's own for the settings loader; removed when the process ends normally.
const std::wstring& ScratchSettingsPath() {
  static const std::wstring path = [] {
    std::atexit(RemoveScratchSettingsFile);
    return ScratchSettingsFile().wstring();
  }();
  return path;
}

int SettingsTarget(const std::uint8_t* data, std::size_t size) {
  // The tree on its own, as the settings file holds it once inflated.
  {
    std::vector<std::uint8_t> bytes(data, data + size);
    kiv::File stream;
    stream.AttachVector(bytes);
    kiv::DataNode tree;
    tree.Read(stream);
    CheckTreeRoundTrip(tree);
  }
  // The whole file, read from disk.
  const std::wstring& path = ScratchSettingsPath();
  {
    kiv::File file;
    FUZZ_CHECK("settings", file.OpenWrite(path));
    FUZZ_CHECK("settings", file.Write(static_cast<std::uint32_t>(size), data) == size);
    FUZZ_CHECK("settings", file.Close());
  }
  std::int32_t header = 0;
  if (size >= 4) {
    header = static_cast<std::int32_t>(static_cast<uint32_t>(data[0]) | data[1] << 8 |
                                       data[2] << 16 | static_cast<uint32_t>(data[3]) << 24);
  }
  FUZZ_CHECK("settings", kiv::ReadDataFileType(path) == header);
  kiv::DataNode root(2);
  FUZZ_CHECK("settings", kiv::LoadDataFile(path, root));
  CheckTreeRoundTrip(root);
  return 0;
}

// ---- start-up -------------------------------------------------------------------------------

// The input as UTF-16LE code units, pairs of surrogates joined where wchar_t holds more.
std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  std::wstring out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const uint32_t c = units[i];
    if (sizeof(wchar_t) > 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() &&
        units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
      ++i;
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
  }
  return out;
}

std::size_t Utf16Length(const std::wstring& s) {
  std::size_t n = 0;
  for (wchar_t c : s) {
    n += static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
  }
  return n;
}

int CommandLineTarget(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = WideFromBytes(data, size);
  const std::vector<std::wstring> paths = morvane::SplitCommandLine(text);
  const std::wstring untilNul = text.substr(0, text.find(L'\0'));
  std::vector<std::wstring> kept;
  std::size_t expectedBytes = morvane::kDropBlockHeaderBytes + 2;
  for (const std::wstring& path : paths) {
    FUZZ_CHECK("command_line", path.find(L'\0') == std::wstring::npos);
    FUZZ_CHECK("command_line", untilNul.find(path) != std::wstring::npos);
    if (!path.empty()) {
      kept.push_back(path);
      expectedBytes += 2 * Utf16Length(path) + 2;
    }
  }
  const std::vector<std::uint8_t> block = morvane::PackDropBlock(paths);
  if (kept.empty()) {
    FUZZ_CHECK("command_line", block.empty());
    return 0;
  }
  FUZZ_CHECK("command_line", block.size() == expectedBytes);
  const auto read = morvane::ReadDropBlock(block.data(), block.size());
  FUZZ_CHECK("command_line", read.has_value());
  FUZZ_CHECK("command_line", *read == kept);
  return 0;
}

int DropBlockTarget(const std::uint8_t* data, std::size_t size) {
  const auto paths = morvane::ReadDropBlock(data, size);
  if (!paths) {
    return 0;
  }
  for (const std::wstring& path : *paths) {
    FUZZ_CHECK("drop_block", !path.empty());
    FUZZ_CHECK("drop_block", path.find(L'\0') == std::wstring::npos);
  }
  if (paths->empty()) {
    return 0;
  }
  // What was accepted hands over again unchanged.
  const std::vector<std::uint8_t> again = morvane::PackDropBlock(*paths);
  const auto reread = morvane::ReadDropBlock(again.data(), again.size());
  FUZZ_CHECK("drop_block", reread.has_value() && *reread == *paths);
  return 0;
}

}  // namespace

const std::vector<Target>& InputTargets() {
  static const std::vector<Target> targets = {
      {"settings", SettingsTarget},
      {"command_line", CommandLineTarget},
      {"drop_block", DropBlockTarget},
  };
  return targets;
}

}  // namespace fuzzing
