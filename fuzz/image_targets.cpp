// The image fuzz targets: the BMP, PNG and JPEG readers, a load and save through the PNG writer,
// and the writer on its own (the other readers' targets are in format_targets.cpp). They link only
// the codecs, the file layer and the reference decoder.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "base/file.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/image_checks.h"
#include "fuzz/targets.h"
#include "image/bitmap.h"
#include "image/read/image_readers.h"
#include "image/png/png_encode.h"
#include "image/png/png_read_back.h"
#include "tests/support/image_makers.h"

namespace fuzzing {
namespace {

// ---- images -------------------------------------------------------------------------------

int BmpTarget(const std::uint8_t* data, std::size_t size) {
  if (!StartsWith(data, size, "BM", 2)) {
    return -1;
  }
  if (!WorthDecoding(data, size)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadBmp, data, size, image)) {
    return 0;
  }
  CheckImageShape("bmp", image);
  if (image.BitCount() == 32 && PixelCount(image) <= kMaxCheckedPixels) {
    // Alpha stored in a BMP is trusted only when the header names it through bit fields
    // (compression 3 or 6), and an image that would be wholly transparent is opaque.
    const bool named = size >= 34 && (data[30] == 3 || data[30] == 6) && data[31] == 0 &&
                       data[32] == 0 && data[33] == 0;
    bool opaque = true;
    bool visible = false;
    for (int32_t y = 0; y < image.Height(); ++y) {
      const std::uint8_t* row = image.Row(y);
      for (int32_t x = 0; x < image.Width(); ++x) {
        opaque = opaque && row[4 * x + 3] == 255;
        visible = visible || row[4 * x + 3] != 0;
      }
    }
    FUZZ_CHECK("bmp", opaque || (named && visible));
  }
  CheckConvertible("bmp", image);
  return 0;
}

int PngTarget(const std::uint8_t* data, std::size_t size) {
  if (!StartsWith(data, size, kPngSignature, 8)) {
    return -1;
  }
  if (!WorthDecoding(data, size)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadPng, data, size, image)) {
    return 0;
  }
  CheckImageShape("png", image);
  FUZZ_CHECK("png", image.BitCount() != 16 || image.Wide());  // PNG has no 5-5-5 form
  CheckConvertible("png", image);
  return 0;
}

int JpegTarget(const std::uint8_t* data, std::size_t size) {
  if (!StartsWith(data, size, "\xff\xd8", 2)) {
    return -1;
  }
  if (!WorthDecoding(data, size)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadJpeg, data, size, image)) {
    return 0;
  }
  CheckImageShape("jpeg", image);
  // A JPEG becomes grey (8-bit ramp) or colour (24-bit); CMYK is converted, never stored raw.
  FUZZ_CHECK("jpeg", image.BitCount() == 8 || image.BitCount() == 24);
  if (image.BitCount() == 8) {
    FUZZ_CHECK("jpeg", image.Palette().size() == 256);
  }
  CheckConvertible("jpeg", image);
  return 0;
}

// The value of pixel x of a stored row, whatever the bit count (sub-byte pixels from the most
// significant bit, multi-byte pixels as their bytes packed little-endian).
uint32_t PixelValue(const Bitmap& image, int32_t storedRow, int32_t x) {
  const std::uint8_t* row = image.Row(storedRow);
  const uint32_t bits = image.BitCount();
  if (bits < 8) {
    const uint64_t bit = static_cast<uint64_t>(x) * bits;
    const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
    return (row[bit / 8] >> shift) & ((1u << bits) - 1);
  }
  const std::size_t bytes = bits / 8;
  uint32_t value = 0;
  for (std::size_t k = 0; k < bytes; ++k) {
    value |= static_cast<uint32_t>(row[static_cast<std::size_t>(x) * bytes + k]) << (8 * k);
  }
  return value;
}

// The colour of palette index `index` as blue, green, red; black past the palette's end, as the
// pixel converter shows it.
uint32_t PaletteColour(const Bitmap& image, uint32_t index) {
  if (index >= image.Palette().size()) {
    return 0;
  }
  const Bitmap::PaletteEntry& e = image.Palette()[index];
  return static_cast<uint32_t>(e.blue) | static_cast<uint32_t>(e.green) << 8 |
         static_cast<uint32_t>(e.red) << 16;
}

// Any source that loads must encode, and the PNG written must load back as the same picture.
int LoadSaveTarget(const std::uint8_t* data, std::size_t size) {
  if (!WorthDecoding(data, size)) {
    return -1;
  }
  const std::vector<std::uint8_t> bytes = PrepareImageBytes(data, size);
  Bitmap image;
  if (!image.LoadFromMemory(bytes)) {
    FUZZ_CHECK("load_save", image.Empty());  // a failed load leaves the image empty
    return 0;
  }
  CheckImageShape("load_save", image);
  if (PixelCount(image) > kMaxCheckedPixels) {
    return 0;
  }
  const int32_t level = static_cast<int32_t>(size % 10);
  const bool interlace = (size / 10) % 2 == 1;
  std::vector<std::uint8_t> png;
  FUZZ_CHECK("load_save", image.EncodePng(png, level, interlace));
  FUZZ_CHECK("load_save", !png.empty());
  // A profile written must be one that libpng takes when it reads the PNG: one it refuses is
  // lost to every viewer that reads PNGs through it. (libpng also drops the profile for
  // chromaticities whose matrix it cannot invert, which the readers do not work out, so a PNG
  // with cHRM is not checked.)
  const auto written = [&](const char* type) {
    return std::any_of(image.Ancillary().begin(), image.Ancillary().end(),
                       [&](const PngChunk& c) { return std::memcmp(c.type.data(), type, 4) == 0; });
  };
  if (written("iCCP") && !written("cHRM")) {
    FUZZ_CHECK("load_save", !testimg::DecodePng(png).iccProfile.empty());
  }

  // The PNG keeps the image's kind of colour; whatever store it loads back into, every pixel
  // must show the same colour and alpha (a 5-5-5 image as its 24-bit expansion, a palette cut to
  // what its depth addresses or padded with black as the colours it showed).
  Bitmap back;
  FUZZ_CHECK("load_save", back.LoadFromMemory(png));
  FUZZ_CHECK("load_save", SamePixels(image, back));
  return 0;
}

// An image made from the input (layout, size, palette, pixels, an ancillary chunk), written by
// the PNG writer and decoded by libpng: it must show exactly the image's colours.
//
// Input: byte 0 the bit count, byte 1 the level, interlace and compressor, bytes 2-5 the width
// and height (each 1..1024), byte 6 the palette size, byte 7 an ancillary chunk's type letter
// and size, byte 8 the colour reduction (bit 0) and pieces of a few rows (bit 1, their size in
// the other bits); then the palette and the pixels, the bytes repeated to fill what they do not
// cover. A reduced PNG must show exactly what the unreduced one shows.
constexpr std::size_t kWriteHeaderBytes = 9;
constexpr uint64_t kMaxWrittenPixels = uint64_t{1} << 18;

int PngWriteTarget(const std::uint8_t* data, std::size_t size) {
  if (size < kWriteHeaderBytes) {
    return -1;
  }
  static constexpr uint32_t kBits[] = {1, 2, 4, 8, 16, 24, 32};
  const uint32_t bits = kBits[data[0] % 7];
  PngEncodeOptions options;
  options.level = (data[1] >> 2) % 10;
  options.interlace = (data[1] & 1) != 0;
  options.wholeBufferBytes = (data[1] & 2) != 0 ? 0 : PngCompression::kWholeBufferBytes;
  options.reduce = (data[8] & 1) != 0;
  if ((data[8] & 2) != 0) {
    options.pieceBytes = 64 + (data[8] >> 2) * 97u;
  }
  const int32_t width = 1 + ((data[2] << 8 | data[3]) % 1024);
  const int32_t height = 1 + ((data[4] << 8 | data[5]) % 1024);
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxWrittenPixels) {
    return -1;
  }
  const std::uint8_t* body = data + kWriteHeaderBytes;
  const std::size_t bodySize = size - kWriteHeaderBytes;
  std::size_t at = 0;
  auto next = [&]() -> std::uint8_t { return bodySize == 0 ? 0 : body[at++ % bodySize]; };

  Bitmap image;
  FUZZ_CHECK("png_write", image.Create(width, height, bits));
  image.Palette().resize(data[6] == 0 && bits <= 8 ? 256 : data[6]);
  for (Bitmap::PaletteEntry& entry : image.Palette()) {
    entry = Bitmap::PaletteEntry{next(), next(), next(), 0};
  }
  // Letters make a valid ancillary type when the first is lower-case; anything else must fail.
  const char letter = static_cast<char>(data[7] & 0x7F);
  const bool withChunk = (data[7] & 0x80) != 0;
  const bool validChunk = (letter >= 'a' && letter <= 'z') || !withChunk;
  if (withChunk) {
    PngChunk chunk{{letter, 'X', 'Y', 'z'}, {}};
    chunk.data.resize(data[7] & 0x1F);
    for (std::uint8_t& byte : chunk.data) {
      byte = next();
    }
    image.Ancillary().push_back(chunk);
  }
  for (std::uint8_t& byte : image.Pixels()) {
    byte = next();
  }

  std::vector<std::uint8_t> png;
  kiv::File stream;
  stream.AttachVector(png);
  const bool written = EncodePngImage(image, options, stream);
  stream.Close();
  FUZZ_CHECK("png_write", written == validChunk);
  if (!written) {
    return 0;
  }
  const testimg::DecodedPng decoded = testimg::DecodePng(png);
  FUZZ_CHECK("png_write", decoded.ok);
  FUZZ_CHECK("png_write", decoded.interlace == (options.interlace ? 1 : 0));
  FUZZ_CHECK("png_write", decoded.picture.width == width && decoded.picture.height == height);
  FUZZ_CHECK("png_write", decoded.chunks.size() >= 3 && decoded.chunks[0] == "IHDR" &&
                              decoded.chunks.back() == "IEND");
  if (withChunk) {
    FUZZ_CHECK("png_write", decoded.chunks[1] == std::string({letter, 'X', 'Y', 'z'}));
  }
  if (options.reduce) {
    PngEncodeOptions unreduced = options;
    unreduced.reduce = false;
    std::vector<std::uint8_t> plain;
    kiv::File plainStream;
    plainStream.AttachVector(plain);
    FUZZ_CHECK("png_write", EncodePngImage(image, unreduced, plainStream));
    plainStream.Close();
    const testimg::DecodedPng expected = testimg::DecodePng(plain);
    FUZZ_CHECK("png_write", expected.ok && expected.picture.pixels == decoded.picture.pixels);
  }

  // A 5-5-5 image shows its 24-bit expansion.
  const Bitmap* shown = &image;
  Bitmap expanded;
  if (bits == 16) {
    FUZZ_CHECK("png_write", expanded.Create(width, height, 24));
    FUZZ_CHECK("png_write", Bitmap::CopyRect(BitmapRect{0, 0, width, height}, expanded, image));
    shown = &expanded;
  }
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t value = PixelValue(*shown, height - 1 - y, x);
      const uint32_t bgr = shown->BitCount() <= 8 ? PaletteColour(*shown, value) : value;
      const testimg::Rgba want{
          static_cast<std::uint8_t>(bgr >> 16), static_cast<std::uint8_t>(bgr >> 8),
          static_cast<std::uint8_t>(bgr),
          bits == 32 ? static_cast<std::uint8_t>(value >> 24) : std::uint8_t{255}};
      FUZZ_CHECK("png_write", decoded.picture.at(x, y) == want);
    }
  }
  return 0;
}

}  // namespace

const std::vector<Target>& ImageTargets() {
  static const std::vector<Target> targets = [] {
    std::vector<Target> all = {
        {"bmp", BmpTarget},
        {"png", PngTarget},
        {"jpeg", JpegTarget},
        {"load_save", LoadSaveTarget},
        {"png_write", PngWriteTarget},
    };
    const std::vector<Target>& formats = FormatTargets();
    all.insert(all.end(), formats.begin(), formats.end());
    return all;
  }();
  return targets;
}

}  // namespace fuzzing
