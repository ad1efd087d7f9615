// Small recipes for the colour tests: a noisy JPEG and a 4x3 PNG of each colour type with
// extra chunks. Shared by the codec tests and the run-option tests of the engine.
#ifndef MORVANE_TESTS_IMAGE_COLOUR_RECIPES_H_
#define MORVANE_TESTS_IMAGE_COLOUR_RECIPES_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/image_makers.h"

namespace testimg {

inline JpegRecipe ColourJpeg(JpegKind kind, int width = 12, int height = 8) {
  JpegRecipe recipe;
  recipe.kind = kind;
  recipe.width = width;
  recipe.height = height;
  const int components = kind == JpegKind::kGrey ? 1 : kind == JpegKind::kColour ? 3 : 4;
  Noise noise(static_cast<uint32_t>(width * 31 + height));
  recipe.samples.resize(static_cast<size_t>(width) * height * components);
  for (uint8_t& s : recipe.samples) {
    s = static_cast<uint8_t>(noise.Next());
  }
  return recipe;
}

inline PngRecipe ColourPng(int colorType,
                           std::vector<std::pair<std::string, std::vector<uint8_t>>> chunks) {
  PngRecipe recipe;
  recipe.width = 4;
  recipe.height = 3;
  recipe.colorType = colorType;
  const int channels = colorType == 0 || colorType == 3 ? 1
                       : colorType == 4                 ? 2
                       : colorType == 2                 ? 3
                                                        : 4;
  recipe.samples.assign(static_cast<size_t>(4 * 3 * channels), 1);
  if (colorType == 3) {
    recipe.palette = {{10, 20, 30, 255}, {40, 50, 60, 255}};
  }
  recipe.extraChunks = std::move(chunks);
  return recipe;
}

inline std::vector<uint8_t> ColourPngWith(
    int colorType, std::vector<std::pair<std::string, std::vector<uint8_t>>> chunks) {
  return MakePng(ColourPng(colorType, std::move(chunks)));
}

}  // namespace testimg

#endif  // MORVANE_TESTS_IMAGE_COLOUR_RECIPES_H_
