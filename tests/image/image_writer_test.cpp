// The PNG writer's output (header, palette, chunks, compression, interlace) and CopyRect.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/png/png_encode.h"
#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"

using testimg::Difference;
using testimg::Picture;
using testimg::Rgba;

namespace {

// An image of `bits` bits with random pixels and, for indexed images, a random palette of
// `paletteSize` entries (fewer than the depth allows leaves some indices without a colour).
Bitmap RandomImage(int width, int height, uint32_t bits, size_t paletteSize, uint32_t seed) {
  Bitmap image;
  EXPECT_TRUE(image.Create(width, height, bits));
  testimg::Noise noise(seed);
  for (uint8_t& byte : image.Pixels()) {
    byte = static_cast<uint8_t>(noise.Next());
  }
  image.Palette().resize(paletteSize);
  for (auto& entry : image.Palette()) {
    const uint32_t v = noise.Next();
    entry = Bitmap::PaletteEntry{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                 static_cast<uint8_t>(v >> 16), 0};
  }
  return image;
}

// A smooth picture that deflate compresses well.
Bitmap SmoothImage(int width, int height) {
  Bitmap image;
  EXPECT_TRUE(image.Create(width, height, 24));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x);
      row[3 * x + 1] = static_cast<uint8_t>(y);
      row[3 * x + 2] = static_cast<uint8_t>(x + y);
    }
  }
  return image;
}

// What the PNG of `image` must show, worked out from the pixel store directly: palette lookups
// (black past the palette's end), 5-5-5 expansion, blue-green-red(-alpha) bytes.
Picture ExpectedPicture(const Bitmap& image) {
  Picture picture(image.Width(), image.Height());
  const uint32_t bits = image.BitCount();
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.Row(image.Height() - 1 - y);
    for (int x = 0; x < image.Width(); ++x) {
      Rgba& c = picture.at(x, y);
      if (bits <= 8) {
        const unsigned index =
            (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1);
        if (index < image.Palette().size()) {
          const auto& entry = image.Palette()[index];
          c = Rgba{entry.red, entry.green, entry.blue, 255};
        } else {
          c = Rgba{0, 0, 0, 255};
        }
      } else if (bits == 16) {
        const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        auto scaled = [](unsigned field) { return static_cast<uint8_t>((field * 255 + 15) / 31); };
        c = Rgba{scaled(v >> 10 & 31), scaled(v >> 5 & 31), scaled(v & 31), 255};
      } else {
        const uint8_t* p = row + x * bits / 8;
        c = Rgba{p[2], p[1], p[0], bits == 32 ? p[3] : uint8_t{255}};
      }
    }
  }
  return picture;
}

// Rows that each of the row filters predicts best somewhere: flat, ramps across and down,
// repeats of the row above, and noise, mixed row by row.
Bitmap MixedImage(int width, int height, uint32_t bits, uint32_t seed) {
  Bitmap image = RandomImage(width, height, bits, bits <= 8 ? (size_t{3} << bits) / 4 : 0, seed);
  testimg::Noise noise(seed);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(y);
    const uint32_t kind = noise.Below(5);
    for (uint32_t i = 0; i < image.Stride(); ++i) {
      switch (kind) {
        case 0:
          row[i] = static_cast<uint8_t>(7 * i + y);
          break;
        case 1:
          row[i] = static_cast<uint8_t>(i / 3 + 2 * y + noise.Below(3));
          break;
        case 2:
          if (y > 0)
            row[i] = image.Row(y - 1)[i];
          break;
        case 3:
          row[i] = static_cast<uint8_t>((i * i) / 16 + y * 3);
          break;
        default:
          break;  // noise as made
      }
    }
  }
  return image;
}

// The filter-type byte of every row of a non-interlaced PNG, from its inflated image data.
std::vector<int> FilterTypes(const testimg::DecodedPng& png, size_t rowBytes) {
  std::vector<uint8_t> raw((rowBytes + 1) * png.height);
  uLongf size = static_cast<uLongf>(raw.size());
  std::vector<int> types;
  if (uncompress(raw.data(), &size, png.idat.data(), static_cast<uLong>(png.idat.size())) == Z_OK) {
    for (uint32_t y = 0; y < png.height; ++y) {
      types.push_back(raw[y * (rowBytes + 1)]);
    }
  }
  return types;
}

// Splits a PNG into its chunks and checks each chunk's CRC with zlib's own.
struct RawChunk {
  std::string type;
  std::vector<uint8_t> data;
  bool crcOk = false;
};
std::vector<RawChunk> Chunks(const std::vector<uint8_t>& png) {
  std::vector<RawChunk> chunks;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    if (length > png.size() - at - 12) {
      break;
    }
    RawChunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(&png[at + 4]), 4);
    chunk.data.assign(png.begin() + static_cast<long>(at) + 8,
                      png.begin() + static_cast<long>(at) + 8 + length);
    const uint8_t* stored = &png[at + 8 + length];
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &png[at + 4], length + 4));
    chunk.crcOk = crc == static_cast<uint32_t>(stored[0] << 24 | stored[1] << 16 | stored[2] << 8 |
                                               stored[3]);
    chunks.push_back(chunk);
    at += 12 + length;
  }
  return chunks;
}

std::vector<uint8_t> EncodeWith(const Bitmap& image, const PngEncodeOptions& options) {
  std::vector<uint8_t> bytes;
  kiv::File stream;
  stream.AttachVector(bytes);
  EXPECT_TRUE(EncodePngImage(image, options, stream));
  stream.Close();
  return bytes;
}

Picture Opaque(Picture picture) {
  for (Rgba& c : picture.pixels) {
    c.a = 255;
  }
  return picture;
}

}  // namespace

TEST(PngWriter, HeaderPaletteAndChunksFollowTheBitCount) {
  struct Case {
    uint32_t bits;
    int colorType;
    int depth;
  };
  const Case cases[] = {{1, 3, 1},  {2, 3, 2},  {4, 3, 4}, {8, 3, 8},
                        {16, 2, 8}, {24, 2, 8}, {32, 6, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE("bits " + std::to_string(c.bits));
    const size_t paletteSize = c.bits <= 8 ? size_t{1} << c.bits : 0;
    const Bitmap image = RandomImage(9, 5, c.bits, paletteSize, c.bits);
    for (bool interlace : {false, true}) {
      const testimg::DecodedPng png = imagetest::Written(image, 6, interlace);
      ASSERT_TRUE(png.ok);
      EXPECT_EQ(png.colorType, c.colorType);
      EXPECT_EQ(png.bitDepth, c.depth);
      EXPECT_EQ(png.interlace, interlace ? 1 : 0);
      const std::vector<std::string> chunks =
          c.bits <= 8 ? std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}
                      : std::vector<std::string>{"IHDR", "IDAT", "IEND"};
      EXPECT_EQ(png.chunks, chunks);
      ASSERT_EQ(png.palette.size(), paletteSize);
      for (size_t i = 0; i < paletteSize; ++i) {
        const auto& entry = image.Palette()[i];
        EXPECT_EQ(png.palette[i], (Rgba{entry.red, entry.green, entry.blue, 255}));
      }
    }
  }
}

// Every layout, interlaced or not, at the levels 0, 1, 6 and 9, through the one-piece
// compressor and the streaming one, decodes to exactly the source's pixels. Sizes include a
// single pixel and images small enough to leave some Adam7 passes empty.
TEST(PngWriter, EveryLayoutDecodesToTheSourcePixels) {
  struct Size {
    int width, height;
  };
  const Size sizes[] = {{1, 1}, {3, 2}, {37, 19}, {130, 41}};
  std::vector<int> filtersUsed(5, 0);
  for (uint32_t bits : {1u, 2u, 4u, 8u, 16u, 24u, 32u}) {
    for (const Size& size : sizes) {
      const Bitmap image = MixedImage(size.width, size.height, bits, bits * 131 + size.width);
      const Picture expected = ExpectedPicture(image);
      for (bool interlace : {false, true}) {
        for (int level : {0, 1, 6, 9}) {
          std::vector<uint8_t> whole;
          // In one piece, streaming, and cut into pieces of a few rows (across passes too).
          for (uint64_t bound : {PngCompression::kWholeBufferBytes, uint64_t{0}, uint64_t{1}}) {
            SCOPED_TRACE(testing::Message()
                         << bits << " bits " << size.width << "x" << size.height
                         << (interlace ? " interlaced" : "") << " level " << level
                         << (bound == 0 ? " streaming" : "") << (bound == 1 ? " pieces" : ""));
            PngEncodeOptions options{level, interlace,
                                     bound == 1 ? PngCompression::kWholeBufferBytes : bound};
            options.pieceBytes = bound == 1 ? 3u * size.width + 7 : PngCompression::kPieceBytes;
            const std::vector<uint8_t> bytes = EncodeWith(image, options);
            const testimg::DecodedPng png = testimg::DecodePng(bytes);
            ASSERT_TRUE(png.ok);
            EXPECT_EQ(png.interlace, interlace ? 1 : 0);
            EXPECT_EQ(Difference(expected, png.picture), "");
            if (level == 0) {
              EXPECT_TRUE(testimg::AllStoredBlocks(png.idat));
            }
            for (const RawChunk& chunk : Chunks(bytes)) {
              EXPECT_TRUE(chunk.crcOk) << chunk.type;
              EXPECT_LE(chunk.data.size(), 64u * 1024);
            }
            if (bits >= 16 && !interlace && level > 0) {
              const std::vector<int> types =
                  FilterTypes(png, static_cast<size_t>(size.width) * (bits == 32 ? 4 : 3));
              ASSERT_EQ(types.size(), png.height);
              for (int type : types) {
                ASSERT_LT(type, 5);
                ++filtersUsed[type];
              }
            }
            // The streaming compressor is another way to the same data, never a larger one
            // by more than zlib's usual margin.
            if (bound == PngCompression::kWholeBufferBytes) {
              whole = bytes;
            } else if (bound == 0 && level > 0) {
              EXPECT_LT(whole.size(), bytes.size() + bytes.size() / 20 + 64);
            }
          }
        }
      }
    }
  }
  for (int type = 0; type < 5; ++type) {
    EXPECT_GT(filtersUsed[type], 0) << "filter type " << type << " never chosen";
  }
}

// The Windows and the native program write the same bytes: both run this test against one
// fingerprint of the files made from fixed images, taken with the libdeflate both are built with.
TEST(PngWriter, SameBytesOnEveryPlatform) {
  if (std::string(LIBDEFLATE_VERSION_STRING) != "1.14") {
    GTEST_SKIP() << "fingerprint taken with libdeflate 1.14";
  }
  uint32_t fingerprint = 0;
  for (uint32_t bits : {4u, 8u, 16u, 24u, 32u}) {
    const Bitmap image = MixedImage(61, 47, bits, bits);
    for (bool interlace : {false, true}) {
      for (int level : {0, 1, 6, 9}) {
        PngEncodeOptions options{level, interlace};
        options.pieceBytes = 512;  // the joined pieces of the stronger levels
        const std::vector<uint8_t> bytes = EncodeWith(image, options);
        fingerprint = static_cast<uint32_t>(
            crc32(fingerprint, bytes.data(), static_cast<uInt>(bytes.size())));
      }
    }
  }
  EXPECT_EQ(fingerprint, 4056168291u);
}

// Chunks the source gave are written as held, right after IHDR, each with its CRC; one that is
// not a valid ancillary chunk fails the write instead of making a broken file.
TEST(PngWriter, AncillaryChunksFollowTheHeader) {
  Bitmap image = RandomImage(6, 4, 8, 200, 9);
  const uint8_t gamma[4] = {0, 0, 0xB1, 0x8F};
  const uint8_t density[9] = {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1};
  image.Ancillary().push_back(PngChunk{{'g', 'A', 'M', 'A'}, {gamma, gamma + 4}});
  image.Ancillary().push_back(PngChunk{{'p', 'H', 'Y', 's'}, {density, density + 9}});
  for (bool interlace : {false, true}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(image.EncodePng(bytes, 6, interlace));
    const std::vector<RawChunk> chunks = Chunks(bytes);
    ASSERT_EQ(chunks.size(), 6u);
    const char* order[] = {"IHDR", "gAMA", "pHYs", "PLTE", "IDAT", "IEND"};
    for (size_t i = 0; i < chunks.size(); ++i) {
      EXPECT_EQ(chunks[i].type, order[i]);
      EXPECT_TRUE(chunks[i].crcOk) << order[i];
    }
    EXPECT_EQ(chunks[1].data, image.Ancillary()[0].data);
    EXPECT_EQ(chunks[2].data, image.Ancillary()[1].data);
    const testimg::DecodedPng png = testimg::DecodePng(bytes);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(Difference(ExpectedPicture(image), png.picture), "");
  }
  for (const std::array<char, 4>& type :
       {std::array<char, 4>{'P', 'L', 'T', 'E'}, std::array<char, 4>{'g', 'A', '1', 'A'}}) {
    Bitmap bad = RandomImage(2, 2, 24, 0, 1);
    bad.Ancillary().push_back(PngChunk{type, {}});
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(bad.EncodePng(bytes, 6, false));
  }
}

TEST(PngWriter, AlphaIsWrittenAsStored) {
  Bitmap image;
  ASSERT_TRUE(image.Create(2, 1, 32));
  const uint8_t pixels[8] = {10, 20, 30, 0, 40, 50, 60, 128};
  std::copy(pixels, pixels + 8, image.Pixels().begin());
  const testimg::DecodedPng png = imagetest::Written(image);
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.picture.at(0, 0), (Rgba{30, 20, 10, 0}));
  EXPECT_EQ(png.picture.at(1, 0), (Rgba{60, 50, 40, 128}));
}

TEST(PngWriter, PaletteIsFittedToTheDepth) {
  {
    SCOPED_TRACE("a 4-bit image with 20 colours: the 16 it can address");
    const Bitmap image = RandomImage(7, 3, 4, 20, 1);
    const testimg::DecodedPng png = imagetest::Written(image);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.palette.size(), 16u);
  }
  {
    SCOPED_TRACE("an 8-bit image with 3 colours using indices up to 255: black beyond");
    const Bitmap image = RandomImage(16, 16, 8, 3, 2);
    const testimg::DecodedPng png = imagetest::Written(image);
    ASSERT_TRUE(png.ok);
    unsigned largest = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        largest = std::max<unsigned>(largest, image.Row(y)[x]);
      }
    }
    EXPECT_EQ(png.palette.size(), largest + 1);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const unsigned index = image.Row(15 - y)[x];
        const Rgba& got = png.picture.at(x, y);
        if (index >= 3) {
          EXPECT_EQ(got, (Rgba{0, 0, 0, 255}));
        } else {
          const auto& entry = image.Palette()[index];
          EXPECT_EQ(got, (Rgba{entry.red, entry.green, entry.blue, 255}));
        }
      }
    }
  }
}

TEST(PngWriter, CompressionLevels) {
  const Bitmap image = SmoothImage(300, 200);
  const testimg::DecodedPng reference = imagetest::Written(image, 6);
  ASSERT_TRUE(reference.ok);
  size_t stored = 0;
  size_t best = 0;
  for (int level = -1; level <= 9; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(image.EncodePng(bytes, level, false));
    const testimg::DecodedPng png = testimg::DecodePng(bytes);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(Difference(reference.picture, png.picture), "");
    EXPECT_EQ(png.chunks.front(), "IHDR");
    EXPECT_EQ(png.chunks.back(), "IEND");
    if (level == 0) {
      EXPECT_TRUE(testimg::AllStoredBlocks(png.idat));
      stored = bytes.size();
    } else {
      EXPECT_FALSE(testimg::AllStoredBlocks(png.idat));
    }
    if (level == 9) {
      best = bytes.size();
    }
  }
  // Stored data holds every byte of every row plus the filter bytes.
  EXPECT_GT(stored, 300u * 200 * 3);
  EXPECT_LT(best * 4, stored);
}

TEST(PngWriter, RowOrderAndLargeImages) {
  // 1500 x 900: several IDAT chunks and output buffers; the top row comes first.
  const Bitmap image = SmoothImage(1500, 900);
  for (bool interlace : {false, true}) {
    const testimg::DecodedPng png = imagetest::Written(image, 1, interlace);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.picture.at(0, 0),
              (Rgba{static_cast<uint8_t>(899 % 256), static_cast<uint8_t>(899 % 256), 0, 255}));
    EXPECT_EQ(png.picture.at(1499, 899),
              (Rgba{static_cast<uint8_t>(1499 % 256), 0, static_cast<uint8_t>(1499 % 256), 255}));
  }
}

TEST(PngWriter, NothingToWriteFails) {
  Bitmap empty;
  std::vector<uint8_t> bytes{1, 2, 3};
  EXPECT_FALSE(empty.EncodePng(bytes, 6, false));
  EXPECT_TRUE(bytes.empty());
}

TEST(BitmapCreate, RefusesWhatCannotBeAnImage) {
  Bitmap image;
  EXPECT_TRUE(image.Create(33, 2, 1));
  EXPECT_EQ(image.Stride(), 8u);
  EXPECT_EQ(image.Pixels().size(), 16u);
  EXPECT_FALSE(image.Create(0, 5, 24));
  EXPECT_TRUE(image.Empty());
  EXPECT_FALSE(image.Create(5, -1, 24));
  EXPECT_FALSE(image.Create(5, 5, 3));
  EXPECT_FALSE(image.Create(5, 5, 0));
  EXPECT_FALSE(image.Create(70000, 70000, 32));  // past the pixel-store bound
  EXPECT_FALSE(image.Create(0x7FFFFFFF, 0x7FFFFFFF, 32));
  EXPECT_TRUE(image.Empty());
}

TEST(CopyRect, EverySourceDepthToTwentyFourAndThirtyTwoBits) {
  for (uint32_t bits : {1u, 2u, 4u, 8u, 16u, 24u, 32u}) {
    // Indexed sources get a palette shorter than their depth where they can: the missing
    // indices must come out black.
    const size_t paletteSize = bits <= 8 ? std::max<size_t>(1, (size_t{1} << bits) - 1) : 0;
    const Bitmap source = RandomImage(21, 6, bits, paletteSize, bits + 40);
    // What libpng makes of the source as the writer stores it.
    const Picture expected = Opaque(imagetest::Written(source).picture);
    for (uint32_t targetBits : {24u, 32u}) {
      SCOPED_TRACE(std::to_string(bits) + " to " + std::to_string(targetBits) + " bits");
      Bitmap target;
      ASSERT_TRUE(target.Create(21, 6, targetBits));
      ASSERT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, 21, 6}, target, source));
      const Picture got = imagetest::Written(target).picture;
      if (bits == 32 && targetBits == 32) {
        EXPECT_EQ(Difference(imagetest::Written(source).picture, got), "");  // alpha kept
      } else {
        EXPECT_EQ(Difference(expected, got), "");
      }
    }
  }
}

TEST(CopyRect, ExactValuesAndRectangles) {
  {
    SCOPED_TRACE("5-5-5 expansion scales each field to the full range");
    Bitmap source;
    ASSERT_TRUE(source.Create(2, 1, 16));
    source.Pixels()[0] = 0xFF;  // 0x7FFF: white
    source.Pixels()[1] = 0x7F;
    source.Pixels()[2] = 0x1F;  // 0x001F: blue
    source.Pixels()[3] = 0x00;
    Bitmap target;
    ASSERT_TRUE(target.Create(2, 1, 24));
    ASSERT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, 2, 1}, target, source));
    EXPECT_EQ(std::vector<uint8_t>(target.Pixels().begin(), target.Pixels().begin() + 6),
              (std::vector<uint8_t>{255, 255, 255, 255, 0, 0}));
    Bitmap same;
    ASSERT_TRUE(same.Create(2, 1, 16));
    ASSERT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, 2, 1}, same, source));
    EXPECT_EQ(same.Pixels(), source.Pixels());
  }
  {
    SCOPED_TRACE("a rectangle inside the image");
    const Bitmap source = RandomImage(10, 8, 24, 0, 3);
    const Picture whole = imagetest::Written(source).picture;
    const BitmapRect rect{2, 1, 7, 4};  // stored rows 1..3, pixels 2..6
    Bitmap target;
    ASSERT_TRUE(target.Create(5, 3, 32));
    ASSERT_TRUE(Bitmap::CopyRect(rect, target, source));
    const Picture part = imagetest::Written(target).picture;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        // Target picture row y is source picture row (height - bottom) + y.
        EXPECT_EQ(part.at(x, y), whole.at(2 + x, 8 - 4 + y)) << x << "," << y;
      }
    }
  }
  {
    SCOPED_TRACE("pairs it does not convert and rectangles that do not fit change nothing");
    const Bitmap source = RandomImage(4, 4, 24, 0, 4);
    Bitmap indexed;
    ASSERT_TRUE(indexed.Create(4, 4, 8));
    EXPECT_FALSE(Bitmap::CopyRect(BitmapRect{0, 0, 4, 4}, indexed, source));
    Bitmap sixteen;
    ASSERT_TRUE(sixteen.Create(4, 4, 16));
    EXPECT_FALSE(Bitmap::CopyRect(BitmapRect{0, 0, 4, 4}, sixteen, source));
    Bitmap target;
    ASSERT_TRUE(target.Create(4, 4, 24));
    EXPECT_FALSE(Bitmap::CopyRect(BitmapRect{1, 0, 5, 4}, target, source));
    EXPECT_FALSE(Bitmap::CopyRect(BitmapRect{0, 0, 3, 4}, target, source));
    EXPECT_FALSE(Bitmap::CopyRect(BitmapRect{-1, 0, 3, 4}, target, source));
    EXPECT_EQ(target.Pixels(), std::vector<uint8_t>(target.Pixels().size(), 0));
  }
}

// Each reduction, chosen where it is the smallest form, shows every pixel as the unreduced PNG
// does; a grey form leaves the RGB profile out, the others keep it.
TEST(PngWriter, ReducedFormsKeepEveryPixel) {
  struct Case {
    const char* name;
    uint32_t bits;
    std::function<void(Bitmap&)> paint;
    int colorType;
    int depth;
    bool trns;
  };
  auto each = [](Bitmap& image, const std::function<void(int, int, uint8_t*)>& pixel) {
    const uint32_t bytes = image.BitCount() / 8;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) {
        pixel(x, y, image.Row(y) + x * bytes);
      }
    }
  };
  const Case cases[] = {
      {"opaque RGBA", 32,
       [&](Bitmap& b) {
         each(b, [](int x, int y, uint8_t* p) {
           p[0] = static_cast<uint8_t>(x * 3);
           p[1] = static_cast<uint8_t>(y * 5);
           p[2] = static_cast<uint8_t>(x * y);
           p[3] = 255;
         });
       },
       2, 8, false},
      {"three colours, one transparent", 32,
       [&](Bitmap& b) {
         each(b, [](int x, int y, uint8_t* p) {
           const int k = (x / 7 + y / 5) % 3;
           p[0] = static_cast<uint8_t>(k * 90);
           p[1] = 20;
           p[2] = 200;
           p[3] = k == 2 ? 0 : 255;
         });
       },
       3, 2, true},
      {"grey of 2 bits", 24,
       [&](Bitmap& b) {
         each(b, [](int x, int y, uint8_t* p) { p[0] = p[1] = p[2] = ((x + y) / 9 % 4) * 85; });
       },
       0, 2, false},
      {"grey ramp", 24,
       [&](Bitmap& b) {
         each(b,
              [](int x, int y, uint8_t* p) { p[0] = p[1] = p[2] = static_cast<uint8_t>(x + y); });
       },
       0, 8, false},
      {"grey with alpha", 32,
       [&](Bitmap& b) {
         each(b, [](int x, int y, uint8_t* p) {
           p[0] = p[1] = p[2] = static_cast<uint8_t>(x * 2);
           p[3] = static_cast<uint8_t>(y * 3);
         });
       },
       4, 8, false},
      {"two colours of a 256-entry palette", 8,
       [&](Bitmap& b) {
         b.SetGreyPalette();
         b.Palette()[40].red = 255;
         each(b, [](int x, int y, uint8_t* p) { *p = (x * y) % 5 == 0 ? 40 : 200; });
       },
       3, 1, false},
      {"5-5-5 in two colours", 16,
       [&](Bitmap& b) {
         each(b, [](int x, int, uint8_t* p) {
           p[0] = x % 3 == 0 ? 0x1F : 0xE0;
           p[1] = 0x03;
         });
       },
       3, 1, false},
      {"noise", 24,
       [&](Bitmap& b) {
         testimg::Noise noise(5);
         for (uint8_t& byte : b.Pixels()) {
           byte = static_cast<uint8_t>(noise.Next());
         }
       },
       2, 8, false},
  };
  const std::vector<uint8_t> profile = testimg::MakeIccProfile("RGB ", 300, 7);
  for (const Case& c : cases) {
    Bitmap image;
    ASSERT_TRUE(image.Create(67, 43, c.bits));
    c.paint(image);
    image.Ancillary().push_back(PngChunk{{'i', 'C', 'C', 'P'}, testimg::IccpChunkData(profile)});
    const Picture expected = ExpectedPicture(image);
    for (int level : {0, 6, 9}) {
      for (bool interlace : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << c.name << " level " << level << (interlace ? " interlaced" : ""));
        PngEncodeOptions options{level, interlace};
        options.reduce = true;
        options.pieceBytes = 1000;
        const testimg::DecodedPng png = testimg::DecodePng(EncodeWith(image, options));
        ASSERT_TRUE(png.ok);
        if (level != 0) {
          EXPECT_EQ(png.colorType, c.colorType);
          EXPECT_EQ(png.bitDepth, c.depth);
        }
        const bool grey = png.colorType == 0 || png.colorType == 4;
        EXPECT_EQ(std::count(png.chunks.begin(), png.chunks.end(), "tRNS"), c.trns ? 1 : 0);
        EXPECT_EQ(png.iccProfile.empty(), grey);
        EXPECT_EQ(Difference(expected, png.picture), "");
      }
    }
  }
}
