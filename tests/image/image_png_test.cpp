// PNG sources: every colour type and bit depth, with and without transparency, interlaced or
// not, compared with libpng's own decoding of the source; and damaged PNGs.
#include <gtest/gtest.h>

#include <algorithm>

#include <zlib.h>

#include "image/bitmap.h"
#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"

using testimg::Difference;
using testimg::PngRecipe;
using testimg::Rgba;

namespace {

int ChannelsOf(int colorType) {
  switch (colorType) {
    case 0:
    case 3:
      return 1;
    case 4:
      return 2;
    case 2:
      return 3;
    default:
      return 4;
  }
}

PngRecipe RandomPng(int colorType, int depth, bool transparency, bool interlace, uint32_t seed) {
  PngRecipe recipe;
  recipe.width = 13;
  recipe.height = 11;
  recipe.colorType = colorType;
  recipe.bitDepth = depth;
  recipe.interlace = interlace;
  testimg::Noise noise(seed);
  const uint32_t limit = 1u << depth;
  recipe.samples.resize(static_cast<size_t>(recipe.width) * recipe.height * ChannelsOf(colorType));
  for (uint16_t& s : recipe.samples) {
    s = static_cast<uint16_t>(noise.Below(limit));
  }
  if (colorType == 3) {
    recipe.palette.resize(size_t{1} << depth);
    for (Rgba& c : recipe.palette) {
      const uint32_t v = noise.Next();
      c = Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
               255};
    }
    if (transparency) {
      // Fewer alpha entries than colours: the rest are opaque.
      recipe.paletteAlpha.resize(recipe.palette.size() > 2 ? recipe.palette.size() - 2 : 1);
      for (uint8_t& a : recipe.paletteAlpha) {
        a = static_cast<uint8_t>(noise.Next());
      }
    }
  } else if (transparency) {
    recipe.transparentColour = true;
    // Make the transparent colour one that occurs: the first pixel's.
    for (int i = 0; i < 3 && i < ChannelsOf(colorType); ++i) {
      recipe.transparent[i] = recipe.samples[i];
    }
  }
  return recipe;
}

// What the reader must make of the source and the writer write of it: the bit count and sample
// size of the image, and the PNG's colour type. Every source keeps its kind of colour and depth;
// only a transparent colour of direct colour becomes an alpha channel.
struct ExpectedKind {
  uint32_t bitCount;
  bool wide;
  int colorType;
};

ExpectedKind ExpectedFor(const PngRecipe& recipe) {
  const bool wide = recipe.bitDepth == 16;
  const int size = wide ? 16 : 8;
  switch (recipe.colorType) {
    case 3:
      return {static_cast<uint32_t>(recipe.bitDepth), false, 3};
    case 0:
      if (!wide) {
        return {static_cast<uint32_t>(recipe.bitDepth), false, 0};
      }
      return recipe.transparentColour ? ExpectedKind{32, true, 4} : ExpectedKind{16, true, 0};
    case 4:
      return {32, wide, 4};
    case 2:
      return recipe.transparentColour ? ExpectedKind{4u * size, wide, 6}
                                      : ExpectedKind{3u * size, wide, 2};
    default:
      return {4u * size, wide, 6};
  }
}

}  // namespace

TEST(PngReader, EveryColourTypeAndDepthMatchesLibpng) {
  struct Kind {
    int colorType;
    std::vector<int> depths;
    bool canHaveTransparency;
  };
  const Kind kinds[] = {
      {0, {1, 2, 4, 8, 16}, true}, {2, {8, 16}, true},  {3, {1, 2, 4, 8}, true},
      {4, {8, 16}, false},         {6, {8, 16}, false},
  };
  uint32_t seed = 100;
  for (const Kind& kind : kinds) {
    for (int depth : kind.depths) {
      for (bool transparency : {false, true}) {
        if (transparency && !kind.canHaveTransparency) {
          continue;
        }
        for (bool interlace : {false, true}) {
          SCOPED_TRACE("colour type " + std::to_string(kind.colorType) + ", depth " +
                       std::to_string(depth) + (transparency ? ", tRNS" : "") +
                       (interlace ? ", Adam7" : ""));
          const PngRecipe recipe =
              RandomPng(kind.colorType, depth, transparency, interlace, ++seed);
          const std::vector<uint8_t> source = testimg::MakePng(recipe);
          ASSERT_FALSE(source.empty());
          const testimg::DecodedPng reference = testimg::DecodePng(source);
          ASSERT_TRUE(reference.ok);

          Bitmap image;
          ASSERT_TRUE(image.LoadFromMemory(source));
          EXPECT_FALSE(image.Notes().samplesRounded);
          EXPECT_TRUE(image.Notes().png);
          EXPECT_EQ(image.Notes().interlaced, interlace);
          const ExpectedKind expected = ExpectedFor(recipe);
          EXPECT_EQ(image.BitCount(), expected.bitCount);
          EXPECT_EQ(image.Wide(), expected.wide);

          std::vector<uint8_t> bytes;
          ASSERT_TRUE(image.EncodePng(bytes, 6, false));
          const testimg::DecodedPng written = testimg::DecodePng(bytes);
          ASSERT_TRUE(written.ok);
          EXPECT_EQ(Difference(reference.picture, written.picture), "");
          EXPECT_EQ(written.colorType, expected.colorType);
          EXPECT_EQ(written.bitDepth, depth);
          if (written.colorType == kind.colorType) {
            // The same kind: every sample as the source stored it, 16 bits whole.
            EXPECT_EQ(testimg::PngSamples(bytes), recipe.samples);
          }
          const bool hasTrns = std::find(written.chunks.begin(), written.chunks.end(), "tRNS") !=
                               written.chunks.end();
          EXPECT_EQ(hasTrns, transparency && !expected.wide && expected.bitCount <= 8);
          if (kind.colorType == 3) {
            EXPECT_EQ(written.palette, recipe.palette);
          }
        }
      }
    }
  }
}

// 16-bit samples are held whole; made 24-bit they round to the nearest 8-bit value.
TEST(PngReader, SixteenBitSamplesRoundToTheNearestValue) {
  PngRecipe recipe;
  recipe.width = 3;
  recipe.height = 1;
  recipe.colorType = 0;
  recipe.bitDepth = 16;
  recipe.samples = {0x00FF, 0x0080, 0xFFFF};  // the high byte would give 0, 0, 255
  Bitmap image;
  ASSERT_TRUE(image.LoadFromMemory(testimg::MakePng(recipe)));
  ASSERT_EQ(image.BitCount(), 16u);
  ASSERT_TRUE(image.Wide());
  EXPECT_EQ(image.Row(0)[0], 0xFF);  // little-endian 0x00FF
  EXPECT_EQ(image.Row(0)[1], 0x00);
  Bitmap rgb;
  ASSERT_TRUE(rgb.Create(3, 1, 24));
  ASSERT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, 3, 1}, rgb, image));
  EXPECT_EQ(std::vector<uint8_t>(rgb.Row(0), rgb.Row(0) + 9),
            (std::vector<uint8_t>{1, 1, 1, 0, 0, 0, 255, 255, 255}));
}

TEST(PngReader, DamagedFilesFail) {
  const std::vector<uint8_t> good = testimg::MakePng(RandomPng(2, 8, false, false, 7));
  ASSERT_TRUE(Bitmap().LoadFromMemory(good));
  for (const char* chunk : {"IHDR", "IDAT", "IEND"}) {
    std::vector<uint8_t> bytes = good;
    testimg::BreakChunkCrc(bytes, chunk);
    Bitmap image;
    EXPECT_FALSE(image.LoadFromMemory(bytes)) << "bad CRC in " << chunk;
    EXPECT_TRUE(image.Empty());
  }
  // Cut anywhere: right after the signature, inside IHDR, inside IDAT, before IEND.
  for (size_t keep : {size_t{8}, size_t{20}, good.size() / 2, good.size() - 12, good.size() - 1}) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<long>(keep));
    EXPECT_FALSE(Bitmap().LoadFromMemory(bytes)) << "cut to " << keep << " bytes";
  }
}

TEST(PngReader, HugeDeclaredSizesFailBeforeAnyAllocation) {
  std::vector<uint8_t> bytes = testimg::MakePng(RandomPng(6, 8, false, false, 8));
  // IHDR's width and height are at offsets 16 and 20; its CRC covers bytes 12..28.
  for (uint32_t side : {100000u, 0x7FFFFFFFu}) {
    for (int i = 0; i < 4; ++i) {
      bytes[16 + i] = static_cast<uint8_t>(side >> (24 - 8 * i));
      bytes[20 + i] = static_cast<uint8_t>(side >> (24 - 8 * i));
    }
    const uLong crc = crc32(crc32(0, nullptr, 0), bytes.data() + 12, 17);
    for (int i = 0; i < 4; ++i) {
      bytes[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
    EXPECT_FALSE(Bitmap().LoadFromMemory(bytes)) << side;
  }
}

TEST(PngReader, CorruptedFilesAgreeWithLibpng) {
  // Change bytes of valid files (mostly caught by the CRCs, sometimes inside the compressed
  // data or after IEND). The reader and libpng agree: both fail, or both give the same pixels.
  testimg::Noise noise(900);
  for (int colorType : {0, 2, 3, 6}) {
    const std::vector<uint8_t> good =
        testimg::MakePng(RandomPng(colorType, 8, colorType == 3, colorType == 2, 901));
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> bytes = good;
      const size_t at = 8 + noise.Below(static_cast<uint32_t>(bytes.size() - 8));
      bytes[at] ^= static_cast<uint8_t>(1 + noise.Below(255));
      const testimg::DecodedPng reference = testimg::DecodePng(bytes);
      Bitmap image;
      const bool loaded = image.LoadFromMemory(bytes);
      EXPECT_EQ(loaded, reference.ok) << "byte " << at;
      if (loaded && reference.ok) {
        EXPECT_EQ(Difference(reference.picture, imagetest::Written(image).picture), "");
      }
    }
  }
}
