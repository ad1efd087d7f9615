// What the image fuzz targets share: preparing the input's bytes, reading them through one
// reader of the chain, and the checks every read image must pass.
//
// Threads: any; a failed check aborts the process (fuzz_check.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "tests/support/image_makers.h"

namespace fuzzing {

inline constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// The input's bytes, with every whole chunk's CRC set right when it is a PNG: mutated chunks
// almost never keep a valid CRC, and libpng would stop at the check before the decoding.
std::vector<std::uint8_t> PrepareImageBytes(const std::uint8_t* data, std::size_t size);

// The image's width times its height.
std::uint64_t PixelCount(const Bitmap& image);

// The largest pixel count an image header in the input declares, found without decoding; 0
// when none is found (declared_pixels.cpp).
std::uint64_t DeclaredPixels(const std::uint8_t* data, std::size_t size);

// False for inputs declaring between kMaxFuzzedPixels and kSurelyRefusedPixels pixels: their
// decoding runs the same code as smaller images but spends its time filling a large store,
// which would slow the search a hundredfold. Larger declarations stay in, so the readers'
// refusal of sizes past the bound is fuzzed too; the image tests cover decoding near the bound.
bool WorthDecoding(const std::uint8_t* data, std::size_t size);

// What every successfully read image must satisfy, whatever the source.
void CheckImageShape(const char* target, const Bitmap& image);

// The image converted to 24 bits must work for every layout a reader produces (small images).
void CheckConvertible(const char* target, const Bitmap& image);

// The colours of a small image (at most kMaxCheckedPixels) as shown, top row first, alpha 255
// where the image has none.
testimg::Picture PictureOf(const char* target, const Bitmap& image);

// Reads through one reader of the chain, as Bitmap::Load does, but without the chain's entry.
template <typename Reader>
bool ReadWith(Reader reader, const std::uint8_t* data, std::size_t size, Bitmap& image) {
  std::vector<std::uint8_t> bytes = PrepareImageBytes(data, size);
  kiv::File stream;
  stream.AttachVector(bytes);
  bool ok = false;
  try {
    ok = reader(stream, image, Bitmap::LoadOptions());
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  return ok;
}

}  // namespace fuzzing
