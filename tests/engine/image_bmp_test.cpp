// BMP sources: every header, bit count and compression, checked through the written PNG.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/bitmap.h"
#include "tests/engine/image_checks.h"
#include "tests/support/image_makers.h"

using imagetest::Convert;
using imagetest::PictureOf;
using testimg::BmpHeader;
using testimg::BmpSpec;
using testimg::Difference;
using testimg::Picture;
using testimg::Rgba;

namespace {

std::vector<Rgba> RandomPalette(size_t count, uint32_t seed) {
  testimg::Noise noise(seed);
  std::vector<Rgba> palette(count);
  for (Rgba& c : palette) {
    const uint32_t v = noise.Next();
    c = Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             255};
  }
  return palette;
}

std::vector<uint32_t> RandomValues(int width, int height, uint32_t limit, uint32_t seed) {
  testimg::Noise noise(seed);
  std::vector<uint32_t> values(static_cast<size_t>(width) * height);
  for (uint32_t& v : values) {
    v = noise.Below(limit);
  }
  return values;
}

// Values with runs, as RLE encoders meet them: stretches of one value and mixed stretches.
std::vector<uint32_t> RunnyValues(int width, int height, uint32_t limit, uint32_t seed) {
  testimg::Noise noise(seed);
  std::vector<uint32_t> values;
  while (values.size() < static_cast<size_t>(width) * height) {
    const uint32_t run = 1 + noise.Below(noise.Below(2) == 0 ? 3 : 40);
    const uint32_t v = noise.Below(limit);
    for (uint32_t i = 0; i < run; ++i) {
      values.push_back(noise.Below(4) == 0 && run < 4 ? noise.Below(limit) : v);
    }
  }
  values.resize(static_cast<size_t>(width) * height);
  return values;
}

Picture IndexedPicture(int width, int height, const std::vector<uint32_t>& values,
                       const std::vector<Rgba>& palette) {
  Picture picture(width, height);
  for (size_t i = 0; i < values.size(); ++i) {
    picture.pixels[i] = values[i] < palette.size() ? palette[values[i]] : Rgba{0, 0, 0, 255};
  }
  return picture;
}

// The picture of `values` (top row first) with each pixel's colour given by `colour`.
Picture PictureBy(int width, int height, const std::vector<uint32_t>& values,
                  Rgba (*colour)(uint32_t)) {
  Picture picture(width, height);
  for (size_t i = 0; i < values.size(); ++i) {
    picture.pixels[i] = colour(values[i]);
  }
  return picture;
}

Rgba From555(uint32_t v) {
  return Rgba{static_cast<uint8_t>(((v >> 10) & 31) << 3),
              static_cast<uint8_t>(((v >> 5) & 31) << 3), static_cast<uint8_t>((v & 31) << 3), 255};
}

Rgba From565(uint32_t v) {
  return Rgba{static_cast<uint8_t>(((v >> 11) & 31) << 3),
              static_cast<uint8_t>(((v >> 5) & 63) << 2), static_cast<uint8_t>((v & 31) << 3), 255};
}

// A plain BMP of these pixel values (see BmpSpec::values for their meaning at each depth).
BmpSpec DirectSpec(int width, int height, uint16_t bits, std::vector<uint32_t> values) {
  BmpSpec spec;
  spec.width = width;
  spec.height = height;
  spec.bitCount = bits;
  spec.values = std::move(values);
  return spec;
}

BmpSpec IndexedSpec(int width, int height, uint16_t bits, uint32_t seed) {
  BmpSpec spec = DirectSpec(width, height, bits, RandomValues(width, height, 1u << bits, seed + 1));
  spec.palette = RandomPalette(size_t{1} << bits, seed);
  return spec;
}

// A bit-field BMP (after a 40-byte header unless `header` says otherwise) with these masks for
// red, green and blue.
BmpSpec BitFieldSpec(int width, int height, uint16_t bits, uint32_t red, uint32_t green,
                     uint32_t blue, std::vector<uint32_t> values) {
  BmpSpec spec = DirectSpec(width, height, bits, std::move(values));
  spec.compression = 3;
  spec.writeMasks = true;
  spec.masks[0] = red;
  spec.masks[1] = green;
  spec.masks[2] = blue;
  return spec;
}

// How the PNG converted from the BMP of `spec` differs from `expected` ("" when it shows
// exactly that picture).
std::string ConvertedDifference(const BmpSpec& spec, const Picture& expected) {
  const testimg::DecodedPng png = Convert(testimg::MakeBmp(spec));
  if (!png.ok) {
    return "the BMP did not convert";
  }
  return Difference(expected, png.picture);
}

}  // namespace

TEST(BmpReader, IndexedImagesKeepDepthPaletteAndPixels) {
  for (uint16_t bits : {1, 2, 4, 8}) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    // 33 pixels: rows end inside a byte and need padding to a word.
    const BmpSpec spec = IndexedSpec(33, 7, bits, bits);
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(spec)));
    EXPECT_EQ(image.BitCount(), bits);
    EXPECT_EQ(image.Stride(), (33u * bits + 31) / 32 * 4);
    // Colour count 0 means a full table of 2^bits entries.
    EXPECT_EQ(image.Palette().size(), size_t{1} << bits);

    const testimg::DecodedPng png = imagetest::Written(image);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 3);
    EXPECT_EQ(png.bitDepth, bits);
    EXPECT_EQ(png.palette, spec.palette);
    EXPECT_EQ(Difference(IndexedPicture(33, 7, spec.values, spec.palette), png.picture), "");
  }
}

TEST(BmpReader, ShortColourTableIsPaddedSoEveryIndexStaysValid) {
  // A colour count of 4 in an 8-bit image whose pixels also use indices 4..9: those are black.
  BmpSpec spec = IndexedSpec(10, 3, 8, 5);
  spec.palette.resize(4);
  spec.colorsUsed = 4;
  spec.values = RandomValues(10, 3, 10, 9);
  const testimg::DecodedPng png = Convert(testimg::MakeBmp(spec));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.palette.size(), 10u);
  EXPECT_EQ(Difference(IndexedPicture(10, 3, spec.values, spec.palette), png.picture), "");
}

TEST(BmpReader, DirectColourDepths) {
  const int w = 5;
  const int h = 4;
  {
    SCOPED_TRACE("24-bit");
    const BmpSpec spec = DirectSpec(w, h, 24, RandomValues(w, h, 1u << 24, 3));
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(spec));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    EXPECT_EQ(png.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(Difference(PictureOf(w, h, spec.values), png.picture), "");
  }
  {
    SCOPED_TRACE("24-bit with a colour table: a suggested palette");
    BmpSpec spec = DirectSpec(w, h, 24, RandomValues(w, h, 1u << 24, 4));
    spec.palette = RandomPalette(3, 4);
    spec.colorsUsed = 3;
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(spec));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    EXPECT_EQ(png.palette, spec.palette);
    EXPECT_EQ(Difference(PictureOf(w, h, spec.values), png.picture), "");
  }
  {
    SCOPED_TRACE("32-bit: stored alpha is discarded, the image is opaque");
    BmpSpec spec = DirectSpec(w, h, 32, RandomValues(w, h, 0xFFFFFFFFu, 5));
    for (uint32_t& v : spec.values) {
      v &= 0x7FFFFFFF;  // alpha bytes below 128: never opaque as stored
    }
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(spec));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 6);
    // PictureOf takes the low three bytes as the colour, every pixel opaque.
    EXPECT_EQ(Difference(PictureOf(w, h, spec.values), png.picture), "");
  }
  {
    SCOPED_TRACE("16-bit 5-5-5");
    const BmpSpec spec = DirectSpec(w, h, 16, RandomValues(w, h, 0x10000, 6));
    const Picture expected = PictureBy(w, h, spec.values, From555);
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(spec));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(Difference(expected, png.picture), "");
    // Interlacing is honoured for 16-bit images too.
    const testimg::DecodedPng interlaced = Convert(testimg::MakeBmp(spec), 6, true);
    EXPECT_EQ(interlaced.interlace, 1);
    EXPECT_EQ(Difference(expected, interlaced.picture), "");
  }
}

TEST(BmpReader, BitFieldMasksAreHonoured) {
  const int w = 6;
  const int h = 3;
  {
    SCOPED_TRACE("5-6-5 is not 5-5-5");
    BmpSpec spec = BitFieldSpec(w, h, 16, 0xF800, 0x07E0, 0x001F, RandomValues(w, h, 0x10000, 7));
    spec.values[0] = 0xF800;  // pure red
    spec.values[1] = 0x07E0;  // pure green
    const Picture expected = PictureBy(w, h, spec.values, From565);
    EXPECT_EQ(expected.at(0, 0), (Rgba{248, 0, 0, 255}));
    EXPECT_EQ(expected.at(1, 0), (Rgba{0, 252, 0, 255}));
    for (BmpHeader header : {BmpHeader::kInfo40, BmpHeader::kV3_56, BmpHeader::kV5_124}) {
      spec.header = header;
      EXPECT_EQ(ConvertedDifference(spec, expected), "") << "header " << HeaderBytes(header);
    }
  }
  {
    SCOPED_TRACE("5-5-5 masks read as plain 16-bit");
    const BmpSpec spec =
        BitFieldSpec(w, h, 16, 0x7C00, 0x03E0, 0x001F, RandomValues(w, h, 0x8000, 8));
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(spec)));
    EXPECT_EQ(image.BitCount(), 16u);
    EXPECT_EQ(Difference(PictureBy(w, h, spec.values, From555), imagetest::Written(image).picture),
              "");
  }
  {
    SCOPED_TRACE("32-bit with the channels in other bytes");
    const BmpSpec spec = BitFieldSpec(w, h, 32, 0x0000FF00, 0x00FF0000, 0xFF000000,
                                      RandomValues(w, h, 0xFFFFFFFFu, 9));
    const Picture expected = PictureBy(w, h, spec.values, [](uint32_t v) {
      return Rgba{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24), 255};
    });
    EXPECT_EQ(ConvertedDifference(spec, expected), "");
  }
}

TEST(BmpReader, RunLengthEncodedImagesAreDecoded) {
  for (uint16_t bits : {4, 8}) {
    SCOPED_TRACE("RLE" + std::to_string(bits));
    const int w = 37;
    const int h = 9;
    BmpSpec spec = DirectSpec(w, h, bits, RunnyValues(w, h, 1u << bits, 12 + bits));
    spec.compression = bits == 8 ? 1 : 2;
    spec.palette = RandomPalette(size_t{1} << bits, 11);
    spec.data =
        bits == 8 ? testimg::EncodeRle8(w, h, spec.values) : testimg::EncodeRle4(w, h, spec.values);
    spec.imageSizeField = static_cast<uint32_t>(spec.data.size());
    EXPECT_EQ(ConvertedDifference(spec, IndexedPicture(w, h, spec.values, spec.palette)), "");
  }
}

TEST(BmpReader, RunLengthDeltaAndEarlyEndLeaveSkippedPixelsZero) {
  // 6 x 4 RLE8, stored bottom row first. Row 0: run of 3 x index 1, delta (+2, +1) to (5, row 1),
  // one pixel index 2, end of line (to row 2), absolute run 3,4,5 (odd: one pad byte), a run of
  // 9 pixels of which the last 6 fall off the row, then end of bitmap. Row 3 is never reached.
  BmpSpec spec = DirectSpec(6, 4, 8, {});
  spec.compression = 1;
  spec.palette = RandomPalette(256, 21);
  spec.data = {3, 1, 0, 2, 2, 1, 1, 2, 0, 0, 0, 3, 3, 4, 5, 0, 9, 6, 0, 1};
  const Rgba z = spec.palette[0];
  const Rgba p1 = spec.palette[1];
  const Rgba p2 = spec.palette[2];
  const Rgba p3 = spec.palette[3];
  const Rgba p4 = spec.palette[4];
  const Rgba p5 = spec.palette[5];
  const Rgba p6 = spec.palette[6];
  Picture expected(6, 4);
  const Rgba rows[4][6] = {
      {z, z, z, z, z, z},        // picture top = stored row 3
      {p3, p4, p5, p6, p6, p6},  // stored row 2
      {z, z, z, z, z, p2},       // stored row 1
      {p1, p1, p1, z, z, z},     // stored row 0
  };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      expected.at(x, y) = rows[y][x];
    }
  }
  EXPECT_EQ(ConvertedDifference(spec, expected), "");

  // RLE4 with an encoded run of two alternating nibbles.
  BmpSpec four = DirectSpec(5, 1, 4, {});
  four.compression = 2;
  four.palette = RandomPalette(16, 22);
  four.data = {5, 0x1A, 0, 1};
  EXPECT_EQ(ConvertedDifference(four, IndexedPicture(5, 1, {1, 10, 1, 10, 1}, four.palette)), "");
}

TEST(BmpReader, OtherHeaders) {
  struct Case {
    BmpHeader header;
    uint16_t bits;
  };
  const Case cases[] = {
      {BmpHeader::kCore12, 1},     {BmpHeader::kCore12, 4},     {BmpHeader::kCore12, 8},
      {BmpHeader::kCore12, 24},    {BmpHeader::kOs2Short16, 8}, {BmpHeader::kOs2Full64, 4},
      {BmpHeader::kOs2Full64, 24}, {BmpHeader::kV2_52, 8},      {BmpHeader::kV4_108, 8},
      {BmpHeader::kV4_108, 24},    {BmpHeader::kV5_124, 24},    {BmpHeader::kV5_124, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("header " + std::to_string(HeaderBytes(c.header)) + ", bits " +
                 std::to_string(c.bits));
    const int w = 11;
    const int h = 5;
    BmpSpec spec;
    Picture expected;
    if (c.bits <= 8) {
      spec = IndexedSpec(w, h, c.bits, c.bits + 30);
      expected = IndexedPicture(w, h, spec.values, spec.palette);
    } else {
      spec =
          DirectSpec(w, h, c.bits, RandomValues(w, h, c.bits == 24 ? 1u << 24 : 0xFFFFFFFFu, 32));
      expected = PictureOf(w, h, spec.values);  // the low three bytes, opaque
    }
    spec.header = c.header;
    EXPECT_EQ(ConvertedDifference(spec, expected), "");
  }
}

TEST(BmpReader, TopDownRowsAreFlipped) {
  for (uint16_t bits : {8, 24, 32}) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    const int w = 4;
    const int h = 5;
    BmpSpec spec;
    Picture expected;
    if (bits == 8) {
      spec = IndexedSpec(w, h, 8, 40);
      expected = IndexedPicture(w, h, spec.values, spec.palette);
    } else {
      spec = DirectSpec(w, h, bits, RandomValues(w, h, 1u << 24, 42));
      expected = PictureOf(w, h, spec.values);
    }
    spec.topDown = true;
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(spec)));
    EXPECT_EQ(image.Height(), h);
    EXPECT_EQ(Difference(expected, imagetest::Written(image).picture), "");
  }
}

TEST(BmpReader, ShortOrOddlyPlacedPixelData) {
  const int w = 3;
  const int h = 4;
  const BmpSpec spec = DirectSpec(w, h, 24, RandomValues(w, h, 1u << 24, 50));
  const Picture full = PictureOf(w, h, spec.values);
  {
    SCOPED_TRACE("data cut after one and a half stored rows: the rest is black");
    BmpSpec cut = spec;
    cut.keepDataBytes = 12 + 6;  // stride 12
    Picture expected = full;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int stored = h - 1 - y;
        if (stored > 1 || (stored == 1 && x >= 2)) {
          expected.at(x, y) = Rgba{0, 0, 0, 255};
        }
      }
    }
    EXPECT_EQ(ConvertedDifference(cut, expected), "");
  }
  for (bool masked : {false, true}) {
    SCOPED_TRACE(masked ? "32-bit bit fields cut short: opaque black"
                        : "32-bit cut short: opaque black");
    const std::vector<uint32_t> values = RandomValues(w, h, 0xFFFFFF, 52);
    BmpSpec cut = masked ? BitFieldSpec(w, h, 32, 0xFF00, 0xFF0000, 0xFF000000, values)
                         : DirectSpec(w, h, 32, values);
    cut.keepDataBytes = 4 * w;  // the bottom row only
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(cut));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.picture.at(0, 0), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(png.picture.at(w - 1, h - 2), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(png.picture.at(0, h - 1).a, 255);
  }
  {
    SCOPED_TRACE("an image-size field smaller than the data does not cut the image");
    BmpSpec small = spec;
    small.imageSizeField = 12;
    EXPECT_EQ(ConvertedDifference(small, full), "");
  }
  {
    SCOPED_TRACE("no data offset: the pixels follow the colour table");
    BmpSpec noOffset = IndexedSpec(w, h, 4, 51);
    noOffset.writeDataOffset = false;
    EXPECT_EQ(
        ConvertedDifference(noOffset, IndexedPicture(w, h, noOffset.values, noOffset.palette)), "");
  }
}

TEST(BmpReader, HeadersThatMakeNoSenseFailToRead) {
  const BmpSpec good = IndexedSpec(4, 4, 8, 60);
  ASSERT_TRUE(Bitmap().LoadFromMemory(testimg::MakeBmp(good)));
  struct Case {
    const char* what;
    void (*change)(BmpSpec&);
  };
  const Case cases[] = {
      {"width 0", [](BmpSpec& s) { s.width = 0; }},
      {"height 0", [](BmpSpec& s) { s.height = 0; }},
      {"negative width", [](BmpSpec& s) { s.width = -4; }},
      {"bit count 3", [](BmpSpec& s) { s.bitCount = 3; }},
      {"bit count 64", [](BmpSpec& s) { s.bitCount = 64; }},
      {"300 colours", [](BmpSpec& s) { s.colorsUsed = 300; }},
      {"JPEG inside", [](BmpSpec& s) { s.compression = 4; }},
      {"PNG inside", [](BmpSpec& s) { s.compression = 5; }},
      {"unknown compression", [](BmpSpec& s) { s.compression = 11; }},
      {"RLE8 on a 4-bit image",
       [](BmpSpec& s) {
         s.bitCount = 4;
         s.compression = 1;
       }},
      {"bit fields on an 8-bit image", [](BmpSpec& s) { s.compression = 3; }},
      {"top-down RLE",
       [](BmpSpec& s) {
         s.compression = 1;
         s.topDown = true;
       }},
      {"OS/2 Huffman coding",
       [](BmpSpec& s) {
         s.header = BmpHeader::kOs2Full64;
         s.bitCount = 1;
         s.compression = 3;
         s.palette.resize(2);
       }},
      {"non-contiguous mask",
       [](BmpSpec& s) {
         s.bitCount = 16;
         s.compression = 3;
         s.writeMasks = true;
         s.masks[0] = 0xF00F;
         s.masks[1] = 0x07E0;
         s.masks[2] = 0x0010;
       }},
      {"overlapping masks",
       [](BmpSpec& s) {
         s.bitCount = 32;
         s.compression = 3;
         s.writeMasks = true;
         s.masks[0] = 0xFF0000;
         s.masks[1] = 0xFFFF00;
         s.masks[2] = 0xFF;
       }},
  };
  for (const Case& c : cases) {
    BmpSpec spec = good;
    c.change(spec);
    spec.data.assign(64, 0);
    Bitmap image;
    EXPECT_FALSE(image.LoadFromMemory(testimg::MakeBmp(spec))) << c.what;
    EXPECT_TRUE(image.Empty()) << c.what;
  }
  // An information header of a size no BMP variant has.
  std::vector<uint8_t> bytes = testimg::MakeBmp(good);
  bytes[14] = 20;
  EXPECT_FALSE(Bitmap().LoadFromMemory(bytes));
}

TEST(BmpReader, HugeDeclaredSizesFailBeforeAnyAllocation) {
  // 60000 x 60000 at 24 bits would be 10 GiB; 2^31-1 x 2^31-1 overflows 32-bit arithmetic.
  for (int32_t side : {60000, 0x7FFFFFFF}) {
    BmpSpec spec = DirectSpec(side, side, 24, {});
    spec.data.assign(16, 0x55);
    EXPECT_FALSE(Bitmap().LoadFromMemory(testimg::MakeBmp(spec))) << side;
  }
  // A size within the bound reads, however wide.
  BmpSpec wide = DirectSpec(1 << 20, 1, 1, {});
  wide.palette = RandomPalette(2, 70);
  wide.data.assign(16, 0xFF);
  Bitmap image;
  ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(wide)));
  EXPECT_EQ(image.Stride(), (1u << 20) / 8);
}

TEST(BmpReader, DamagedHeadersNeverGiveAnImageThatCannotBeWritten) {
  // Flip bytes in the headers, colour tables and RLE data of valid files. Whatever loads must be
  // a consistent image that the writer accepts; nothing crashes or reads out of bounds.
  std::vector<BmpSpec> specs = {IndexedSpec(19, 7, 1, 80), IndexedSpec(19, 7, 4, 81),
                                IndexedSpec(19, 7, 8, 82)};
  BmpSpec rle = IndexedSpec(19, 7, 8, 83);
  rle.compression = 1;
  rle.values = RunnyValues(19, 7, 256, 84);
  rle.data = testimg::EncodeRle8(19, 7, rle.values);
  specs.push_back(rle);
  BmpSpec fields =
      BitFieldSpec(19, 7, 16, 0xF800, 0x07E0, 0x001F, RandomValues(19, 7, 0x10000, 85));
  fields.header = BmpHeader::kV5_124;
  specs.push_back(fields);
  testimg::Noise noise(86);
  for (const BmpSpec& spec : specs) {
    const std::vector<uint8_t> good = testimg::MakeBmp(spec);
    for (int round = 0; round < 150; ++round) {
      std::vector<uint8_t> bytes = good;
      const uint32_t reach = std::min<uint32_t>(static_cast<uint32_t>(bytes.size()), 200);
      for (int i = 1 + static_cast<int>(noise.Below(3)); i > 0; --i) {
        const uint32_t at = 2 + noise.Below(reach - 2);
        // The high bytes of width and height are left alone: sizes up to the bound are valid
        // and would only make the test slow and large. Their checks are tested above.
        if ((at >= 19 && at <= 21) || (at >= 23 && at <= 25)) {
          continue;
        }
        bytes[at] = static_cast<uint8_t>(noise.Next());
      }
      Bitmap image;
      if (!image.LoadFromMemory(bytes)) {
        EXPECT_TRUE(image.Empty());
        continue;
      }
      EXPECT_EQ(image.Pixels().size(), static_cast<size_t>(image.Stride()) * image.Height());
      EXPECT_EQ(image.Stride(), Bitmap::StrideFor(image.Width(), image.BitCount()));
      std::vector<uint8_t> png;
      EXPECT_TRUE(image.EncodePng(png, 1, false)) << "round " << round;
    }
  }
}
