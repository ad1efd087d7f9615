// BMP sources: every header, bit count and compression, checked through the written PNG.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/bitmap.h"
#include "tests/image/bmp_recipes.h"
#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"

using imagetest::Convert;
using imagetest::PictureOf;
using testimg::BmpHeader;
using testimg::BmpRecipe;
using testimg::Difference;
using testimg::Picture;
using testimg::Rgba;
using namespace bmptest;

TEST(BmpReader, IndexedImagesKeepDepthPaletteAndPixels) {
  for (uint16_t bits : {1, 2, 4, 8}) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    // 33 pixels: rows end inside a byte and need padding to a word.
    const BmpRecipe recipe = IndexedRecipe(33, 7, bits, bits);
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(recipe)));
    EXPECT_EQ(image.BitCount(), bits);
    EXPECT_EQ(image.Stride(), (33u * bits + 31) / 32 * 4);
    // Colour count 0 means a full table of 2^bits entries.
    EXPECT_EQ(image.Palette().size(), size_t{1} << bits);

    const testimg::DecodedPng png = imagetest::Written(image);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 3);
    EXPECT_EQ(png.bitDepth, bits);
    EXPECT_EQ(png.palette, recipe.palette);
    EXPECT_EQ(Difference(IndexedPicture(33, 7, recipe.values, recipe.palette), png.picture), "");
  }
}

TEST(BmpReader, ShortColourTableIsPaddedSoEveryIndexStaysValid) {
  // A colour count of 4 in an 8-bit image whose pixels also use indices 4..9: those are black.
  BmpRecipe recipe = IndexedRecipe(10, 3, 8, 5);
  recipe.palette.resize(4);
  recipe.colorsUsed = 4;
  recipe.values = RandomValues(10, 3, 10, 9);
  const testimg::DecodedPng png = Convert(testimg::MakeBmp(recipe));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.palette.size(), 10u);
  EXPECT_EQ(Difference(IndexedPicture(10, 3, recipe.values, recipe.palette), png.picture), "");
}

TEST(BmpReader, DirectColourDepths) {
  const int w = 5;
  const int h = 4;
  {
    SCOPED_TRACE("24-bit");
    const BmpRecipe recipe = DirectRecipe(w, h, 24, RandomValues(w, h, 1u << 24, 3));
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(recipe));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    // The maker's 2835 pixels per metre (72 dpi) become pHYs.
    EXPECT_EQ(png.chunks, (std::vector<std::string>{"IHDR", "pHYs", "IDAT", "IEND"}));
    EXPECT_EQ(Difference(PictureOf(w, h, recipe.values), png.picture), "");
  }
  {
    SCOPED_TRACE("24-bit with a colour table: a suggested palette");
    BmpRecipe recipe = DirectRecipe(w, h, 24, RandomValues(w, h, 1u << 24, 4));
    recipe.palette = RandomPalette(3, 4);
    recipe.colorsUsed = 3;
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(recipe));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    EXPECT_EQ(png.palette, recipe.palette);
    EXPECT_EQ(Difference(PictureOf(w, h, recipe.values), png.picture), "");
  }
  {
    SCOPED_TRACE("32-bit: stored alpha is discarded, the image is opaque");
    BmpRecipe recipe = DirectRecipe(w, h, 32, RandomValues(w, h, 0xFFFFFFFFu, 5));
    for (uint32_t& v : recipe.values) {
      v &= 0x7FFFFFFF;  // alpha bytes below 128: never opaque as stored
    }
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(recipe));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 6);
    // PictureOf takes the low three bytes as the colour, every pixel opaque.
    EXPECT_EQ(Difference(PictureOf(w, h, recipe.values), png.picture), "");
  }
  {
    SCOPED_TRACE("16-bit 5-5-5");
    const BmpRecipe recipe = DirectRecipe(w, h, 16, RandomValues(w, h, 0x10000, 6));
    const Picture expected = PictureBy(w, h, recipe.values, From555);
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(recipe));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colorType, 2);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(Difference(expected, png.picture), "");
    // Interlacing is honoured for 16-bit images too.
    const testimg::DecodedPng interlaced = Convert(testimg::MakeBmp(recipe), 6, true);
    EXPECT_EQ(interlaced.interlace, 1);
    EXPECT_EQ(Difference(expected, interlaced.picture), "");
  }
}

TEST(BmpReader, BitFieldMasksAreHonoured) {
  const int w = 6;
  const int h = 3;
  {
    SCOPED_TRACE("5-6-5 is not 5-5-5");
    BmpRecipe recipe =
        BitFieldRecipe(w, h, 16, 0xF800, 0x07E0, 0x001F, RandomValues(w, h, 0x10000, 7));
    recipe.values[0] = 0xF800;  // pure red
    recipe.values[1] = 0x07E0;  // pure green
    const Picture expected = PictureBy(w, h, recipe.values, From565);
    EXPECT_EQ(expected.at(0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(expected.at(1, 0), (Rgba{0, 255, 0, 255}));
    for (BmpHeader header : {BmpHeader::kInfo40, BmpHeader::kV3_56, BmpHeader::kV5_124}) {
      recipe.header = header;
      EXPECT_EQ(ConvertedDifference(recipe, expected), "") << "header " << HeaderBytes(header);
    }
  }
  {
    SCOPED_TRACE("5-5-5 masks read as plain 16-bit");
    const BmpRecipe recipe =
        BitFieldRecipe(w, h, 16, 0x7C00, 0x03E0, 0x001F, RandomValues(w, h, 0x8000, 8));
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(recipe)));
    EXPECT_EQ(image.BitCount(), 16u);
    EXPECT_EQ(
        Difference(PictureBy(w, h, recipe.values, From555), imagetest::Written(image).picture), "");
  }
  {
    SCOPED_TRACE("32-bit with the channels in other bytes");
    const BmpRecipe recipe = BitFieldRecipe(w, h, 32, 0x0000FF00, 0x00FF0000, 0xFF000000,
                                            RandomValues(w, h, 0xFFFFFFFFu, 9));
    const Picture expected = PictureBy(w, h, recipe.values, [](uint32_t v) {
      return Rgba{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24), 255};
    });
    EXPECT_EQ(ConvertedDifference(recipe, expected), "");
  }
}

TEST(BmpReader, AlphaNamedByTheHeaderIsCarried) {
  const int w = 5;
  const int h = 3;
  auto argb = [](uint32_t v) {
    return Rgba{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 24)};
  };
  auto argb4444 = [](uint32_t v) {
    return Rgba{static_cast<uint8_t>(((v >> 8) & 15) * 17),
                static_cast<uint8_t>(((v >> 4) & 15) * 17), static_cast<uint8_t>((v & 15) * 17),
                static_cast<uint8_t>((v >> 12) * 17)};
  };
  struct Case {
    const char* what;
    BmpHeader header;
    uint16_t bits;
    uint32_t compression;
    uint32_t masks[4];
    bool transparent;  // every alpha 0: the mask was filled, the channel not
    bool carried;
  };
  const Case cases[] = {
      {"V5 bit fields",
       BmpHeader::kV5_124,
       32,
       3,
       {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
       false,
       true},
      {"V4 bit fields",
       BmpHeader::kV4_108,
       32,
       3,
       {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
       false,
       true},
      {"BI_ALPHABITFIELDS",
       BmpHeader::kInfo40,
       32,
       6,
       {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
       false,
       true},
      {"V5 4-4-4-4", BmpHeader::kV5_124, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, false, true},
      {"V5, every alpha 0",
       BmpHeader::kV5_124,
       32,
       3,
       {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
       true,
       false},
      {"V5, alpha mask over a colour",
       BmpHeader::kV5_124,
       32,
       3,
       {0xFF0000, 0xFF00, 0xFF, 0xFF},
       false,
       false},
      {"V5 without bit fields", BmpHeader::kV5_124, 32, 0, {0, 0, 0, 0xFF000000}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint32_t> values =
        RandomValues(w, h, c.bits == 16 ? 0x10000 : 0xFFFFFFFFu, 70 + c.bits);
    for (uint32_t& v : values) {
      v = c.transparent ? v & 0x00FFFFFF : v;
    }
    BmpRecipe recipe = DirectRecipe(w, h, c.bits, values);
    recipe.header = c.header;
    recipe.compression = c.compression;
    std::copy(c.masks, c.masks + 4, recipe.masks);
    recipe.writeMasks = c.compression != 0;
    Picture expected = PictureBy(w, h, values, c.bits == 16 ? +argb4444 : +argb);
    for (Rgba& pixel : expected.pixels) {
      pixel.a = c.carried ? pixel.a : 255;
    }
    EXPECT_EQ(ConvertedDifference(recipe, expected), "");
  }
}

// Every field width a 32-bit pixel can give a colour or alpha, 1 to 16 bits, reaches the full
// 8-bit range by rounding: a full field is 255, an empty one 0, and a middle value the nearest.
TEST(BmpReader, BitFieldsOfEveryWidthReachTheFullRange) {
  for (uint32_t width = 1; width <= 16; ++width) {
    SCOPED_TRACE("field width " + std::to_string(width));
    const uint32_t max = (1u << width) - 1;
    // Red in the low bits, green above it when there is room, blue above that.
    const uint32_t red = max;
    const uint32_t green = width <= 10 ? max << width : 0;
    const uint32_t blueShift = width <= 10 ? 2 * width : width;
    const std::vector<uint32_t> fields = {max, 0, max / 2, 1};
    std::vector<uint32_t> values;
    for (uint32_t f : fields) {
      values.push_back(f | (green != 0 ? f << width : 0) | f << blueShift);
    }
    BmpRecipe recipe = DirectRecipe(4, 1, 32, values);
    recipe.header = BmpHeader::kV5_124;
    UseBitFields(recipe, 32, red, green, max << blueShift);
    Picture expected(4, 1);
    for (size_t i = 0; i < fields.size(); ++i) {
      const uint8_t c = Scaled(fields[i], max);
      expected.pixels[i] = Rgba{c, green != 0 ? c : uint8_t{0}, c, 255};
    }
    EXPECT_EQ(ConvertedDifference(recipe, expected), "");

    SCOPED_TRACE("as alpha, in the top 16 bits");
    for (size_t i = 0; i < fields.size(); ++i) {
      recipe.values[i] = fields[i] << 16 | 0xFF;  // red full
      expected.pixels[i] = Rgba{255, 0, 0, Scaled(fields[i], max)};
    }
    UseBitFields(recipe, 32, 0xFF, 0xFF00, 0);
    recipe.masks[3] = max << 16;
    EXPECT_EQ(ConvertedDifference(recipe, expected), "");
  }
  EXPECT_EQ(Scaled(1, 3), 85);
  EXPECT_EQ(Scaled(16, 31), 132);  // 131.6: rounded, not cut
}

TEST(BmpReader, RunLengthEncodedImagesAreDecoded) {
  for (uint16_t bits : {4, 8}) {
    SCOPED_TRACE("RLE" + std::to_string(bits));
    const int w = 37;
    const int h = 9;
    BmpRecipe recipe = DirectRecipe(w, h, bits, RunnyValues(w, h, 1u << bits, 12 + bits));
    recipe.compression = bits == 8 ? 1 : 2;
    recipe.palette = RandomPalette(size_t{1} << bits, 11);
    recipe.data = bits == 8 ? testimg::EncodeRle8(w, h, recipe.values)
                            : testimg::EncodeRle4(w, h, recipe.values);
    recipe.imageSizeField = static_cast<uint32_t>(recipe.data.size());
    EXPECT_EQ(ConvertedDifference(recipe, IndexedPicture(w, h, recipe.values, recipe.palette)), "");
  }
}

TEST(BmpReader, RunLengthDeltaAndEarlyEndLeaveSkippedPixelsZero) {
  // 6 x 4 RLE8, stored bottom row first. Row 0: run of 3 x index 1, delta (+2, +1) to (5, row 1),
  // one pixel index 2, end of line (to row 2), absolute run 3,4,5 (odd: one pad byte), a run of
  // 9 pixels of which the last 6 fall off the row, then end of bitmap. Row 3 is never reached.
  BmpRecipe recipe = DirectRecipe(6, 4, 8, {});
  recipe.compression = 1;
  recipe.palette = RandomPalette(256, 21);
  recipe.data = {3, 1, 0, 2, 2, 1, 1, 2, 0, 0, 0, 3, 3, 4, 5, 0, 9, 6, 0, 1};
  const Rgba z = recipe.palette[0];
  const Rgba p1 = recipe.palette[1];
  const Rgba p2 = recipe.palette[2];
  const Rgba p3 = recipe.palette[3];
  const Rgba p4 = recipe.palette[4];
  const Rgba p5 = recipe.palette[5];
  const Rgba p6 = recipe.palette[6];
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
  EXPECT_EQ(ConvertedDifference(recipe, expected), "");

  // RLE4 with an encoded run of two alternating nibbles.
  BmpRecipe four = DirectRecipe(5, 1, 4, {});
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
    BmpRecipe recipe;
    Picture expected;
    if (c.bits <= 8) {
      recipe = IndexedRecipe(w, h, c.bits, c.bits + 30);
      expected = IndexedPicture(w, h, recipe.values, recipe.palette);
    } else {
      recipe =
          DirectRecipe(w, h, c.bits, RandomValues(w, h, c.bits == 24 ? 1u << 24 : 0xFFFFFFFFu, 32));
      expected = PictureOf(w, h, recipe.values);  // the low three bytes, opaque
    }
    recipe.header = c.header;
    EXPECT_EQ(ConvertedDifference(recipe, expected), "");
  }
}

TEST(BmpReader, TopDownRowsAreFlipped) {
  for (uint16_t bits : {8, 24, 32}) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    const int w = 4;
    const int h = 5;
    BmpRecipe recipe;
    Picture expected;
    if (bits == 8) {
      recipe = IndexedRecipe(w, h, 8, 40);
      expected = IndexedPicture(w, h, recipe.values, recipe.palette);
    } else {
      recipe = DirectRecipe(w, h, bits, RandomValues(w, h, 1u << 24, 42));
      expected = PictureOf(w, h, recipe.values);
    }
    recipe.topDown = true;
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(recipe)));
    EXPECT_EQ(image.Height(), h);
    EXPECT_EQ(Difference(expected, imagetest::Written(image).picture), "");
  }
}
