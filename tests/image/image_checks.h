// Shared helpers of the image tests: loading made-up files and reading back what the writer
// produced, through libpng as the reference decoder.
//
// Threads: the test's thread; gtest's EXPECT macros report failures here.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/bitmap.h"
#include "tests/support/image_makers.h"

namespace imagetest {

// The PNG the writer makes of `image`, decoded by libpng.
inline testimg::DecodedPng Written(const Bitmap& image, int level = 6, bool interlace = false) {
  std::vector<uint8_t> png;
  EXPECT_TRUE(image.EncodePng(png, level, interlace));
  return testimg::DecodePng(png);
}

// Loads `bytes` and writes the image as a PNG, decoded by libpng; `ok` false when either failed.
inline testimg::DecodedPng Convert(const std::vector<uint8_t>& bytes, int level = 6,
                                   bool interlace = false) {
  Bitmap image;
  if (!image.LoadFromMemory(bytes)) {
    return testimg::DecodedPng{};
  }
  return Written(image, level, interlace);
}

// A picture from opaque colours given as 0xRRGGBB, top row first.
inline testimg::Picture PictureOf(int width, int height, const std::vector<uint32_t>& rgb) {
  testimg::Picture picture(width, height);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const uint32_t c = rgb.at(i);
    picture.pixels[i] = testimg::Rgba{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                      static_cast<uint8_t>(c), 255};
  }
  return picture;
}

inline bool OnlyChunks(const testimg::DecodedPng& png, const std::vector<std::string>& chunks) {
  return png.chunks == chunks;
}

}  // namespace imagetest
