// The checks and input preparation the image fuzz targets share (image_checks.h).
#include "fuzz/image_checks.h"

#include <zlib.h>

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"

namespace fuzzing {
namespace {

void FixPngCrcs(std::vector<std::uint8_t>& png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length =
        static_cast<uint32_t>(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    if (length > png.size() - at - 12) {
      return;
    }
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, png.data() + at + 4, static_cast<uInt>(length) + 4));
    std::uint8_t* out = png.data() + at + 8 + length;
    out[0] = static_cast<std::uint8_t>(crc >> 24);
    out[1] = static_cast<std::uint8_t>(crc >> 16);
    out[2] = static_cast<std::uint8_t>(crc >> 8);
    out[3] = static_cast<std::uint8_t>(crc);
    at += 12 + length;
  }
}

}  // namespace

std::vector<std::uint8_t> PrepareImageBytes(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (StartsWith(data, size, kPngSignature, 8)) {
    FixPngCrcs(bytes);
  }
  return bytes;
}

uint64_t PixelCount(const Bitmap& image) {
  return static_cast<uint64_t>(image.Width()) * static_cast<uint64_t>(image.Height());
}

void CheckImageShape(const char* target, const Bitmap& image) {
  FUZZ_CHECK(target, image.Width() > 0 && image.Height() > 0);
  const uint32_t bits = image.BitCount();
  FUZZ_CHECK(target, Bitmap::IsSupportedBitCount(
                         bits, image.Wide() ? Bitmap::Samples::k16Bit : Bitmap::Samples::k8Bit));
  FUZZ_CHECK(target,
             image.Stride() == Bitmap::StrideFor(static_cast<uint64_t>(image.Width()), bits));
  FUZZ_CHECK(target,
             image.Pixels().size() == static_cast<uint64_t>(image.Stride()) * image.Height());
  FUZZ_CHECK(target, image.Pixels().size() <= Bitmap::kMaxPixelStoreBytes);
  FUZZ_CHECK(target, image.Palette().size() <= 256);
  if (bits <= 8) {
    FUZZ_CHECK(target, !image.Palette().empty());
  }
}

void CheckConvertible(const char* target, const Bitmap& image) {
  if (PixelCount(image) > kMaxCheckedPixels) {
    return;
  }
  Bitmap flat;
  FUZZ_CHECK(target, flat.Create(image.Width(), image.Height(), 24));
  const BitmapRect whole{0, 0, image.Width(), image.Height()};
  FUZZ_CHECK(target, Bitmap::CopyRect(whole, flat, image));
}

testimg::Picture PictureOf(const char* target, const Bitmap& image) {
  Bitmap flat;
  FUZZ_CHECK(target, flat.Create(image.Width(), image.Height(), 32));
  FUZZ_CHECK(target,
             Bitmap::CopyRect(BitmapRect{0, 0, image.Width(), image.Height()}, flat, image));
  testimg::Picture picture(image.Width(), image.Height());
  for (int32_t y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = flat.Row(image.Height() - 1 - y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
      picture.at(x, y) = testimg::Rgba{p[2], p[1], p[0], p[3]};
    }
  }
  return picture;
}

}  // namespace fuzzing
