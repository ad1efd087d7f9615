// Replays, through the fuzz targets' own checks, every seed and every saved input that once made
// a target fail (fuzz/regressions/<target>/). A regression aborts the test with the check's
// message, or is caught by the sanitizers of this build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/image_checks.h"
#include "fuzz/seeds.h"
#include "fuzz/targets.h"
#include "tests/support/format_makers.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class FuzzRegression : public ::testing::TestWithParam<fuzzing::Target> {};

TEST_P(FuzzRegression, SeedsPassEveryCheck) {
  const fuzzing::Target& target = GetParam();
  const std::vector<fuzzing::Seed> seeds = fuzzing::MakeSeeds(target.name);
  ASSERT_FALSE(seeds.empty());
  for (const fuzzing::Seed& seed : seeds) {
    SCOPED_TRACE(seed.name);
    // Seeds are inputs the target is made for: none may be turned away.
    EXPECT_EQ(target.run(seed.bytes.data(), seed.bytes.size()), 0);
  }
}

TEST_P(FuzzRegression, SavedFindingsStayFixed) {
  const fuzzing::Target& target = GetParam();
  const fs::path folder = fs::path(MORVANE_FUZZ_REGRESSIONS_DIR) / target.name;
  if (!fs::is_directory(folder)) {
    GTEST_SKIP() << "no saved findings for " << target.name;
  }
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<uint8_t> bytes = ReadAll(entry.path());
    target.run(bytes.data(), bytes.size());  // aborts on a failed check
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

// Inputs no target wants are turned away, not crashed on.
TEST(FuzzTargets, EmptyAndTinyInputsAreHandled) {
  const uint8_t bytes[] = {'B', 'M', 0x89, 'P', 0xFF, 0xD8};
  for (const fuzzing::Target& target : fuzzing::AllTargets()) {
    SCOPED_TRACE(target.name);
    for (size_t n = 0; n <= sizeof bytes; ++n) {
      const int result = target.run(n == 0 ? nullptr : bytes, n);
      EXPECT_TRUE(result == 0 || result == -1);
    }
  }
}

// The pixel counts the image targets read from headers, to keep images too large to fuzz
// quickly out of the search: files made by the libraries' encoders, and bare headers declaring
// sizes no encoder here makes.
TEST(FuzzTargets, DeclaredPixelsAreReadFromEachKindOfHeader) {
  testimg::WebpRecipe lossless;
  lossless.frames = {testimg::NoisePicture(13, 7, false, 1)};
  testimg::WebpRecipe lossy = lossless;
  lossy.lossless = false;
  testimg::WebpRecipe extended = lossless;  // an ICC profile needs the extended header
  extended.icc = testimg::MakeIccProfile("RGB ", 40, 1);
  testimg::GifRecipe gif;
  gif.width = 300;
  gif.height = 2;
  gif.globalMap = {testimg::Rgba{}, testimg::Rgba{}};
  testimg::GifFrame pixel;
  pixel.width = 1;
  pixel.height = 1;
  pixel.indices = {0};
  gif.frames = {pixel};
  testimg::TiffRecipe tiff;
  tiff.width = 19;
  tiff.height = 11;
  tiff.samples.assign(19 * 11 * 3, 7);
  // clang-format off
  // Big-endian, one directory at 8 of two entries: ImageWidth LONG 70000, ImageLength SHORT 3.
  const std::vector<uint8_t> bareTiff = {
      'M', 'M', 0, 42, 0, 0, 0, 8,
      0, 2,
      1, 0, 0, 4, 0, 0, 0, 1, 0, 1, 0x11, 0x70,
      1, 1, 0, 3, 0, 0, 0, 1, 0, 3, 0, 0,
      0, 0, 0, 0};
  // BigTIFF, little-endian, one directory at 16: ImageWidth LONG8 2^33, ImageLength SHORT 2.
  const std::vector<uint8_t> bigTiff = {
      'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0,
      2, 0, 0, 0, 0, 0, 0, 0,
      0, 1, 16, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
      1, 1, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  // An ISO media file whose image size properties say 10 x 10 and 40000 x 30000.
  const std::vector<uint8_t> heifSizes = {
      0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0,
      0, 0, 0, 20, 'i', 's', 'p', 'e', 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 10,
      0, 0, 0, 20, 'i', 's', 'p', 'e', 0, 0, 0, 0, 0, 0, 0x9C, 0x40, 0, 0, 0x75, 0x30};
  // A grid of 10264 x 4112 described in an "idat" box.
  const std::vector<uint8_t> heifGrid = {
      0, 0, 0, 16, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0,
      0, 0, 0, 20, 'i', 'd', 'a', 't', 0, 0, 0, 0, 0x28, 0x18, 0x10, 0x10, 0, 0, 0, 0};
  // clang-format on
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    uint64_t pixels;
  } cases[] = {
      {"lossless webp", testimg::MakeWebp(lossless), 13 * 7},
      {"lossy webp", testimg::MakeWebp(lossy), 13 * 7},
      {"extended webp", testimg::MakeWebp(extended), 13 * 7},
      {"gif screen", testimg::MakeGif(gif), 300 * 2},
      {"bare gif screen", {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF}, 65535u * 65535u},
      {"tiff", testimg::MakeTiff(tiff), 19 * 11},
      {"big-endian tiff", bareTiff, 70000 * 3},
      {"bigtiff", bigTiff, (uint64_t{1} << 33) * 2},
      {"heif image sizes, the largest counting", heifSizes, 40000 * 30000},
      {"heif grid", heifGrid, 10264 * 4112},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    EXPECT_EQ(fuzzing::DeclaredPixels(c.bytes.data(), c.bytes.size()), c.pixels);
  }
}

INSTANTIATE_TEST_SUITE_P(AllTargets, FuzzRegression, ::testing::ValuesIn(fuzzing::AllTargets()),
                         [](const ::testing::TestParamInfo<fuzzing::Target>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
