#include "base/unicode.h"

#include <cstdint>

namespace kiv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr bool kWide16 = sizeof(wchar_t) == 2;

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Appends a code point to a wide string, as a surrogate pair where wchar_t
// has 16 bits.
void AppendWide(std::wstring& out, char32_t c) {
  if (kWide16 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

// Decodes the code point starting at `i` of a wide string and advances `i`.
// On Windows a well-formed surrogate pair is joined; anything else is one
// unit as it stands.
char32_t NextWide(const std::wstring& text, std::size_t& i) {
  char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i++]));
  if (kWide16 && IsHighSurrogate(c) && i < text.size()) {
    char32_t low = static_cast<char16_t>(text[i]);
    if (IsLowSurrogate(low)) {
      ++i;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return c;
}

}  // namespace

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = NextWide(text, i);
    if (c > 0x10FFFF) {
      c = kReplacement;
    }
    // A lone surrogate in U+DC80..U+DCFF stands for an undecodable byte.
    if (c >= 0xDC80 && c <= 0xDCFF) {
      out += static_cast<char>(c - 0xDC00);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
  for (std::size_t i = 0; i < n;) {
    const std::uint8_t b = at(i);
    if (b < 0x80) {
      out += static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2, c = b & 0x1F, minimum = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3, c = b & 0x0F, minimum = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4, c = b & 0x07, minimum = 0x10000;
    }
    bool good = length != 0 && i + length <= n;
    for (std::size_t k = 1; good && k < length; ++k) {
      const std::uint8_t next = at(i + k);
      if ((next & 0xC0) != 0x80) {
        good = false;
      } else {
        c = (c << 6) | (next & 0x3F);
      }
    }
    if (good && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) {
      good = false;
    }
    if (good) {
      AppendWide(out, c);
      i += length;
    } else {
      out += static_cast<wchar_t>(0xDC00 + b);
      ++i;
    }
  }
  return out;
}

std::u16string WideToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  if constexpr (kWide16) {
    for (wchar_t c : text) {
      out += static_cast<char16_t>(c);
    }
  } else {
    for (wchar_t w : text) {
      char32_t c = static_cast<char32_t>(w);
      if (c > 0x10FFFF) {
        c = kReplacement;
      }
      if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      } else {
        out += static_cast<char16_t>(c);
      }
    }
  }
  return out;
}

std::wstring Utf16ToWide(const std::u16string& units) {
  std::wstring out;
  out.reserve(units.size());
  if constexpr (kWide16) {
    for (char16_t c : units) {
      out += static_cast<wchar_t>(c);
    }
  } else {
    for (std::size_t i = 0; i < units.size(); ++i) {
      char32_t c = units[i];
      if (IsHighSurrogate(c) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      }
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

wchar_t FoldCase(wchar_t w) {
  const char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(w));
  if (c >= U'a' && c <= U'z') {
    return static_cast<wchar_t>(c - 0x20);
  }
  if (c < 0x80) {
    return w;
  }
  // Latin-1: U+00E0..U+00FE except the division sign; U+00FF pairs with U+0178.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
    return static_cast<wchar_t>(c - 0x20);
  }
  if (c == 0xFF) {
    return static_cast<wchar_t>(0x178);
  }
  // Latin Extended-A: mostly even upper / odd lower pairs.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
    return static_cast<wchar_t>(c & ~char32_t{1});
  }
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
    return static_cast<wchar_t>((c & 1) ? c : c - 1);
  }
  // Greek small letters (final sigma folds with sigma).
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) {
    return static_cast<wchar_t>(c - 0x20);
  }
  if (c == 0x3C2) {
    return static_cast<wchar_t>(0x3A3);
  }
  // Cyrillic.
  if (c >= 0x430 && c <= 0x44F) {
    return static_cast<wchar_t>(c - 0x20);
  }
  if (c >= 0x450 && c <= 0x45F) {
    return static_cast<wchar_t>(c - 0x50);
  }
  // Full-width Latin letters.
  if (c >= 0xFF41 && c <= 0xFF5A) {
    return static_cast<wchar_t>(c - 0x20);
  }
  return w;
}

}  // namespace kiv
