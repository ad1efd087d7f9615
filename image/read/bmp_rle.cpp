// Run-length encoded BMP pixel data (RLE8 and RLE4).
#include "image/read/bmp_rle.h"

#include <vector>

#include "base/file.h"
#include "image/bitmap.h"

namespace image_readers {
namespace {

// Buffered byte-by-byte access to compressed pixel data.
class ByteSource {
 public:
  explicit ByteSource(kiv::File& stream) : stream_(stream), buffer_(64 * 1024) {}

  bool Next(uint8_t& byte) {
    if (position_ == length_) {
      length_ = stream_.Read(static_cast<uint32_t>(buffer_.size()), buffer_.data());
      position_ = 0;
      if (length_ == 0) {
        return false;
      }
    }
    byte = buffer_[position_++];
    return true;
  }

 private:
  kiv::File& stream_;
  std::vector<uint8_t> buffer_;
  size_t position_ = 0;
  size_t length_ = 0;
};

}  // namespace

bool DecodeBmpRle(kiv::File& stream, bool fourBit, Bitmap& image) {
  ByteSource source(stream);
  const uint64_t width = static_cast<uint64_t>(image.Width());
  const uint64_t height = static_cast<uint64_t>(image.Height());
  uint64_t x = 0;
  uint64_t y = 0;
  auto put = [&](uint8_t value) {
    if (x < width && y < height) {
      uint8_t* row = image.Row(static_cast<int32_t>(y));
      if (fourBit) {
        uint8_t& byte = row[x / 2];
        byte = (x % 2 == 0) ? static_cast<uint8_t>((byte & 0x0F) | (value << 4))
                            : static_cast<uint8_t>((byte & 0xF0) | (value & 0x0F));
      } else {
        row[x] = value;
      }
    }
    ++x;
  };
  uint8_t count = 0;
  uint8_t value = 0;
  while (y < height && source.Next(count) && source.Next(value)) {
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i) {
        put(fourBit ? static_cast<uint8_t>((i % 2 == 0) ? (value >> 4) : (value & 0x0F)) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // delta: move right and up
        uint8_t dx = 0;
        uint8_t dy = 0;
        if (!source.Next(dx) || !source.Next(dy)) {
          return false;
        }
        x += dx;
        y += dy;
        break;
      }
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        const unsigned pixels = value;
        const unsigned bytes = fourBit ? (pixels + 1) / 2 : pixels;
        uint8_t byte = 0;
        for (unsigned i = 0; i < bytes; ++i) {
          if (!source.Next(byte)) {
            return false;
          }
          if (fourBit) {
            put(byte >> 4);
            if (2 * i + 1 < pixels) {
              put(byte & 0x0F);
            }
          } else {
            put(byte);
          }
        }
        if (bytes % 2 != 0 && !source.Next(byte)) {
          return false;
        }
        break;
      }
    }
  }
  return y >= height;
}

}  // namespace image_readers
