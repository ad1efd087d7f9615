// The run options that shape what a conversion keeps of a source's colour, size and orientation:
// strip, keep orientation and the 24-bit copy, through one file's conversion on disk.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/convert_file.h"
#include "engine/file_list.h"
#include "engine/memory_options.h"
#include "tests/image/colour_recipes.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

using testimg::JpegKind;
using testimg::JpegRecipe;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(ColourProfile, RunOptionsAndTheTwentyFourBitCopy) {
  testimg::TempDir dir;
  const Bytes profile = testimg::MakeIccProfile("RGB ", 300, 7);
  JpegRecipe recipe = testimg::ColourJpeg(JpegKind::kColour, 7, 3);
  recipe.iccProfile = profile;
  recipe.densityUnit = 1;
  recipe.density[0] = recipe.density[1] = 72;
  recipe.app1 = testimg::MakeExif(8, true);
  const std::wstring jpeg = dir / L"photo.jpg";
  const std::wstring palette = dir / L"palette.png";
  const std::wstring grey = dir / L"grey.jpg";
  ASSERT_TRUE(testimg::WriteFileBytes(jpeg, testimg::MakeJpeg(recipe)));
  JpegRecipe greyRecipe = testimg::ColourJpeg(JpegKind::kGrey, 7, 3);
  greyRecipe.densityUnit = 1;
  greyRecipe.density[0] = greyRecipe.density[1] = 72;
  greyRecipe.app1 = testimg::MakeExif(6, false);
  ASSERT_TRUE(testimg::WriteFileBytes(grey, testimg::MakeJpeg(greyRecipe)));
  ASSERT_TRUE(testimg::WriteFileBytes(
      palette, testimg::ColourPngWith(3, {{"iCCP", testimg::IccpChunkData(profile)}})));
  struct Case {
    const char* name;
    const std::wstring& source;
    std::optional<Option> option;
    std::vector<std::string> chunks;
    uint32_t width;
  };
  const Case cases[] = {
      {"defaults", jpeg, std::nullopt, {"IHDR", "iCCP", "pHYs", "eXIf", "IDAT", "IEND"}, 3},
      {"strip", jpeg, Option::kStrip, {"IHDR", "IDAT", "IEND"}, 3},
      {"keep orientation",
       jpeg,
       Option::kKeepOrientation,
       {"IHDR", "iCCP", "pHYs", "eXIf", "IDAT", "IEND"},
       7},
      {"24-bit copy keeps the profile",
       palette,
       Option::k24Bit,
       {"IHDR", "iCCP", "IDAT", "IEND"},
       4},
      {"24-bit copy of a grey JPEG turned upright",
       grey,
       Option::k24Bit,
       {"IHDR", "pHYs", "eXIf", "IDAT", "IEND"},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryOptionSet options;
    if (c.option) {
      options.SetOn(*c.option, true);
    }
    const std::wstring output = dir / L"out.png";
    const ConvertOutcome outcome = ConvertFile(c.source, output, options);
    ASSERT_TRUE(outcome.stateText.has_value());
    EXPECT_EQ(*outcome.stateText, kStateConverted);
    const testimg::DecodedPng png = testimg::DecodePng(testimg::ReadFileBytes(output));
    EXPECT_EQ(png.chunks, c.chunks);
    EXPECT_EQ(png.width, c.width);
  }
}

}  // namespace
