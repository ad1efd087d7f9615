#include "cli/selection.h"

#include "base/path.h"
#include "base/unicode.h"

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

std::wstring ShardPath(const std::wstring& given, const std::wstring& below) {
  std::wstring path = below.empty() ? given : kiv::AddSeparator(given) + below;
  for (wchar_t& c : path) {
    if (kiv::IsPathSeparator(c)) {
      c = L'/';
    }
  }
  return path;
}

uint64_t Fnv1a64(const std::wstring& text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char byte : kiv::WideToUtf8(text)) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

int PartOf(const std::wstring& shardPath, int count) {
  // The high 64 bits of the 128-bit product, from 32-bit halves: with count
  // below 2^32 no partial product overflows.
  const uint64_t hash = Fnv1a64(shardPath);
  const uint64_t n = static_cast<uint64_t>(count);
  const uint64_t high = (hash >> 32) * n + (((hash & 0xFFFFFFFFu) * n) >> 32);
  return static_cast<int>(high >> 32) + 1;
}

bool InShard(const Shard& shard, const std::wstring& shardPath) {
  return PartOf(shardPath, shard.count) == shard.part;
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
