// PNG sources: every colour type and bit depth, with and without transparency, interlaced or
// not, compared with libpng's own decoding of the source; and damaged PNGs.
#include <gtest/gtest.h>

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

// The image the reader must produce for the source, as (bit count, palette kind).
uint32_t ExpectedBitCount(const PngRecipe& recipe) {
  const bool transparency = !recipe.paletteAlpha.empty() || recipe.transparentColour;
  if (transparency || recipe.colorType == 4 || recipe.colorType == 6) {
    return 32;
  }
  if (recipe.colorType == 3) {
    return static_cast<uint32_t>(recipe.bitDepth);
  }
  return recipe.colorType == 0 ? 8 : 24;
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
          EXPECT_EQ(image.Notes().samplesRounded, depth == 16);
          const uint32_t bits = ExpectedBitCount(recipe);
          EXPECT_EQ(image.BitCount(), bits);
          if (kind.colorType == 0 && bits == 8) {
            ASSERT_EQ(image.Palette().size(), 256u);  // the grey ramp
            EXPECT_EQ(image.Palette()[200].red, 200);
            EXPECT_EQ(image.Palette()[200].blue, 200);
          }

          const testimg::DecodedPng written = imagetest::Written(image);
          ASSERT_TRUE(written.ok);
          EXPECT_EQ(Difference(reference.picture, written.picture), "");
          EXPECT_EQ(written.colorType, bits == 32 ? 6 : bits == 24 ? 2 : 3);
          EXPECT_EQ(written.bitDepth, bits <= 8 ? static_cast<int>(bits) : 8);
          if (kind.colorType == 3 && bits <= 8) {
            EXPECT_EQ(written.palette, recipe.palette);
          }
        }
      }
    }
  }
}

TEST(PngReader, SixteenBitSamplesRoundToTheNearestValue) {
  PngRecipe recipe;
  recipe.width = 3;
  recipe.height = 1;
  recipe.colorType = 0;
  recipe.bitDepth = 16;
  recipe.samples = {0x00FF, 0x0080, 0xFFFF};  // the high byte would give 0, 0, 255
  Bitmap image;
  ASSERT_TRUE(image.LoadFromMemory(testimg::MakePng(recipe)));
  ASSERT_EQ(image.BitCount(), 8u);
  EXPECT_EQ(image.Row(0)[0], 1);
  EXPECT_EQ(image.Row(0)[1], 0);
  EXPECT_EQ(image.Row(0)[2], 255);
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
