// BMP files for the reader tests: recipes of every kind filled with reproducible pixel values,
// the pictures they should decode to, and one check that converts a BMP and compares the PNG.
//
// Threads: the test's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"

namespace bmptest {

using testimg::BmpRecipe;
using testimg::Picture;
using testimg::Rgba;

// `count` opaque colours drawn from `seed`.
inline std::vector<Rgba> RandomPalette(size_t count, uint32_t seed) {
  testimg::Noise noise(seed);
  std::vector<Rgba> palette(count);
  for (Rgba& c : palette) {
    const uint32_t v = noise.Next();
    c = Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             255};
  }
  return palette;
}

// width * height values below `limit` drawn from `seed`, top row first.
inline std::vector<uint32_t> RandomValues(int width, int height, uint32_t limit, uint32_t seed) {
  testimg::Noise noise(seed);
  std::vector<uint32_t> values(static_cast<size_t>(width) * height);
  for (uint32_t& v : values) {
    v = noise.Below(limit);
  }
  return values;
}

// Values with runs, as RLE encoders meet them: stretches of one value and mixed stretches.
inline std::vector<uint32_t> RunnyValues(int width, int height, uint32_t limit, uint32_t seed) {
  testimg::Noise noise(seed);
  std::vector<uint32_t> values;
  while (values.size() < static_cast<size_t>(width) * height) {
    const uint32_t run = 1 + noise.Below(noise.Below(2) == 0 ? 3 : 40);
    const uint32_t v = noise.Below(limit);
    for (uint32_t i = 0; i < run; ++i) {
      values.push_back(noise.Below(4) == 0 && run < 4 ? noise.Below(limit) : v);
    }
  }
  values.resize(static_cast<size_t>(width) * height);
  return values;
}

// The picture of palette indices `values`; an index past the palette is opaque black.
inline Picture IndexedPicture(int width, int height, const std::vector<uint32_t>& values,
                              const std::vector<Rgba>& palette) {
  Picture picture(width, height);
  for (size_t i = 0; i < values.size(); ++i) {
    picture.pixels[i] = values[i] < palette.size() ? palette[values[i]] : Rgba{0, 0, 0, 255};
  }
  return picture;
}

// The picture of `values` (top row first) with each pixel's colour given by `colour`.
inline Picture PictureBy(int width, int height, const std::vector<uint32_t>& values,
                         Rgba (*colour)(uint32_t)) {
  Picture picture(width, height);
  for (size_t i = 0; i < values.size(); ++i) {
    picture.pixels[i] = colour(values[i]);
  }
  return picture;
}

// A field of `max` as 8 bits, rounded so that a full field is 255.
inline uint8_t Scaled(uint32_t v, uint32_t max) {
  return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

inline Rgba From555(uint32_t v) {
  return Rgba{Scaled((v >> 10) & 31, 31), Scaled((v >> 5) & 31, 31), Scaled(v & 31, 31), 255};
}

inline Rgba From565(uint32_t v) {
  return Rgba{Scaled((v >> 11) & 31, 31), Scaled((v >> 5) & 63, 63), Scaled(v & 31, 31), 255};
}

// A plain BMP of these pixel values (see BmpRecipe::values for their meaning at each depth).
inline BmpRecipe DirectRecipe(int width, int height, uint16_t bits, std::vector<uint32_t> values) {
  BmpRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.bitCount = bits;
  recipe.values = std::move(values);
  return recipe;
}

inline BmpRecipe IndexedRecipe(int width, int height, uint16_t bits, uint32_t seed) {
  BmpRecipe recipe =
      DirectRecipe(width, height, bits, RandomValues(width, height, 1u << bits, seed + 1));
  recipe.palette = RandomPalette(size_t{1} << bits, seed);
  return recipe;
}

// Makes `recipe` a `bits`-bit bit-field BMP with these masks for red, green and blue (written
// after a 40-byte header, or inside a larger one).
inline void UseBitFields(BmpRecipe& recipe, uint16_t bits, uint32_t red, uint32_t green,
                         uint32_t blue) {
  recipe.bitCount = bits;
  recipe.compression = 3;
  recipe.writeMasks = true;
  recipe.masks[0] = red;
  recipe.masks[1] = green;
  recipe.masks[2] = blue;
}

// A bit-field BMP of these pixel values (after a 40-byte header unless `header` says otherwise).
inline BmpRecipe BitFieldRecipe(int width, int height, uint16_t bits, uint32_t red, uint32_t green,
                                uint32_t blue, std::vector<uint32_t> values) {
  BmpRecipe recipe = DirectRecipe(width, height, bits, std::move(values));
  UseBitFields(recipe, bits, red, green, blue);
  return recipe;
}

// How the PNG converted from the BMP of `recipe` differs from `expected` ("" when it shows
// exactly that picture).
inline std::string ConvertedDifference(const BmpRecipe& recipe, const Picture& expected) {
  const testimg::DecodedPng png = imagetest::Convert(testimg::MakeBmp(recipe));
  if (!png.ok) {
    return "the BMP did not convert";
  }
  return testimg::Difference(expected, png.picture);
}

}  // namespace bmptest
