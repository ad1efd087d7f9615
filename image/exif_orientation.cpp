#include "image/exif_orientation.h"

#include <cstring>

namespace exif {
namespace {

constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kTiffHeaderBytes = 8;
constexpr size_t kEntryBytes = 12;

// A TIFF block in either byte order; every read is checked against its end.
class Tiff {
 public:
  Tiff(const uint8_t* data, size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  bool Read16(size_t at, uint16_t& value) const {
    if (at > size_ || size_ - at < 2) {
      return false;
    }
    const uint8_t* p = data_ + at;
    value = bigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1])
                       : static_cast<uint16_t>(p[1] << 8 | p[0]);
    return true;
  }

  bool Read32(size_t at, uint32_t& value) const {
    uint16_t first = 0;
    uint16_t second = 0;
    if (!Read16(at, first) || !Read16(at + 2, second)) {
      return false;
    }
    value = bigEndian_ ? (uint32_t{first} << 16 | second) : (uint32_t{second} << 16 | first);
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool bigEndian_;
};

}  // namespace

namespace {

// Where the Orientation value of the TIFF block `tiffData` lies, with its byte order; false when
// the block has no well-formed Orientation in its first image directory.
bool FindOrientation(const uint8_t* tiffData, size_t tiffSize, size_t& at, bool& bigEndian,
                     uint16_t& value) {
  if (tiffSize < kTiffHeaderBytes) {
    return false;
  }
  if (tiffData[0] == 'M' && tiffData[1] == 'M') {
    bigEndian = true;
  } else if (tiffData[0] == 'I' && tiffData[1] == 'I') {
    bigEndian = false;
  } else {
    return false;
  }
  const Tiff tiff(tiffData, tiffSize, bigEndian);
  uint16_t magic = 0;
  uint32_t directory = 0;
  uint16_t entries = 0;
  if (!tiff.Read16(2, magic) || magic != 42 || !tiff.Read32(4, directory) ||
      !tiff.Read16(directory, entries)) {
    return false;
  }
  for (uint32_t i = 0; i < entries; ++i) {
    // directory < tiffSize and entries < 2^16: the offset cannot overflow.
    const size_t entry = size_t{directory} + 2 + size_t{i} * kEntryBytes;
    uint16_t tag = 0;
    if (!tiff.Read16(entry, tag)) {
      return false;
    }
    if (tag != kOrientationTag) {
      continue;
    }
    uint16_t type = 0;
    uint32_t count = 0;
    if (!tiff.Read16(entry + 2, type) || type != kTypeShort || !tiff.Read32(entry + 4, count) ||
        count != 1 || !tiff.Read16(entry + 8, value) || value < 1 || value > 8) {
      return false;
    }
    at = entry + 8;
    return true;
  }
  return false;
}

}  // namespace

int Orientation(const uint8_t* data, size_t size) {
  if (size < sizeof kExifHeader || std::memcmp(data, kExifHeader, sizeof kExifHeader) != 0) {
    return kUpright;
  }
  size_t at = 0;
  bool bigEndian = false;
  uint16_t value = 0;
  return FindOrientation(data + sizeof kExifHeader, size - sizeof kExifHeader, at, bigEndian, value)
             ? value
             : kUpright;
}

bool MarkUpright(uint8_t* tiff, size_t size) {
  size_t at = 0;
  bool bigEndian = false;
  uint16_t value = 0;
  if (!FindOrientation(tiff, size, at, bigEndian, value)) {
    return false;
  }
  tiff[at] = bigEndian ? 0 : kUpright;
  tiff[at + 1] = bigEndian ? kUpright : 0;
  return true;
}

}  // namespace exif
