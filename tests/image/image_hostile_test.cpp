// Hostile WebP, GIF, TIFF and HEIF files: cut short, or declaring a picture past the pixel
// store's limit in a few bytes; and files of other kinds, which fail named by what they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "tests/support/format_makers.h"
#include "tests/support/image_makers.h"

namespace {

using Failure = BitmapLoadNotes::Failure;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

// An animated WebP's header with a canvas of `side` x `side` and no frame yet.
std::vector<uint8_t> WebpCanvas(uint32_t side) {
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  Put32(out, 4 + 18 + 14);
  out.insert(out.end(), {'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'});
  Put32(out, 10);
  out.insert(out.end(), {0x02, 0, 0, 0});
  for (int k = 0; k < 2; ++k) {
    out.push_back(static_cast<uint8_t>(side - 1));
    out.push_back(static_cast<uint8_t>((side - 1) >> 8));
    out.push_back(static_cast<uint8_t>((side - 1) >> 16));
  }
  out.insert(out.end(), {'A', 'N', 'I', 'M'});
  Put32(out, 6);
  out.insert(out.end(), {0, 0, 0, 0, 0, 0});
  return out;
}

// A GIF screen of 65535 x 65535 holding one image of that size and a few bytes of data.
std::vector<uint8_t> GifScreen() {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, 65535);
  Put16(out, 65535);
  out.insert(out.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255, ','});
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, 65535);
  Put16(out, 65535);
  out.insert(out.end(), {0, 2, 2, 0x4C, 0x01, 0, ';'});
  return out;
}

// A little-endian TIFF of `side` x `side` RGB pixels of `bits` bits a sample, deflated, whose one
// strip is 8 bytes.
std::vector<uint8_t> TiffHeader(uint32_t side, uint32_t bits = 8) {
  struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t value;
  };
  const Entry entries[] = {{256, 4, side}, {257, 4, side}, {258, 3, bits}, {259, 3, 8}, {262, 3, 2},
                           {273, 4, 8},    {277, 3, 3},    {278, 4, side}, {279, 4, 8}};
  std::vector<uint8_t> out = {'I', 'I', 42, 0};
  Put32(out, 16);
  out.insert(out.end(), {0x78, 0x9C, 0x03, 0, 0, 0, 0, 1});
  Put16(out, sizeof entries / sizeof entries[0]);
  for (const Entry& e : entries) {
    Put16(out, e.tag);
    Put16(out, e.type);
    Put32(out, 1);
    Put32(out, e.value);
  }
  Put32(out, 0);
  return out;
}

std::vector<uint8_t> DataFile(const char* name) {
  std::ifstream in(std::string(MORVANE_TEST_DATA) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A HEIC made natively with its declared size (every "ispe" box) set to `side` x `side`; empty
// where no encoder is at hand.
std::vector<uint8_t> HeifDeclaring(uint32_t side) {
  std::vector<uint8_t> bytes =
      testimg::MakeHeif(testimg::NoisePicture(16, 16, false, 2), false, false, 8, {}, "");
  for (size_t at = 0; at + 16 <= bytes.size(); ++at) {
    if (std::memcmp(bytes.data() + at, "ispe", 4) == 0) {
      for (int k = 0; k < 2; ++k) {
        uint8_t* v = bytes.data() + at + 8 + 4 * k;
        v[0] = static_cast<uint8_t>(side >> 24);
        v[1] = static_cast<uint8_t>(side >> 16);
        v[2] = static_cast<uint8_t>(side >> 8);
        v[3] = static_cast<uint8_t>(side);
      }
    }
  }
  return bytes;
}

TEST(HostileFiles, DeclaredSizePastTheLimitFailsAsTooLarge) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"webp canvas", WebpCanvas(40000)},
      {"gif screen", GifScreen()},
      {"tiff", TiffHeader(100000)},
      {"tiff of 16 bits", TiffHeader(100000, 16)},
      {"heif within libheif's own limit", HeifDeclaring(30000)},
      {"heif past libheif's own limit", HeifDeclaring(70000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.bytes.empty()) {
      continue;
    }
    Bitmap image;
    EXPECT_FALSE(image.LoadFromMemory(c.bytes));
    EXPECT_EQ(image.Notes().failure, Failure::kTooLarge) << image.Notes().detail;
  }
}

// A grid's file (one 64 x 64 tile, a grid of 30000 x 30000 described in its idat box, a size
// property of 24 x 16) with its tile's size property, its own size property and its description
// set as given (0: as made).
std::vector<uint8_t> Grid(uint32_t tileSide, uint32_t width, uint32_t height, uint16_t gridWidth,
                          uint16_t gridHeight) {
  std::vector<uint8_t> bytes = DataFile("grid_larger_than_its_size.heic");
  auto put = [&](size_t at, uint32_t value, int size) {
    for (int k = 0; k < size; ++k) {
      bytes[at + k] = static_cast<uint8_t>(value >> (8 * (size - 1 - k)));
    }
  };
  const std::string ispe = "ispe";
  const auto tile = std::search(bytes.begin(), bytes.end(), ispe.begin(), ispe.end());
  const auto grid = std::search(tile + 4, bytes.end(), ispe.begin(), ispe.end());
  const std::string idat = "idat";
  const auto description = std::search(bytes.begin(), bytes.end(), idat.begin(), idat.end());
  const std::pair<size_t, uint32_t> fields[] = {
      {static_cast<size_t>(tile - bytes.begin()) + 8, tileSide},
      {static_cast<size_t>(tile - bytes.begin()) + 12, tileSide},
      {static_cast<size_t>(grid - bytes.begin()) + 8, width},
      {static_cast<size_t>(grid - bytes.begin()) + 12, height}};
  for (const auto& [at, value] : fields) {
    if (value != 0) {
      put(at, value, 4);
    }
  }
  const size_t sides = static_cast<size_t>(description - bytes.begin()) + 8;
  if (gridWidth != 0) {
    put(sides, gridWidth, 2);
    put(sides + 2, gridHeight, 2);
  }
  return bytes;
}

// A grid whose sizes disagree (its description, its size property, its tiles') is refused by the
// largest of them before libheif allocates it, not by an allocation that fails (or, without a
// bound on allocations, takes gigabytes).
TEST(HostileFiles, HeifGridsAreBoundedBeforeDecoding) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* detail;  // of the refusal; empty: the grid is read, at its description's size
  } cases[] = {
      {"grid larger than its size", Grid(0, 0, 0, 0, 0), "a grid of 30000 x 30000 exceeds"},
      {"size long and thin", Grid(0, 30000, 16, 0, 0), "a grid of 30000 x 30000 exceeds"},
      {"size thin and long", Grid(0, 16, 30000, 0, 0), "a grid of 30000 x 30000 exceeds"},
      {"size past libheif's own limit", Grid(0, 200000, 16, 0, 0), "exceeds the maximum"},
      {"tile larger than the grid", Grid(30000, 0, 0, 24, 16), "an image of 30000 x 30000 exceeds"},
      {"grid long and thin", Grid(0, 24, 16, 60000, 16), ""},
      {"grid thin and long", Grid(0, 24, 16, 16, 60000), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap image;
    const bool loaded = image.LoadFromMemory(c.bytes);
    if (c.detail[0] == 0) {
      ASSERT_TRUE(loaded) << image.Notes().detail;
      EXPECT_EQ(uint64_t{static_cast<uint32_t>(image.Width())} * image.Height(), 60000u * 16);
      continue;
    }
    EXPECT_FALSE(loaded);
    EXPECT_EQ(image.Notes().failure, Failure::kTooLarge);
    EXPECT_NE(image.Notes().detail.find(c.detail), std::string::npos) << image.Notes().detail;
  }
}

TEST(HostileFiles, CutShortFailsWithAReasonOrWarns) {
  testimg::WebpRecipe webp;
  webp.frames.push_back(testimg::NoisePicture(64, 48, false, 1));
  webp.lossless = false;
  testimg::GifRecipe gif;
  gif.width = 64;
  gif.height = 48;
  gif.globalMap.assign(4, testimg::Rgba{1, 2, 3, 255});
  testimg::GifFrame frame;
  frame.width = 64;
  frame.height = 48;
  testimg::Noise noise(4);
  for (int i = 0; i < 64 * 48; ++i) {
    frame.indices.push_back(static_cast<uint8_t>(noise.Below(4)));
  }
  gif.frames = {frame};
  testimg::TiffRecipe tiff;
  tiff.width = 64;
  tiff.height = 48;
  tiff.compression = 5;  // LZW
  tiff.samples.resize(64 * 48 * 3);
  for (uint16_t& s : tiff.samples) {
    s = static_cast<uint16_t>(noise.Below(256));
  }
  // Samples of 12 bits, kept at 16, with an EXIF directory.
  testimg::TiffRecipe deep = tiff;
  deep.bitsPerSample = 12;
  for (uint16_t& s : deep.samples) {
    s = static_cast<uint16_t>(noise.Below(4096));
  }
  deep.dateTaken = "2026:12:08 07:50:00";
  std::vector<uint8_t> heif =
      testimg::MakeHeif(testimg::NoisePicture(64, 48, false, 3), false, false, 8, {}, "");
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } kinds[] = {
      {"webp", testimg::MakeWebp(webp)},
      {"gif", testimg::MakeGif(gif)},
      {"tiff", testimg::MakeTiff(tiff)},
      {"tiff of 12 bits", testimg::MakeTiff(deep)},
      {"heif", heif},
  };
  for (const auto& kind : kinds) {
    if (kind.bytes.empty()) {
      continue;
    }
    for (const double share : {0.02, 0.3, 0.6, 0.95}) {
      SCOPED_TRACE(std::string(kind.name) + " cut at " + std::to_string(share));
      std::vector<uint8_t> cut(
          kind.bytes.begin(),
          kind.bytes.begin() + static_cast<ptrdiff_t>(kind.bytes.size() * share));
      Bitmap image;
      if (image.LoadFromMemory(cut)) {
        // A TIFF's directory may follow its data: a cut that spares the first strips and the
        // directory is not noticed before the missing strips.
        EXPECT_TRUE(image.Notes().truncated);
      } else {
        EXPECT_EQ(image.Notes().failure, Failure::kCorrupt);
        EXPECT_FALSE(image.Notes().detail.empty());
      }
    }
  }
}

TEST(OtherKinds, AreNamedByContent) {
  const struct {
    std::string bytes;
    const char* name;
  } cases[] = {
      {"", "an empty file"},
      {std::string("8BPS\0\1\0\0\0\0\0\0\0\3", 14), "a Photoshop document"},
      {"%PDF-1.7\n%\xE2\xE3\xCF\xD3\n", "a PDF document"},
      {"Dear reader,\r\nthis is text. \xE6\x97\xA5\xE6\x9C\xAC\n", "a text file"},
      {"<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "an SVG drawing"},
      {std::string("PK\3\4\x14\0\0\0", 8), "a ZIP archive"},
      {std::string("\0\0\0\x18"
                   "ftypmp42\0\0\0\0mp42isom",
                   24),
       "a video or other media file"},
      {std::string("\x01\x02\x03\xFE\x00\x80", 6), "not an image of a kind read here"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap image;
    EXPECT_FALSE(image.LoadFromMemory(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())));
    EXPECT_EQ(image.Notes().failure, Failure::kNotImage);
    EXPECT_EQ(image.Notes().detail, c.name);
  }
}

}  // namespace
