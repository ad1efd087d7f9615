#include "cli/selection.h"

#include <cwchar>

#include "base/file_identity.h"
#include "base/path.h"
#include "base/unicode.h"
#include "engine/output_naming.h"

namespace cli {

std::vector<std::wstring> SplitPathList(const std::string& bytes, bool nulSeparated) {
  std::vector<std::wstring> paths;
  const char end = nulSeparated ? '\0' : '\n';
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start < bytes.size()) {
    size_t stop = bytes.find(end, start);
    if (stop == std::string::npos) {
      stop = bytes.size();
    }
    size_t length = stop - start;
    if (!nulSeparated && length > 0 && bytes[start + length - 1] == '\r') {
      --length;
    }
    if (length > 0) {
      paths.push_back(kiv::Utf8ToWide(bytes.substr(start, length)));
    }
    start = stop + 1;
  }
  return paths;
}

namespace {

// One letter in lower case, for the letters whose case Windows' file names
// ignore most often: Latin (ASCII, Latin-1, Latin Extended-A), Greek,
// Cyrillic and the full-width Latin letters. A fixed table rather than the
// locale's, so that every machine computes the same key.
wchar_t FoldLetter(wchar_t c) {
  const uint32_t u = static_cast<uint32_t>(c);
  if ((u >= L'A' && u <= L'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7) ||
      (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) || (u >= 0x410 && u <= 0x42F) ||
      (u >= 0xFF21 && u <= 0xFF3A)) {
    return static_cast<wchar_t>(u + 0x20);
  }
  if (u >= 0x400 && u <= 0x40F) {
    return static_cast<wchar_t>(u + 0x50);
  }
  const bool evenUpper = (u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177);
  const bool oddUpper = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
  if ((evenUpper && u % 2 == 0) || (oddUpper && u % 2 == 1)) {
    return static_cast<wchar_t>(u + 1);
  }
  return u == 0x178 ? static_cast<wchar_t>(0xFF) : c;
}

}  // namespace

std::wstring ShardKey(const std::wstring& path) {
#ifdef _WIN32
  const std::wstring outputPath = kiv::ComparableName(path);
#else
  const std::wstring& outputPath = path;
#endif
  // The folders with "." and ".." resolved on the text.
  std::vector<std::wstring> names;
  std::wstring name;
  for (size_t i = 0; i <= outputPath.size(); ++i) {
    if (i < outputPath.size() && !kiv::IsPathSeparator(outputPath[i])) {
      name += outputPath[i];
      continue;
    }
    if (name == L"..") {
      if (!names.empty()) {
        names.pop_back();
      }
    } else if (name != L"." && (!name.empty() || names.empty())) {
      names.push_back(name);  // an empty first name keeps a leading "/"
    }
    name.clear();
  }
  std::wstring key;
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    key += names[i] + L"/";
  }
  if (!names.empty()) {
    const std::wstring& file = names.back();
    const std::wstring extension = kiv::FindExtension(file);
    key += StripRenameCounter(file.substr(0, file.size() - extension.size())) + extension;
  }
  for (wchar_t& c : key) {
    c = FoldLetter(c);
  }
  return key;
}

std::wstring PartKey(const std::optional<std::uint64_t>& folderNumber,
                     const std::wstring& subfolder, const std::wstring& pngName) {
  if (!folderNumber) {
    return ShardKey(subfolder.empty() ? pngName : kiv::AddSeparator(subfolder) + pngName);
  }
  wchar_t number[24];
  std::swprintf(number, sizeof number / sizeof number[0], L"#%llx/",
                static_cast<unsigned long long>(*folderNumber));
  return number + ShardKey(pngName);
}

uint64_t Fnv1a64(const std::wstring& text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char byte : kiv::WideToUtf8(text)) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

int PartOf(const std::wstring& shardKey, int count) {
  // The high 64 bits of the 128-bit product, from 32-bit halves: with count
  // below 2^32 no partial product overflows.
  const uint64_t hash = Fnv1a64(shardKey);
  const uint64_t n = static_cast<uint64_t>(count);
  const uint64_t high = (hash >> 32) * n + (((hash & 0xFFFFFFFFu) * n) >> 32);
  return static_cast<int>(high >> 32) + 1;
}

bool InShard(const Shard& shard, const std::wstring& shardKey) {
  return PartOf(shardKey, shard.count) == shard.part;
}

std::wstring TreeName(const std::wstring& folder) {
  std::vector<std::wstring> names;
  std::wstring name;
  auto take = [&] {
    if (name == L"..") {
      if (!names.empty()) {
        names.pop_back();
      }
    } else if (!name.empty() && name != L".") {
      names.push_back(name);
    }
    name.clear();
  };
  for (const wchar_t c : folder) {
    if (kiv::IsPathSeparator(c)) {
      take();
    } else {
      name += c;
    }
  }
  take();
  if (names.empty()) {
    return std::wstring();
  }
#ifdef _WIN32
  // A drive ("D:") is a root, not a folder name.
  if (names.size() == 1 && names.back().back() == L':') {
    return std::wstring();
  }
#endif
  return names.back();
}

std::wstring TreeSubfolder(const std::wstring& treeName, const std::wstring& below) {
  const std::wstring inner = kiv::RemoveFileSpec(below);
  if (treeName.empty()) {
    return inner;
  }
  return inner.empty() ? treeName : kiv::AddSeparator(treeName) + inner;
}

}  // namespace cli
