// Test support: makes source images of every kind in memory, and decodes PNG and JPEG files
// with libpng and libjpeg as reference decoders, independently of the engine's own code.
//
// Pictures are held top row first as 8-bit red, green, blue, alpha. Everything here is for
// tests on one thread; failures of the reference libraries are reported through `ok` fields
// or empty results, never by ending the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testimg {

struct Rgba {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t a = 255;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
  bool operator!=(const Rgba& o) const { return !(*this == o); }
};

std::string ToString(const Rgba& c);

// A picture, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;

  Picture() = default;
  Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
  Rgba& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const Rgba& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Describes the first difference between two pictures (size or pixel), or "" when equal.
// `tolerance` is the largest difference allowed per channel.
std::string Difference(const Picture& expected, const Picture& actual, int tolerance = 0);

// ---- BMP ----------------------------------------------------------------------------------

enum class BmpHeader {
  kCore12,
  kOs2Short16,
  kOs2Full64,
  kInfo40,
  kV2_52,
  kV3_56,
  kV4_108,
  kV5_124
};

// Header size in bytes.
uint32_t HeaderBytes(BmpHeader header);

struct BmpRecipe {
  BmpHeader header = BmpHeader::kInfo40;
  int32_t width = 0;
  int32_t height = 0;  // always positive here; `topDown` writes it negated
  bool topDown = false;
  uint16_t bitCount = 24;
  uint32_t compression = 0;   // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields, 4 JPEG, 5 PNG, ...
  uint32_t masks[4] = {};     // red, green, blue, alpha: after a 40-byte header, or inside
  bool writeMasks = false;    // write the masks (bit fields)
  std::vector<Rgba> palette;  // written as the colour table (3-byte entries for kCore12)
  uint32_t colorsUsed = 0;    // the header's colour count field
  // Pixel values, top row first, width * height of them: palette index for 1-8 bits, the
  // 16- or 32-bit word for 16/32 bits, 0xRRGGBB for 24 bits. Ignored when `data` is given.
  std::vector<uint32_t> values;
  std::vector<uint8_t> data;  // pixel data written verbatim (RLE streams, odd layouts)
  uint32_t imageSizeField = 0;
  bool writeDataOffset = true;      // bfOffBits non-zero; otherwise the data follows the table
  size_t keepDataBytes = SIZE_MAX;  // cut the pixel data to this many bytes
  int32_t pixelsPerMetre[2] = {2835, 2835};  // x, y (headers of 40 bytes and more)
  uint32_t colourSpace = 0x73524742;         // V4 and V5: "sRGB"; 0x4D424544 "MBED" embeds
  uint32_t intent = 4;                       // V5 rendering intent (4: pictures, perceptual)
  std::vector<uint8_t> profile;              // V5: written after the pixel data
  uint32_t profileOffsetField = 0;           // V5: 0 gives the profile's real offset
  uint32_t profileSizeField = 0;             // V5: 0 gives the profile's real size
};

std::vector<uint8_t> MakeBmp(const BmpRecipe& recipe);

// RLE streams for `values` (top row first, indices), ending with end-of-bitmap. They use
// encoded runs for repeats and absolute runs for mixed stretches.
std::vector<uint8_t> EncodeRle8(int width, int height, const std::vector<uint32_t>& values);
std::vector<uint8_t> EncodeRle4(int width, int height, const std::vector<uint32_t>& values);

// ---- PNG ----------------------------------------------------------------------------------

struct PngRecipe {
  int width = 0;
  int height = 0;
  int colorType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  int bitDepth = 8;
  bool interlace = false;
  // Samples, top row first, channels per pixel as the colour type has them, each within the
  // bit depth (palette: the index).
  std::vector<uint16_t> samples;
  std::vector<Rgba> palette;          // PLTE for colour type 3 (alpha ignored)
  std::vector<uint8_t> paletteAlpha;  // tRNS for colour type 3
  bool transparentColour = false;     // tRNS for colour types 0 and 2
  uint16_t transparent[3] = {};       // grey, or red, green, blue
  // Chunks written as given right after IHDR, e.g. {"iCCP", data}.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> extraChunks;
};

std::vector<uint8_t> MakePng(const PngRecipe& recipe);

// What a PNG file holds, read with libpng with every sample expanded to 8-bit RGBA (16-bit
// samples rounded to the nearest 8-bit value, transparency becomes alpha).
struct DecodedPng {
  bool ok = false;
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int interlace = 0;
  std::vector<std::string> chunks;              // chunk types in file order
  std::vector<std::vector<uint8_t>> chunkData;  // the data of each of `chunks`
  std::vector<uint8_t> iccProfile;  // the iCCP profile as libpng accepts and inflates it
  std::vector<Rgba> palette;        // PLTE entries
  std::vector<uint8_t> idat;        // the concatenated IDAT data (the zlib stream)
  Picture picture;
};

DecodedPng DecodePng(const std::vector<uint8_t>& bytes);

// The samples of a PNG file as stored, top row first, channels as its colour type has them
// (palette indices, grey values of its depth, 16-bit values whole); empty when libpng fails.
std::vector<uint16_t> PngSamples(const std::vector<uint8_t>& bytes);

// True when the zlib stream holds only stored (uncompressed) deflate blocks.
bool AllStoredBlocks(const std::vector<uint8_t>& zlibStream);

// Rewrites the CRC of every chunk of type `type` so that it no longer matches.
void BreakChunkCrc(std::vector<uint8_t>& png, const std::string& type);

// ---- JPEG ---------------------------------------------------------------------------------

enum class JpegKind { kGrey, kColour, kCmykAdobe, kCmykPlain, kYcck };

struct JpegRecipe {
  int width = 0;
  int height = 0;
  JpegKind kind = JpegKind::kColour;
  bool progressive = false;
  int quality = 95;
  // Samples, top row first: 1 per pixel (grey), 3 (red, green, blue) or 4 (the C, M, Y, K values
  // as the file stores them; Adobe files store them inverted).
  std::vector<uint8_t> samples;
  std::vector<uint8_t> iccProfile;  // written as APP2 ICC_PROFILE segments
  std::vector<uint8_t> app1;        // written as one APP1 segment (see MakeExif)
  int densityUnit = 0;              // JFIF: 0 aspect ratio only, 1 dots per inch, 2 per cm
  int density[2] = {1, 1};          // x, y
};

std::vector<uint8_t> MakeJpeg(const JpegRecipe& recipe);

// The JPEG decoded by libjpeg with its defaults: grey stays grey, YCbCr becomes RGB, CMYK and
// YCCK become CMYK.
struct DecodedJpeg {
  bool ok = false;
  int width = 0;
  int height = 0;
  int components = 0;
  bool adobe = false;
  std::vector<uint8_t> samples;  // top row first
};

DecodedJpeg DecodeJpegReference(const std::vector<uint8_t>& bytes);

// ---- colour and orientation --------------------------------------------------------------

// A well-formed ICC profile of `colourSpace` ("RGB ", "GRAY", "CMYK"), a display profile with
// an XYZ connection space, carrying `extraBytes` of noise in a private tag so that profiles of
// any size (and several JPEG segments) can be made. Its size is a multiple of 4.
std::vector<uint8_t> MakeIccProfile(const char* colourSpace, size_t extraBytes, uint32_t seed);

// The data of a PNG chunk of `type`: iCCP (name "test", zlib) for a profile.
std::vector<uint8_t> IccpChunkData(const std::vector<uint8_t>& profile);

// An EXIF APP1 segment's contents whose first image directory holds `orientation` after two
// other tags, in big-endian ("MM") or little-endian ("II") order.
std::vector<uint8_t> MakeExif(uint16_t orientation, bool bigEndian);

// ---- patterns -----------------------------------------------------------------------------

// A deterministic pseudo-random sequence for test data.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t limit) { return Next() % limit; }

 private:
  uint32_t state_;
};

}  // namespace testimg
