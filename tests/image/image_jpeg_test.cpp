// JPEG sources: grey, colour, CMYK (Adobe's inverted and plain), YCCK, progressive and
// truncated, compared with libjpeg's own decoding; and sources that are no image at all.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image/bitmap.h"
#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"

using testimg::Difference;
using testimg::JpegKind;
using testimg::JpegRecipe;
using testimg::Picture;
using testimg::Rgba;

namespace {

// A picture of soft gradients with a few flat blocks, so that JPEG keeps colours close.
JpegRecipe Gradient(JpegKind kind, int width, int height) {
  JpegRecipe recipe;
  recipe.kind = kind;
  recipe.width = width;
  recipe.height = height;
  const int components = kind == JpegKind::kGrey ? 1 : kind == JpegKind::kColour ? 3 : 4;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        recipe.samples.push_back(static_cast<uint8_t>((x * 7 + y * 3 + c * 60) % 256));
      }
    }
  }
  return recipe;
}

// The picture libjpeg's samples describe, by the ink product for CMYK.
Picture ReferencePicture(const testimg::DecodedJpeg& jpeg) {
  Picture picture(jpeg.width, jpeg.height);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const uint8_t* s = jpeg.samples.data() + i * jpeg.components;
    switch (jpeg.components) {
      case 1:
        picture.pixels[i] = Rgba{s[0], s[0], s[0], 255};
        break;
      case 3:
        picture.pixels[i] = Rgba{s[0], s[1], s[2], 255};
        break;
      default: {
        auto ink = [&](int channel) {
          unsigned a = s[channel];
          unsigned k = s[3];
          if (!jpeg.adobe) {
            a = 255 - a;
            k = 255 - k;
          }
          return static_cast<uint8_t>((a * k + 127) / 255);
        };
        picture.pixels[i] = Rgba{ink(0), ink(1), ink(2), 255};
      }
    }
  }
  return picture;
}

}  // namespace

TEST(JpegReader, EveryKindMatchesLibjpeg) {
  struct Case {
    JpegKind kind;
    bool progressive;
    uint32_t bits;
    const char* what;
  };
  const Case cases[] = {
      {JpegKind::kGrey, false, 8, "grey"},
      {JpegKind::kGrey, true, 8, "grey, progressive"},
      {JpegKind::kColour, false, 24, "colour"},
      {JpegKind::kColour, true, 24, "colour, progressive"},
      {JpegKind::kCmykAdobe, false, 24, "Adobe CMYK"},
      {JpegKind::kCmykPlain, false, 24, "CMYK without Adobe marker"},
      {JpegKind::kYcck, false, 24, "YCCK"},
      {JpegKind::kYcck, true, 24, "YCCK, progressive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JpegRecipe recipe = Gradient(c.kind, 37, 21);
    recipe.progressive = c.progressive;
    const std::vector<uint8_t> source = testimg::MakeJpeg(recipe);
    ASSERT_FALSE(source.empty());
    const testimg::DecodedJpeg reference = testimg::DecodeJpegReference(source);
    ASSERT_TRUE(reference.ok);

    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(source));
    EXPECT_EQ(image.BitCount(), c.bits);
    const testimg::DecodedPng written = imagetest::Written(image);
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(Difference(ReferencePicture(reference), written.picture), "");
    if (c.kind == JpegKind::kGrey) {
      // Grey is written as an 8-bit grey PNG, without a palette.
      EXPECT_EQ(written.colorType, 0);
      EXPECT_EQ(written.bitDepth, 8);
      EXPECT_TRUE(written.palette.empty());
    } else {
      EXPECT_EQ(written.colorType, 2);
    }
  }
}

TEST(JpegReader, CmykInksGiveTheirColours) {
  // Blocks of pure ink: cyan, magenta, yellow, black, none. Adobe files store the inverse.
  const uint8_t inks[5][4] = {
      {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 255}, {0, 0, 0, 0}};
  const Rgba colours[5] = {{0, 255, 255, 255},
                           {255, 0, 255, 255},
                           {255, 255, 0, 255},
                           {0, 0, 0, 255},
                           {255, 255, 255, 255}};
  for (JpegKind kind : {JpegKind::kCmykAdobe, JpegKind::kCmykPlain, JpegKind::kYcck}) {
    SCOPED_TRACE(kind == JpegKind::kCmykAdobe ? "Adobe"
                 : kind == JpegKind::kYcck    ? "YCCK"
                                              : "plain");
    const bool inverted = kind != JpegKind::kCmykPlain;
    JpegRecipe recipe;
    recipe.kind = kind;
    recipe.width = 160;
    recipe.height = 16;
    recipe.quality = 100;
    for (int y = 0; y < recipe.height; ++y) {
      for (int x = 0; x < recipe.width; ++x) {
        for (int c = 0; c < 4; ++c) {
          const uint8_t ink = inks[x / 32][c];
          recipe.samples.push_back(inverted ? static_cast<uint8_t>(255 - ink) : ink);
        }
      }
    }
    const testimg::DecodedPng written = imagetest::Convert(testimg::MakeJpeg(recipe));
    ASSERT_TRUE(written.ok);
    // Chroma subsampling blurs the edges between blocks; their middles are the pure colours.
    for (int block = 0; block < 5; ++block) {
      for (int x = block * 32 + 6; x < block * 32 + 26; ++x) {
        const Rgba& got = written.picture.at(x, 8);
        const Rgba& want = colours[block];
        EXPECT_LE(std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b),
                  12)
            << "block " << block << " x " << x << ": " << testimg::ToString(got);
      }
    }
  }
}

TEST(JpegReader, TruncatedFileDecodesWhatIsThere) {
  const std::vector<uint8_t> whole = testimg::MakeJpeg(Gradient(JpegKind::kColour, 64, 64));
  const std::vector<uint8_t> cut(whole.begin(),
                                 whole.begin() + static_cast<long>(whole.size() / 2));
  const testimg::DecodedJpeg reference = testimg::DecodeJpegReference(cut);
  ASSERT_TRUE(reference.ok);
  Bitmap image;
  ASSERT_TRUE(image.LoadFromMemory(whole));
  EXPECT_FALSE(image.Notes().truncated);
  ASSERT_TRUE(image.LoadFromMemory(cut));
  EXPECT_TRUE(image.Notes().truncated);
  EXPECT_EQ(image.Notes().bytesPresent, cut.size());
  EXPECT_EQ(image.Width(), 64);
  EXPECT_EQ(image.Height(), 64);
  EXPECT_EQ(Difference(ReferencePicture(reference), imagetest::Written(image).picture), "");
}

TEST(JpegReader, NonImagesAndDamagedHeadersFail) {
  const std::vector<std::vector<uint8_t>> sources = {
      {},                                          // empty
      {'h', 'e', 'l', 'l', 'o', '\n'},             // text
      {0xFF, 0xD8},                                // the start marker and nothing else
      {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0xFF},  // a header cut short
      {'B'},                                       // one byte of a BMP signature
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A},     // seven bytes of the PNG signature
  };
  for (const auto& bytes : sources) {
    Bitmap image;
    EXPECT_FALSE(image.LoadFromMemory(bytes)) << bytes.size() << " bytes";
    EXPECT_TRUE(image.Empty());
  }
}

TEST(JpegReader, HugeDeclaredSizesFailBeforeAnyAllocation) {
  std::vector<uint8_t> bytes = testimg::MakeJpeg(Gradient(JpegKind::kColour, 16, 16));
  // Find the frame header (SOF0, FFC0) and declare 65000 x 65000 pixels.
  bool patched = false;
  for (size_t i = 2; i + 9 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = 0xFD;
      bytes[i + 6] = 0xE8;
      bytes[i + 7] = 0xFD;
      bytes[i + 8] = 0xE8;
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  EXPECT_FALSE(Bitmap().LoadFromMemory(bytes));
}

// A flat picture codes in about two bits per 8x8 block; a header that declares far more blocks
// than the file has bytes for is refused at once instead of decoded into made-up pixels.
TEST(JpegReader, FilesTooSmallForTheirDeclaredSizeFail) {
  for (const bool progressive : {false, true}) {
    JpegRecipe flat;
    flat.kind = JpegKind::kGrey;
    flat.width = 2048;
    flat.height = 2048;
    flat.progressive = progressive;
    flat.samples.assign(2048u * 2048u, 200);
    const std::vector<uint8_t> whole = testimg::MakeJpeg(flat);
    Bitmap image;
    EXPECT_TRUE(image.LoadFromMemory(whole)) << whole.size() << " bytes";
    EXPECT_EQ(image.Width(), 2048);

    // The same file declaring 20000 x 20000 pixels (400 MB of grey, within the pixel store).
    std::vector<uint8_t> inflated = whole;
    bool patched = false;
    for (size_t i = 2; i + 9 < inflated.size() && !patched; ++i) {
      if (inflated[i] == 0xFF && (inflated[i + 1] == 0xC0 || inflated[i + 1] == 0xC2)) {
        inflated[i + 5] = 0x4E;  // 20000 = 0x4E20
        inflated[i + 6] = 0x20;
        inflated[i + 7] = 0x4E;
        inflated[i + 8] = 0x20;
        patched = true;
      }
    }
    ASSERT_TRUE(patched);
    EXPECT_FALSE(Bitmap().LoadFromMemory(inflated)) << (progressive ? "progressive" : "baseline");
  }
}

TEST(JpegReader, CorruptedFilesAgreeWithLibjpeg) {
  // Flip bytes all over valid files. Whatever libjpeg makes of the result, the reader makes the
  // same: both fail, or both decode to the same pixels. Nothing crashes.
  for (JpegKind kind : {JpegKind::kGrey, JpegKind::kColour, JpegKind::kCmykAdobe}) {
    JpegRecipe recipe = Gradient(kind, 24, 24);
    recipe.progressive = kind == JpegKind::kColour;
    const std::vector<uint8_t> good = testimg::MakeJpeg(recipe);
    testimg::Noise noise(static_cast<uint32_t>(kind) + 500);
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> bytes = good;
      const int flips = 1 + static_cast<int>(noise.Below(4));
      for (int i = 0; i < flips; ++i) {
        bytes[2 + noise.Below(static_cast<uint32_t>(bytes.size() - 2))] ^=
            static_cast<uint8_t>(1 + noise.Below(255));
      }
      const testimg::DecodedJpeg reference = testimg::DecodeJpegReference(bytes);
      Bitmap image;
      const bool loaded = image.LoadFromMemory(bytes);
      const bool referenceUsable =
          reference.ok &&
          (reference.components == 1 || reference.components == 3 || reference.components == 4);
      EXPECT_EQ(loaded, referenceUsable) << "round " << round;
      if (loaded && referenceUsable) {
        EXPECT_EQ(Difference(ReferencePicture(reference), imagetest::Written(image).picture), "")
            << "round " << round;
      }
    }
  }
}
