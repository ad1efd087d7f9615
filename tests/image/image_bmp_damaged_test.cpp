// Damaged and hostile BMP sources: pixel data cut short or placed oddly, headers that make no
// sense, sizes past the bound, and random damage, which must give a clean failure or an image
// the writer accepts.
#include <gtest/gtest.h>

#include <algorithm>
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
using testimg::Picture;
using testimg::Rgba;
using namespace bmptest;

TEST(BmpReader, ShortOrOddlyPlacedPixelData) {
  const int w = 3;
  const int h = 4;
  const BmpRecipe recipe = DirectRecipe(w, h, 24, RandomValues(w, h, 1u << 24, 50));
  const Picture full = PictureOf(w, h, recipe.values);
  {
    SCOPED_TRACE("data cut after one and a half stored rows: the rest is black");
    BmpRecipe cut = recipe;
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
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(cut)));
    EXPECT_TRUE(image.Notes().truncated);
    EXPECT_EQ(image.Notes().bytesExpected, image.Notes().bytesPresent + 48 - 18);
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(recipe)));
    EXPECT_FALSE(image.Notes().truncated);
  }
  for (bool masked : {false, true}) {
    SCOPED_TRACE(masked ? "32-bit bit fields cut short: opaque black"
                        : "32-bit cut short: opaque black");
    const std::vector<uint32_t> values = RandomValues(w, h, 0xFFFFFF, 52);
    BmpRecipe cut = masked ? BitFieldRecipe(w, h, 32, 0xFF00, 0xFF0000, 0xFF000000, values)
                           : DirectRecipe(w, h, 32, values);
    cut.keepDataBytes = 4 * w;  // the bottom row only
    const testimg::DecodedPng png = Convert(testimg::MakeBmp(cut));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.picture.at(0, 0), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(png.picture.at(w - 1, h - 2), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(png.picture.at(0, h - 1).a, 255);
  }
  {
    SCOPED_TRACE("a header declaring far more pixels than the file holds fails to read");
    BmpRecipe big = DirectRecipe(4000, 4000, 24, std::vector<uint32_t>(4000u * 4000u, 0x336699));
    big.keepDataBytes = 48000000 / 64 - 1;  // stride 12000, 4000 rows
    EXPECT_FALSE(Bitmap().LoadFromMemory(testimg::MakeBmp(big)));
    big.keepDataBytes = 48000000 / 64;  // a sixty-fourth decodes, the rest black
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(big)));
    EXPECT_EQ(image.Width(), 4000);
  }
  {
    SCOPED_TRACE("an image-size field smaller than the data does not cut the image");
    BmpRecipe small = recipe;
    small.imageSizeField = 12;
    EXPECT_EQ(ConvertedDifference(small, full), "");
  }
  {
    SCOPED_TRACE("no data offset: the pixels follow the colour table");
    BmpRecipe noOffset = IndexedRecipe(w, h, 4, 51);
    noOffset.writeDataOffset = false;
    EXPECT_EQ(
        ConvertedDifference(noOffset, IndexedPicture(w, h, noOffset.values, noOffset.palette)), "");
  }
}

TEST(BmpReader, HeadersThatMakeNoSenseFailToRead) {
  const BmpRecipe good = IndexedRecipe(4, 4, 8, 60);
  ASSERT_TRUE(Bitmap().LoadFromMemory(testimg::MakeBmp(good)));
  struct Case {
    const char* what;
    void (*change)(BmpRecipe&);
  };
  const Case cases[] = {
      {"width 0", [](BmpRecipe& s) { s.width = 0; }},
      {"height 0", [](BmpRecipe& s) { s.height = 0; }},
      {"negative width", [](BmpRecipe& s) { s.width = -4; }},
      {"bit count 3", [](BmpRecipe& s) { s.bitCount = 3; }},
      {"bit count 64", [](BmpRecipe& s) { s.bitCount = 64; }},
      {"300 colours", [](BmpRecipe& s) { s.colorsUsed = 300; }},
      {"JPEG inside", [](BmpRecipe& s) { s.compression = 4; }},
      {"PNG inside", [](BmpRecipe& s) { s.compression = 5; }},
      {"unknown compression", [](BmpRecipe& s) { s.compression = 11; }},
      {"RLE8 on a 4-bit image",
       [](BmpRecipe& s) {
         s.bitCount = 4;
         s.compression = 1;
       }},
      {"bit fields on an 8-bit image", [](BmpRecipe& s) { s.compression = 3; }},
      {"top-down RLE",
       [](BmpRecipe& s) {
         s.compression = 1;
         s.topDown = true;
       }},
      {"OS/2 Huffman coding",
       [](BmpRecipe& s) {
         s.header = BmpHeader::kOs2Full64;
         s.bitCount = 1;
         s.compression = 3;
         s.palette.resize(2);
       }},
      {"non-contiguous mask", [](BmpRecipe& s) { UseBitFields(s, 16, 0xF00F, 0x07E0, 0x0010); }},
      {"overlapping masks", [](BmpRecipe& s) { UseBitFields(s, 32, 0xFF0000, 0xFFFF00, 0xFF); }},
  };
  for (const Case& c : cases) {
    BmpRecipe recipe = good;
    c.change(recipe);
    recipe.data.assign(64, 0);
    Bitmap image;
    EXPECT_FALSE(image.LoadFromMemory(testimg::MakeBmp(recipe))) << c.what;
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
    BmpRecipe recipe = DirectRecipe(side, side, 24, {});
    recipe.data.assign(16, 0x55);
    EXPECT_FALSE(Bitmap().LoadFromMemory(testimg::MakeBmp(recipe))) << side;
  }
  // A size within the bound reads, however wide.
  BmpRecipe wide = DirectRecipe(1 << 20, 1, 1, {});
  wide.palette = RandomPalette(2, 70);
  wide.data.assign((1u << 20) / 8 / 64, 0xFF);  // the least share of the data that is read
  Bitmap image;
  ASSERT_TRUE(image.LoadFromMemory(testimg::MakeBmp(wide)));
  EXPECT_EQ(image.Stride(), (1u << 20) / 8);
}

TEST(BmpReader, DamagedHeadersNeverGiveAnImageThatCannotBeWritten) {
  // Flip bytes in the headers, colour tables and RLE data of valid files. Whatever loads must be
  // a consistent image that the writer accepts; nothing crashes or reads out of bounds.
  std::vector<BmpRecipe> recipes = {IndexedRecipe(19, 7, 1, 80), IndexedRecipe(19, 7, 4, 81),
                                    IndexedRecipe(19, 7, 8, 82)};
  BmpRecipe rle = IndexedRecipe(19, 7, 8, 83);
  rle.compression = 1;
  rle.values = RunnyValues(19, 7, 256, 84);
  rle.data = testimg::EncodeRle8(19, 7, rle.values);
  recipes.push_back(rle);
  BmpRecipe fields =
      BitFieldRecipe(19, 7, 16, 0xF800, 0x07E0, 0x001F, RandomValues(19, 7, 0x10000, 85));
  fields.header = BmpHeader::kV5_124;
  recipes.push_back(fields);
  testimg::Noise noise(86);
  for (const BmpRecipe& recipe : recipes) {
    const std::vector<uint8_t> good = testimg::MakeBmp(recipe);
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
