#include "app/startup/drop_block.h"

namespace morvane {
namespace {

constexpr std::size_t kWideFlagOffset = 16;

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) {
    out[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  }
}

std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// UTF-16 code units of a wide string: the same units where wchar_t is 16 bits
// wide, surrogate pairs for characters past U+FFFF where it is 32 bits wide.
std::u16string ToUtf16(const std::wstring& s) {
  std::u16string out;
  out.reserve(s.size());
  for (wchar_t wc : s) {
    const auto c = static_cast<std::uint32_t>(wc);
    if (c > 0xFFFF && c <= 0x10FFFF) {
      const std::uint32_t v = c - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c > 0xFFFF ? 0xFFFD : c));
    }
  }
  return out;
}

std::wstring FromUtf16(const std::u16string& s) {
  std::wstring out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::uint32_t c = s[i];
    if (sizeof(wchar_t) > 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() &&
        s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      const std::uint32_t low = s[i + 1];
      out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)));
      ++i;
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> PackDropBlock(const std::vector<std::wstring>& paths) {
  std::vector<std::u16string> units;
  std::size_t size = kDropBlockHeaderBytes + 2;
  for (const std::wstring& path : paths) {
    if (path.empty()) {
      continue;
    }
    units.push_back(ToUtf16(path));
    size += 2 * units.back().size() + 2;
  }
  if (units.empty()) {
    return {};
  }
  std::vector<std::uint8_t> block(size, 0);
  PutU32(block, 0, kDropBlockHeaderBytes);
  PutU32(block, kWideFlagOffset, 1);
  std::size_t at = kDropBlockHeaderBytes;
  for (const std::u16string& path : units) {
    for (char16_t u : path) {
      block[at] = static_cast<std::uint8_t>(u & 0xFF);
      block[at + 1] = static_cast<std::uint8_t>(u >> 8);
      at += 2;
    }
    at += 2;  // the path's terminator, already zero
  }
  return block;  // the list's final terminator is the last zero unit
}

std::optional<std::vector<std::wstring>> ReadDropBlock(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < kDropBlockHeaderBytes + 2 || size > kMaxDropBlockBytes) {
    return std::nullopt;
  }
  const std::uint32_t list = GetU32(data);
  if (list < kDropBlockHeaderBytes || list >= size) {
    return std::nullopt;
  }
  if (GetU32(data + kWideFlagOffset) == 0) {
    return std::nullopt;
  }
  std::vector<std::wstring> paths;
  std::u16string current;
  // Whole code units only: a trailing odd byte can never hold a terminator.
  for (std::size_t at = list; at + 2 <= size; at += 2) {
    const auto u = static_cast<char16_t>(data[at] | data[at + 1] << 8);
    if (u != 0) {
      current.push_back(u);
      continue;
    }
    if (current.empty()) {
      return paths;  // the empty path ends the list
    }
    paths.push_back(FromUtf16(current));
    current.clear();
  }
  return std::nullopt;  // the list runs past the end of the block
}

}  // namespace morvane
