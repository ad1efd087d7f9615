// Test support: makes WebP, GIF, TIFF and HEIF sources in memory with the libraries' own
// encoders, and decodes WebP and HEIF with the libraries themselves as reference decoders.
//
// Pictures are testimg::Picture (top row first, 8-bit RGBA). Everything here is for tests on
// one thread; a library's failure gives an empty result, never an ended process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/image_makers.h"

namespace testimg {

// A noisy picture of `width` x `height`; with `alpha`, every alpha value occurs somewhere.
Picture NoisePicture(int width, int height, bool alpha, uint32_t seed);

// ---- WebP ---------------------------------------------------------------------------------

struct WebpRecipe {
  std::vector<Picture> frames;  // one: a still image; more: an animation of equal canvases
  std::vector<int> durations;   // each frame's milliseconds; 100 for those not given
  int loops = 0;                // an animation's loop count, 0: forever
  bool lossless = true;
  bool alpha = false;  // encode the alpha channel (otherwise every pixel is written opaque)
  std::vector<uint8_t> icc;
  std::vector<uint8_t> exif;
  std::vector<uint8_t> xmp;
};

std::vector<uint8_t> MakeWebp(const WebpRecipe& recipe);

// libwebp's own decoding (the first frame of an animation is not composed: still files only).
Picture DecodeWebpReference(const std::vector<uint8_t>& bytes);

// The canvases libwebp's animation decoder composes, one per frame; empty when it fails.
std::vector<Picture> DecodeWebpAnimationReference(const std::vector<uint8_t>& bytes);

// ---- GIF ----------------------------------------------------------------------------------

struct GifFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlace = false;
  int transparent = -1;          // the transparent index, or -1
  int disposal = 0;              // the graphic control's disposal method
  int delay = 10;                // hundredths of a second
  std::vector<uint8_t> indices;  // width * height, top row first
  std::vector<Rgba> localMap;    // a local colour table, when not empty
};

struct GifRecipe {
  int width = 0;
  int height = 0;
  bool gif89 = true;
  std::vector<Rgba> globalMap;  // 2, 4, ..., 256 entries, or empty
  std::vector<GifFrame> frames;
  std::string comment;  // written before the first image when not empty
  int loops = -1;       // the NETSCAPE2.0 loop count, -1: no such extension
};

std::vector<uint8_t> MakeGif(const GifRecipe& recipe);

// The screens giflib's own decoding of an animation shows after each image: the images drawn
// on a transparent screen by their colour tables and transparent indices, each one's disposal
// applied before the next is drawn. Empty when giflib fails.
std::vector<Picture> ComposeGifReference(const std::vector<uint8_t>& bytes);

// ---- TIFF ---------------------------------------------------------------------------------

struct TiffRecipe {
  int width = 0;
  int height = 0;
  int samplesPerPixel = 3;
  int bitsPerSample = 8;
  int photometric = 2;   // PHOTOMETRIC_RGB
  int compression = 1;   // COMPRESSION_NONE
  int extraSample = -1;  // EXTRASAMPLE_ASSOCALPHA (1) or UNASSALPHA (2) for the last sample
  int orientation = 1;
  int tileSize = 0;  // 0: strips of rowsPerStrip rows
  int rowsPerStrip = 4;
  int pages = 1;          // the later pages repeat the first
  bool separate = false;  // one plane per sample (strips only)
  // Samples, top row first, interleaved, each within the bit width (packed here from the most
  // significant bit; 16-bit samples in the host's order, as libtiff takes them).
  std::vector<uint16_t> samples;
  std::vector<Rgba> palette;  // photometric 3: 2^bits entries
  // photometric 3, when not empty: the colour map at 16 bits, 2^bits red, then green, then blue
  // entries (the palette above is then not used).
  std::vector<uint16_t> colourMap;
  bool bigTiff = false;  // written as a BigTIFF (8-byte offsets)
  std::vector<uint8_t> icc;
  std::string xmp;
  std::string make;       // the Make tag of the first page, when not empty
  std::string dateTaken;  // when not empty: an EXIF directory with this DateTimeOriginal and an
                          // ExposureTime of 1/250, the first page pointing at it
};

std::vector<uint8_t> MakeTiff(const TiffRecipe& recipe);

// A width x height recipe of the given layout, its samples (and palette) still to be made.
TiffRecipe TiffLayout(int width, int height, int samples, int bits, int photometric,
                      int compression, int extra, int orientation, int tile);

// ---- HEIF ---------------------------------------------------------------------------------

// A HEIC (`av1` false) or AVIF of `picture` made by libheif's encoders, lossless where the
// encoder allows, with the given EXIF block (TIFF structure) and XMP packet. Empty when this
// build of libheif has no such encoder (the Windows build decodes only).
std::vector<uint8_t> MakeHeif(const Picture& picture, bool av1, bool alpha, int bits,
                              const std::vector<uint8_t>& exif, const std::string& xmp);

// libheif's own decoding of the primary image to 8-bit RGBA; an empty picture when it fails.
Picture DecodeHeifReference(const std::vector<uint8_t>& bytes);

// libheif's own decoding of the primary image at its full depth: red, green, blue (and, with
// `alpha`, alpha) samples, top row first, each of `bits` bits (set here); empty when it fails.
std::vector<uint16_t> DecodeHeifDeepReference(const std::vector<uint8_t>& bytes, bool alpha,
                                              int& bits);

}  // namespace testimg
