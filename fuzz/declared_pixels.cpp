// The pixel count an input's header declares, read from the bytes as each reader's library would
// find it, without decoding: BMP and PNG headers, JPEG frame headers, the WebP canvas, the GIF
// screen, the first TIFF directory's width and length, and HEIF's image size properties.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "fuzz/image_checks.h"
#include "fuzz/targets.h"

namespace fuzzing {
namespace {

// Reads of the input's bytes; the caller keeps each read within the input.
struct Bytes {
  const std::uint8_t* data;
  std::size_t size;

  uint32_t Le16(std::size_t at) const {
    return static_cast<uint32_t>(data[at] | data[at + 1] << 8);
  }
  uint32_t Le24(std::size_t at) const {
    return Le16(at) | static_cast<uint32_t>(data[at + 2]) << 16;
  }
  uint32_t Le32(std::size_t at) const {
    return Le24(at) | static_cast<uint32_t>(data[at + 3]) << 24;
  }
  uint64_t Le64(std::size_t at) const {
    return Le32(at) | static_cast<uint64_t>(Le32(at + 4)) << 32;
  }
  uint32_t Be16(std::size_t at) const {
    return static_cast<uint32_t>(data[at] << 8 | data[at + 1]);
  }
  uint32_t Be32(std::size_t at) const {
    return static_cast<uint32_t>(data[at]) << 24 | static_cast<uint32_t>(data[at + 1]) << 16 |
           static_cast<uint32_t>(data[at + 2]) << 8 | static_cast<uint32_t>(data[at + 3]);
  }
  uint64_t Be64(std::size_t at) const {
    return static_cast<uint64_t>(Be32(at)) << 32 | Be32(at + 4);
  }
};

uint64_t Magnitude(uint32_t v) {
  const int64_t s = static_cast<int32_t>(v);
  return static_cast<uint64_t>(s < 0 ? -s : s);
}

uint64_t JpegPixels(const Bytes& b) {
  // The decoder skips bytes until it finds a marker, so any frame header anywhere may be the one
  // it reads: take the largest.
  uint64_t largest = 0;
  for (std::size_t at = 2; at + 9 <= b.size; ++at) {
    const uint8_t marker = b.data[at + 1];
    if (b.data[at] == 0xFF && marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
        marker != 0xC8 && marker != 0xCC) {
      largest = std::max<uint64_t>(largest, static_cast<uint64_t>(b.Be16(at + 5)) * b.Be16(at + 7));
    }
  }
  return largest;
}

// The canvas of an extended file, or the size in the simple file's one bitstream.
uint64_t WebpPixels(const Bytes& b) {
  if (b.size >= 30 && std::memcmp(b.data + 12, "VP8X", 4) == 0) {
    return (uint64_t{b.Le24(24)} + 1) * (uint64_t{b.Le24(27)} + 1);
  }
  if (b.size >= 30 && std::memcmp(b.data + 12, "VP8 ", 4) == 0) {
    return uint64_t{b.Le16(26) & 0x3FFF} * (b.Le16(28) & 0x3FFF);
  }
  if (b.size >= 25 && std::memcmp(b.data + 12, "VP8L", 4) == 0) {
    const uint32_t bits = b.Le32(21);
    return (uint64_t{bits & 0x3FFF} + 1) * (uint64_t{(bits >> 14) & 0x3FFF} + 1);
  }
  return 0;
}

// ImageWidth times ImageLength of the first directory, classic or BigTIFF, either byte order.
uint64_t TiffPixels(const Bytes& b) {
  const bool little = b.data[0] == 'I';
  auto u16 = [&](std::size_t at) { return little ? b.Le16(at) : b.Be16(at); };
  auto u32 = [&](std::size_t at) { return little ? b.Le32(at) : b.Be32(at); };
  auto u64 = [&](std::size_t at) { return little ? b.Le64(at) : b.Be64(at); };
  const bool big = u16(2) == 43;
  const uint64_t directory = big ? (b.size >= 16 ? u64(8) : 0) : u32(4);
  const std::size_t countBytes = big ? 8 : 2;
  const std::size_t entryBytes = big ? 20 : 12;
  if (directory < 8 || directory > b.size - countBytes) {
    return 0;
  }
  const std::size_t first = static_cast<std::size_t>(directory);
  const uint64_t count = big ? u64(first) : u16(first);
  const uint64_t room = (b.size - first - countBytes) / entryBytes;
  uint64_t width = 0;
  uint64_t length = 0;
  for (uint64_t i = 0; i < std::min(count, room); ++i) {
    const std::size_t entry = first + countBytes + static_cast<std::size_t>(i) * entryBytes;
    const uint32_t tag = u16(entry);
    const uint32_t type = u16(entry + 2);
    const std::size_t value = entry + (big ? 12 : 8);
    // SHORT and LONG; LONG8 only in BigTIFF, whose entries have room for it.
    const uint64_t v = type == 3           ? u16(value)
                       : type == 4         ? u32(value)
                       : big && type == 16 ? u64(value)
                                           : 0;
    if (tag == 256) {
      width = v;
    } else if (tag == 257) {
      length = v;
    }
  }
  // Products past 64 bits are surely refused: saturate.
  if (width != 0 && length > UINT64_MAX / width) {
    return UINT64_MAX;
  }
  return width * length;
}

// The largest "ispe" (image spatial extents) property anywhere in the file, or output size of a
// grid whose description opens an "idat" box: libheif decodes a grid at its own size, whatever
// the property says.
uint64_t HeifPixels(const Bytes& b) {
  uint64_t largest = 0;
  for (std::size_t at = 0; at + 16 <= b.size; ++at) {
    if (std::memcmp(b.data + at, "ispe", 4) == 0) {
      largest = std::max<uint64_t>(largest, uint64_t{b.Be32(at + 8)} * b.Be32(at + 12));
    } else if (std::memcmp(b.data + at, "idat", 4) == 0 && b.data[at + 4] == 0) {
      // Version 0, flags (bit 0: 32-bit sizes), rows and columns less one, width, height.
      const bool wide = (b.data[at + 5] & 1) != 0;
      const uint64_t pixels =
          wide ? (at + 16 <= b.size ? uint64_t{b.Be32(at + 8)} * b.Be32(at + 12) : 0)
               : uint64_t{b.Be16(at + 8)} * b.Be16(at + 10);
      largest = std::max(largest, pixels);
    }
  }
  return largest;
}

}  // namespace

uint64_t DeclaredPixels(const std::uint8_t* data, std::size_t size) {
  const Bytes b{data, size};
  if (StartsWith(data, size, "BM", 2) && size >= 26) {
    if (b.Le32(14) == 12) {
      return static_cast<uint64_t>(b.Le16(18)) * b.Le16(20);
    }
    return Magnitude(b.Le32(18)) * Magnitude(b.Le32(22));
  }
  if (StartsWith(data, size, kPngSignature, 8) && size >= 24) {
    return static_cast<uint64_t>(b.Be32(16)) * b.Be32(20);
  }
  if (StartsWith(data, size, "\xff\xd8", 2)) {
    return JpegPixels(b);
  }
  if (StartsWith(data, size, "RIFF", 4) && size >= 16 && std::memcmp(data + 8, "WEBP", 4) == 0) {
    return WebpPixels(b);
  }
  if (StartsWith(data, size, "GIF8", 4) && size >= 10) {
    return static_cast<uint64_t>(b.Le16(6)) * b.Le16(8);
  }
  if ((StartsWith(data, size, "II", 2) || StartsWith(data, size, "MM", 2)) && size >= 8) {
    return TiffPixels(b);
  }
  if (size >= 8 && std::memcmp(data + 4, "ftyp", 4) == 0) {
    return HeifPixels(b);
  }
  return 0;
}

bool WorthDecoding(const std::uint8_t* data, std::size_t size) {
  const uint64_t pixels = DeclaredPixels(data, size);
  return pixels <= kMaxFuzzedPixels || pixels > kSurelyRefusedPixels;
}

}  // namespace fuzzing
