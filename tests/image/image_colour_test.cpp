// What a source says of its colour, size and orientation reaches the PNG: ICC profiles from every
// source kind byte for byte (checked by libpng reading them back), profiles that do not fit left
// out while the image converts, colour-space and resolution chunks, EXIF orientation.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/bitmap.h"
#include "image/exif_orientation.h"
#include "tests/image/colour_recipes.h"
#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

using testimg::BmpHeader;
using testimg::BmpRecipe;
using testimg::JpegKind;
using testimg::JpegRecipe;
using testimg::Picture;
using testimg::PngRecipe;
using Bytes = std::vector<uint8_t>;

namespace {

using testimg::ColourJpeg;
using testimg::ColourPng;
using testimg::ColourPngWith;

constexpr uint32_t kEmbedded = 0x4D424544;  // "MBED"

Bytes JpegWith(JpegKind kind, Bytes profile) {
  JpegRecipe recipe = ColourJpeg(kind);
  recipe.iccProfile = std::move(profile);
  return testimg::MakeJpeg(recipe);
}

BmpRecipe Bmp(BmpHeader header, uint16_t bitCount) {
  BmpRecipe recipe;
  recipe.header = header;
  recipe.width = 5;
  recipe.height = 3;
  recipe.bitCount = bitCount;
  recipe.values.assign(15, 1);
  if (bitCount <= 8) {
    recipe.palette = {{0, 0, 0, 255}, {200, 100, 50, 255}};
    recipe.colorsUsed = 2;
  }
  return recipe;
}

Bytes BmpWithProfile(uint16_t bitCount, Bytes profile, uint32_t offsetField = 0,
                     uint32_t sizeField = 0) {
  BmpRecipe recipe = Bmp(BmpHeader::kV5_124, bitCount);
  recipe.colourSpace = kEmbedded;
  recipe.profile = std::move(profile);
  recipe.profileOffsetField = offsetField;
  recipe.profileSizeField = sizeField;
  return testimg::MakeBmp(recipe);
}

Bytes Be32(uint32_t a) {
  return {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16),
          static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
}

Bytes Phys(uint32_t x, uint32_t y, uint8_t unit) {
  Bytes data = Be32(x);
  const Bytes second = Be32(y);
  data.insert(data.end(), second.begin(), second.end());
  data.push_back(unit);
  return data;
}

// The chunks of the written PNG other than IHDR, PLTE, IDAT and IEND, in file order.
std::vector<std::pair<std::string, Bytes>> Ancillary(const testimg::DecodedPng& png) {
  std::vector<std::pair<std::string, Bytes>> chunks;
  for (size_t i = 0; i < png.chunks.size(); ++i) {
    const std::string& type = png.chunks[i];
    if (type != "IHDR" && type != "PLTE" && type != "IDAT" && type != "IEND") {
      chunks.emplace_back(type, png.chunkData[i]);
    }
  }
  return chunks;
}

Picture Mirrored(const Picture& in) {
  Picture out(in.width, in.height);
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      out.at(in.width - 1 - x, y) = in.at(x, y);
    }
  }
  return out;
}

Picture TurnedClockwise(const Picture& in) {
  Picture out(in.height, in.width);
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      out.at(in.height - 1 - y, x) = in.at(x, y);
    }
  }
  return out;
}

Picture FromReference(const testimg::DecodedJpeg& jpeg) {
  Picture picture(jpeg.width, jpeg.height);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const uint8_t* s = jpeg.samples.data() + i * jpeg.components;
    picture.pixels[i] = jpeg.components == 1 ? testimg::Rgba{s[0], s[0], s[0], 255}
                                             : testimg::Rgba{s[0], s[1], s[2], 255};
  }
  return picture;
}

}  // namespace

TEST(ColourProfile, EverySourceKindCarriesItsProfileByteForByte) {
  const Bytes small = testimg::MakeIccProfile("RGB ", 500, 1);
  // Larger than one APP2 segment holds: the JPEG splits it into three.
  const Bytes large = testimg::MakeIccProfile("RGB ", 150000, 2);
  // So nearly empty that it compresses into an iCCP chunk too short for libpng to read.
  const Bytes tiny = testimg::MakeIccProfile("RGB ", 0, 9);
  // A version 2 profile need not fill its last 32-bit word.
  Bytes version2 = testimg::MakeIccProfile("RGB ", 40, 8);
  version2[8] = 2;
  version2.push_back(7);
  version2[3] = static_cast<uint8_t>(version2.size());
  JpegRecipe progressive = ColourJpeg(JpegKind::kColour);
  progressive.progressive = true;
  progressive.iccProfile = small;
  struct Case {
    const char* name;
    Bytes source;
    const Bytes& profile;
  };
  const Case cases[] = {
      {"JPEG in three segments", JpegWith(JpegKind::kColour, large), large},
      {"progressive JPEG", testimg::MakeJpeg(progressive), small},
      {"RGB PNG", ColourPngWith(2, {{"iCCP", testimg::IccpChunkData(large)}}), large},
      {"palette PNG", ColourPngWith(3, {{"iCCP", testimg::IccpChunkData(small)}}), small},
      {"RGBA PNG, its sRGB left out",
       ColourPngWith(6, {{"sRGB", {0}}, {"iCCP", testimg::IccpChunkData(small)}}), small},
      {"24-bit V5 BMP", BmpWithProfile(24, small), small},
      {"8-bit V5 BMP", BmpWithProfile(8, large), large},
      {"version 2 profile of odd length", JpegWith(JpegKind::kColour, version2), version2},
      {"tiny profile from a JPEG", JpegWith(JpegKind::kColour, tiny), tiny},
      {"tiny profile from a PNG", ColourPngWith(6, {{"iCCP", testimg::IccpChunkData(tiny)}}), tiny},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testimg::DecodedPng png = imagetest::Convert(c.source);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.iccProfile, c.profile);  // libpng accepted it and inflated it to this
    ASSERT_GE(png.chunks.size(), 2u);
    EXPECT_EQ(png.chunks[1], "iCCP");
    EXPECT_EQ(std::count(png.chunks.begin(), png.chunks.end(), "sRGB"), 0);
  }
}

TEST(ColourProfile, ProfilesThatDoNotFitAreLeftOutAndTheImageConverts) {
  const Bytes rgb = testimg::MakeIccProfile("RGB ", 64, 3);
  const Bytes grey = testimg::MakeIccProfile("GRAY", 64, 4);
  const Bytes cmyk = testimg::MakeIccProfile("CMYK", 64, 5);
  auto damaged = [&](size_t at, const std::string& bytes) {
    Bytes p = rgb;
    std::copy(bytes.begin(), bytes.end(), p.begin() + static_cast<long>(at));
    return p;
  };
  Bytes truncatedStream = testimg::IccpChunkData(rgb);
  truncatedStream.resize(truncatedStream.size() - 6);
  Bytes methodOne = testimg::IccpChunkData(rgb);
  methodOne[5] = 1;
  const Bytes oversized = testimg::MakeIccProfile("RGB ", 4u << 20, 6);
  // A JPEG whose profile spans three APP2 segments, with the sequence number (offset 12 after
  // the segment's name) or the segment count (offset 13) of every segment set to `value`.
  auto segmentsWith = [&](size_t field, uint8_t value) {
    Bytes jpeg = JpegWith(JpegKind::kColour, testimg::MakeIccProfile("RGB ", 150000, 3));
    const std::string name("ICC_PROFILE\0", 12);
    for (auto at = std::search(jpeg.begin(), jpeg.end(), name.begin(), name.end());
         at != jpeg.end(); at = std::search(at + 1, jpeg.end(), name.begin(), name.end())) {
      at[static_cast<long>(field)] = value;
    }
    return jpeg;
  };
  struct Case {
    const char* name;
    Bytes source;
  };
  const Case cases[] = {
      {"grey JPEG, grey profile (a palette PNG cannot hold it)", JpegWith(JpegKind::kGrey, grey)},
      {"grey JPEG, RGB profile", JpegWith(JpegKind::kGrey, rgb)},
      {"Adobe CMYK JPEG, CMYK profile", JpegWith(JpegKind::kCmykAdobe, cmyk)},
      {"YCCK JPEG, RGB profile", JpegWith(JpegKind::kYcck, rgb)},
      {"colour JPEG, grey profile", JpegWith(JpegKind::kColour, grey)},
      {"declared length wrong", JpegWith(JpegKind::kColour, damaged(3, "A"))},
      {"no acsp signature", JpegWith(JpegKind::kColour, damaged(36, "x"))},
      {"tag past the end", JpegWith(JpegKind::kColour, damaged(154, "\x7F"))},
      {"device link", JpegWith(JpegKind::kColour, damaged(12, "link"))},
      {"odd length", JpegWith(JpegKind::kColour,
                              [&] {
                                Bytes p = rgb;
                                p.push_back(0);
                                p[3] = static_cast<uint8_t>(p.size());
                                return p;
                              }())},
      {"larger than 4 MiB", JpegWith(JpegKind::kColour, oversized)},
      {"JPEG segments all numbered 1", segmentsWith(12, 1)},
      {"JPEG segment 4 of 4 missing", segmentsWith(13, 4)},
      {"grey PNG, grey profile", ColourPngWith(0, {{"iCCP", testimg::IccpChunkData(grey)}})},
      {"grey+alpha PNG, grey profile", ColourPngWith(4, {{"iCCP", testimg::IccpChunkData(grey)}})},
      {"RGB PNG, CMYK profile", ColourPngWith(2, {{"iCCP", testimg::IccpChunkData(cmyk)}})},
      {"RGB PNG, cut zlib stream", ColourPngWith(2, {{"iCCP", truncatedStream}})},
      {"RGB PNG, compression method 1", ColourPngWith(2, {{"iCCP", methodOne}})},
      {"RGB PNG, a damaged profile before a sound one (the first decides)",
       ColourPngWith(2, {{"iCCP", methodOne}, {"iCCP", testimg::IccpChunkData(rgb)}})},
      {"BMP, profile offset past the end", BmpWithProfile(24, rgb, 0x7FFFFFF0)},
      {"BMP, profile size past the end", BmpWithProfile(24, rgb, 0, 0xFFFFFFF0)},
      {"BMP, CMYK profile", BmpWithProfile(24, cmyk)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testimg::DecodedPng png = imagetest::Convert(c.source);
    ASSERT_TRUE(png.ok);
    EXPECT_GT(png.width, 0u);
    EXPECT_EQ(std::count(png.chunks.begin(), png.chunks.end(), "iCCP"), 0);
  }
}

TEST(ColourProfile, ColourSpaceAndResolutionReachThePng) {
  using Chunks = std::vector<std::pair<std::string, Bytes>>;
  auto jpeg = [](int unit, int x, int y, uint16_t orientation) {
    JpegRecipe recipe = ColourJpeg(JpegKind::kColour);
    recipe.densityUnit = unit;
    recipe.density[0] = x;
    recipe.density[1] = y;
    if (orientation != 1) {
      recipe.app1 = testimg::MakeExif(orientation, false);
    }
    return testimg::MakeJpeg(recipe);
  };
  auto bmp = [](BmpHeader header, int32_t x, int32_t y, uint32_t space, uint32_t intent) {
    BmpRecipe recipe = Bmp(header, 24);
    recipe.pixelsPerMetre[0] = x;
    recipe.pixelsPerMetre[1] = y;
    recipe.colourSpace = space;
    recipe.intent = intent;
    return testimg::MakeBmp(recipe);
  };
  const Bytes chrm = {0, 0, 0x7A, 0x26, 0, 0, 0x80, 0x84, 0, 0, 0xFA, 0,    0, 0, 0x80, 0xE8,
                      0, 0, 0x75, 0x30, 0, 0, 0xEA, 0x60, 0, 0, 0x3A, 0x98, 0, 0, 0x17, 0x70};
  // The cHRM above with its `index`th value (white x, white y, red x, ...) set to `value`.
  auto chrmWith = [&](size_t index, uint32_t value) {
    Bytes c = chrm;
    const Bytes v = Be32(value);
    std::copy(v.begin(), v.end(), c.begin() + static_cast<long>(4 * index));
    return c;
  };
  const Bytes profile = testimg::MakeIccProfile("RGB ", 400, 10);
  const uint32_t srgbSpace = 0x73524742;
  const uint32_t windowsSpace = 0x57696E20;
  struct Case {
    const char* name;
    Bytes source;
    Chunks expected;
  };
  const Bytes exif = testimg::MakeExif(1, false);
  const Bytes uprightExif(exif.begin() + 6, exif.end());  // without the "Exif" header
  const Case cases[] = {
      {"JPEG 300 x 150 dpi", jpeg(1, 300, 150, 1), {{"pHYs", Phys(11811, 5906, 1)}}},
      {"JPEG 100 x 50 dpcm", jpeg(2, 100, 50, 1), {{"pHYs", Phys(10000, 5000, 1)}}},
      {"JPEG turned a quarter: sizes swap, its EXIF says upright",
       jpeg(1, 300, 150, 6),
       {{"pHYs", Phys(5906, 11811, 1)}, {"eXIf", uprightExif}}},
      {"JPEG aspect ratio only", jpeg(0, 1, 1, 1), {}},
      {"BMP pixels per metre",
       bmp(BmpHeader::kInfo40, 3780, 1890, 0, 0),
       {{"pHYs", Phys(3780, 1890, 1)}}},
      {"BMP without a resolution", bmp(BmpHeader::kInfo40, 0, 0, 0, 0), {}},
      {"V4 BMP in sRGB", bmp(BmpHeader::kV4_108, 0, 0, srgbSpace, 0), {{"sRGB", {0}}}},
      {"V5 BMP in the system space, for graphics",
       bmp(BmpHeader::kV5_124, 2835, 2835, windowsSpace, 2),
       {{"sRGB", {1}}, {"pHYs", Phys(2835, 2835, 1)}}},
      {"V5 BMP, absolute colorimetric",
       bmp(BmpHeader::kV5_124, 0, 0, srgbSpace, 8),
       {{"sRGB", {3}}}},
      {"V5 BMP, calibrated RGB", bmp(BmpHeader::kV5_124, 0, 0, 0, 4), {}},
      {"PNG chunks as they are",
       ColourPngWith(
           2, {{"sRGB", {1}}, {"gAMA", Be32(45455)}, {"cHRM", chrm}, {"pHYs", Phys(7, 9, 0)}}),
       {{"sRGB", {1}}, {"gAMA", Be32(45455)}, {"cHRM", chrm}, {"pHYs", Phys(7, 9, 0)}}},
      {"grey PNG keeps its gamma",
       ColourPngWith(0, {{"gAMA", Be32(100000)}}),
       {{"gAMA", Be32(100000)}}},
      {"malformed PNG chunks left out",
       ColourPngWith(3,
                     {{"sRGB", {4}}, {"gAMA", Be32(0)}, {"cHRM", {1, 2}}, {"pHYs", Phys(1, 1, 2)}}),
       {}},
      {"PNG numbers past 2^31 - 1 left out",
       ColourPngWith(2, {{"gAMA", Be32(0x80000000)},
                         {"cHRM", chrmWith(7, 0x80000000)},
                         {"pHYs", Phys(2835, 0xFFFFFFFF, 1)}}),
       {}},
      // libpng would drop the written profile for either of these.
      {"gamma above what libpng takes, red x + y above 1",
       ColourPngWith(2, {{"gAMA", Be32(625000001)},
                         {"cHRM", chrmWith(3, 40000)},
                         {"iCCP", testimg::IccpChunkData(profile)}}),
       {{"iCCP", testimg::IccpChunkData(profile)}}},
      {"gamma below what libpng takes, white point y 4",
       ColourPngWith(2, {{"gAMA", Be32(15)}, {"cHRM", chrmWith(1, 4)}}),
       {}},
      {"only the first chunk of a type counts",
       ColourPngWith(2, {{"gAMA", Be32(0)},
                         {"gAMA", Be32(45455)},
                         {"pHYs", Phys(7, 9, 0)},
                         {"pHYs", Phys(1, 1, 1)}}),
       {{"pHYs", Phys(7, 9, 0)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const testimg::DecodedPng png = imagetest::Convert(c.source);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(Ancillary(png), c.expected);
  }
}

TEST(JpegOrientation, EveryOrientationComesOutUpright) {
  // Orientation n stands upright after `turns` quarter turns clockwise, then a mirror.
  struct Turn {
    int turns;
    bool mirror;
  };
  const Turn turns[9] = {{0, false}, {0, false}, {0, true}, {2, false}, {2, true},
                         {1, true},  {1, false}, {3, true}, {3, false}};
  struct Shape {
    JpegKind kind;
    int width;
    int height;
  };
  // Every kind of scanline the decoder gives (one, three and four samples), and pictures one
  // pixel wide or high. The CMYK pictures' stored pixels are those written when the
  // orientation is kept.
  const Shape shapes[] = {{JpegKind::kColour, 7, 3},    {JpegKind::kGrey, 7, 3},
                          {JpegKind::kCmykAdobe, 5, 3}, {JpegKind::kYcck, 3, 5},
                          {JpegKind::kColour, 1, 5},    {JpegKind::kGrey, 6, 1}};
  for (const Shape& shape : shapes) {
    for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE("orientation " + std::to_string(orientation) + ", kind " +
                   std::to_string(static_cast<int>(shape.kind)) + ", " +
                   std::to_string(shape.width) + "x" + std::to_string(shape.height));
      JpegRecipe recipe = ColourJpeg(shape.kind, shape.width, shape.height);
      recipe.app1 = testimg::MakeExif(orientation, orientation % 2 == 0);
      const Bytes source = testimg::MakeJpeg(recipe);
      Bitmap kept;
      ASSERT_TRUE(kept.LoadFromMemory(source, BitmapLoadOptions{false}));
      const Picture keptPicture = imagetest::Written(kept).picture;
      const bool cmyk = shape.kind == JpegKind::kCmykAdobe || shape.kind == JpegKind::kYcck;
      const Picture stored =
          cmyk ? keptPicture : FromReference(testimg::DecodeJpegReference(source));
      Picture expected = stored;
      for (int i = 0; i < turns[orientation].turns; ++i) {
        expected = TurnedClockwise(expected);
      }
      if (turns[orientation].mirror) {
        expected = Mirrored(expected);
      }
      const testimg::DecodedPng upright = imagetest::Convert(source);
      ASSERT_TRUE(upright.ok);
      EXPECT_EQ(testimg::Difference(expected, upright.picture), "");
      EXPECT_EQ(testimg::Difference(stored, keptPicture), "");
    }
  }
}

TEST(JpegOrientation, DamagedExifReadsAsUpright) {
  const Bytes good = testimg::MakeExif(6, false);
  auto with = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
    return b;
  };
  // The Orientation entry is the second of the directory at TIFF offset 8: block offset 28.
  struct Case {
    const char* name;
    Bytes block;
    int expected;
  };
  const Case cases[] = {
      {"little-endian", good, 6},
      {"big-endian", testimg::MakeExif(6, true), 6},
      {"not EXIF", with(0, {'J'}), 1},
      {"unknown byte order", with(6, {'I', 'M'}), 1},
      {"wrong TIFF number", with(8, {43}), 1},
      {"directory far past the end", with(10, {0xF0, 0xFF, 0xFF, 0xFF}), 1},
      {"directory just past the end", with(10, {static_cast<uint8_t>(good.size() - 7)}), 1},
      {"entry count past the end", with(14, {0xFF, 0xFF}), 6},
      {"orientation as a LONG", with(30, {4}), 1},
      {"two values", with(32, {2}), 1},
      {"value 0", with(36, {0}), 1},
      {"value 9", with(36, {9}), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(exif::Orientation(c.block.data(), c.block.size()), c.expected);
  }
  // Every cut-off block is read only within its bytes (each copy is exactly that long).
  for (size_t n = 0; n < good.size(); ++n) {
    const Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
    EXPECT_EQ(exif::Orientation(cut.data(), cut.size()), n >= 38 ? 6 : 1) << n;
  }
}
