// What a source's PNG holds: its kind of colour, its depth and every sample, written beside
// another folder with sources to be deleted, and in place; a PNG in place is never replaced by
// a larger copy of itself; and a PNG that does not read back as written never takes a source's
// place.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_fault.h"
#include "base/path.h"
#include "engine/convert_file.h"
#include "engine/failure_reason.h"
#include "engine/file_list.h"
#include "engine/memory_options.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

struct Source {
  const char* what;
  std::wstring name;
  std::vector<uint8_t> bytes;
  int colorType;                  // of the PNG written
  int depth;                      // of the PNG written
  std::vector<uint16_t> samples;  // of the PNG written, as stored
  bool trns;                      // the PNG has a tRNS chunk
};

std::vector<uint16_t> Noise(size_t count, uint32_t limit, uint32_t seed) {
  std::vector<uint16_t> samples(count);
  uint32_t state = seed * 2654435761u + 1;
  for (uint16_t& s : samples) {
    state = state * 1664525u + 1013904223u;
    s = static_cast<uint16_t>((state >> 8) % limit);
  }
  return samples;
}

Source PngSource(const char* what, int colorType, int depth, bool trns, uint32_t seed) {
  testimg::PngRecipe recipe;
  recipe.width = 13;
  recipe.height = 5;
  recipe.colorType = colorType;
  recipe.bitDepth = depth;
  const int channels = colorType == 2 ? 3 : colorType == 6 ? 4 : colorType == 4 ? 2 : 1;
  recipe.samples = Noise(static_cast<size_t>(13 * 5 * channels), 1u << depth, seed);
  if (colorType == 3) {
    for (int i = 0; i < (1 << depth); ++i) {
      recipe.palette.push_back(testimg::Rgba{static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i),
                                             static_cast<uint8_t>(255 - i), 255});
    }
    if (trns) {
      recipe.paletteAlpha = {0, 128};
    }
  } else if (trns) {
    recipe.transparentColour = true;
    recipe.transparent[0] = recipe.samples[0];
  }
  return Source{what,           L"source.png", testimg::MakePng(recipe), colorType, depth,
                recipe.samples, trns};
}

std::vector<Source> Sources() {
  std::vector<Source> sources = {
      PngSource("grey 1", 0, 1, false, 1),
      PngSource("grey 2 with a transparent grey", 0, 2, true, 2),
      PngSource("grey 4", 0, 4, false, 3),
      PngSource("grey 8", 0, 8, false, 4),
      PngSource("grey 16", 0, 16, false, 5),
      PngSource("grey+alpha 8", 4, 8, false, 6),
      PngSource("grey+alpha 16", 4, 16, false, 7),
      PngSource("palette 2 with tRNS", 3, 2, true, 8),
      PngSource("palette 8", 3, 8, false, 9),
      PngSource("RGB 16", 2, 16, false, 10),
      PngSource("RGBA 8", 6, 8, false, 11),
      PngSource("RGBA 16", 6, 16, false, 12),
  };
  for (testimg::JpegKind kind : {testimg::JpegKind::kGrey, testimg::JpegKind::kColour}) {
    const bool grey = kind == testimg::JpegKind::kGrey;
    testimg::JpegRecipe recipe;
    recipe.width = 16;
    recipe.height = 8;
    recipe.kind = kind;
    for (uint16_t v : Noise(static_cast<size_t>(16 * 8 * (grey ? 1 : 3)), 256, 20)) {
      recipe.samples.push_back(static_cast<uint8_t>(v));
    }
    const std::vector<uint8_t> bytes = testimg::MakeJpeg(recipe);
    const testimg::DecodedJpeg decoded = testimg::DecodeJpegReference(bytes);
    sources.push_back(
        Source{grey ? "grey JPEG" : "colour JPEG", L"source.jpg", bytes, grey ? 0 : 2, 8,
               std::vector<uint16_t>(decoded.samples.begin(), decoded.samples.end()), false});
  }
  testimg::BmpRecipe indexed;
  indexed.width = 9;
  indexed.height = 3;
  indexed.bitCount = 8;
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    indexed.palette.push_back(testimg::Rgba{v, v, v, 255});  // grey, yet a palette
  }
  for (uint16_t v : Noise(27, 256, 30)) {
    indexed.values.push_back(v);
  }
  sources.push_back(
      Source{"8-bit BMP with a grey palette", L"source.bmp", testimg::MakeBmp(indexed), 3, 8,
             std::vector<uint16_t>(indexed.values.begin(), indexed.values.end()), false});
  testimg::BmpRecipe alpha;
  alpha.width = 4;
  alpha.height = 2;
  alpha.bitCount = 32;
  alpha.header = testimg::BmpHeader::kV5_124;
  alpha.compression = 3;
  alpha.writeMasks = true;
  const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  std::copy(masks, masks + 4, alpha.masks);
  std::vector<uint16_t> rgba;
  for (uint16_t v : Noise(8, 1u << 16, 40)) {
    const uint32_t argb = static_cast<uint32_t>(v) * 40503u | 0x80000000u;
    alpha.values.push_back(argb);
    rgba.insert(rgba.end(),
                {static_cast<uint16_t>(argb >> 16 & 255), static_cast<uint16_t>(argb >> 8 & 255),
                 static_cast<uint16_t>(argb & 255), static_cast<uint16_t>(argb >> 24)});
  }
  sources.push_back(
      Source{"BMP with alpha", L"source.bmp", testimg::MakeBmp(alpha), 6, 8, rgba, false});
  return sources;
}

// How the PNG at `path` differs from what `source` must give ("" when it holds exactly that).
std::string Difference(const std::wstring& path, const Source& source) {
  const std::vector<uint8_t> bytes = testimg::ReadFileBytes(path);
  const testimg::DecodedPng png = testimg::DecodePng(bytes);
  if (!png.ok) {
    return "no PNG";
  }
  if (png.colorType != source.colorType || png.bitDepth != source.depth) {
    return "colour type " + std::to_string(png.colorType) + ", depth " +
           std::to_string(png.bitDepth);
  }
  const bool trns = std::find(png.chunks.begin(), png.chunks.end(), "tRNS") != png.chunks.end();
  if (trns != source.trns) {
    return trns ? "a tRNS chunk" : "no tRNS chunk";
  }
  return testimg::PngSamples(bytes) == source.samples ? "" : "other samples";
}

class ColourKindsTest : public ::testing::Test {
 protected:
  testimg::TempDir dir;
  MemoryOptionSet options;
};

TEST_F(ColourKindsTest, EverySourceKeepsItsKindDepthAndSamples) {
  options.SetOn(Option::kDeleteSrcFile, true);
  for (const Source& source : Sources()) {
    SCOPED_TRACE(source.what);
    ASSERT_FALSE(source.bytes.empty());
    const std::wstring path = dir / source.name;
    ASSERT_TRUE(testimg::WriteFileBytes(path, source.bytes));
    for (bool interlace : {false, true}) {
      options.SetOn(Option::kInterlacePng, interlace);
      const std::wstring output = dir / L"out.png";
      const ConvertOutcome outcome = ConvertFile(path, output, options);
      EXPECT_EQ(outcome.stateText.value_or(L"?"), kStateConverted);
      EXPECT_FALSE(outcome.keepSource);  // all of it arrived: the source may go
      EXPECT_EQ(Difference(output, source), "");
      kiv::RemoveFile(output);
    }
    options.SetOn(Option::kInterlacePng, false);
    if (source.name == L"source.png") {
      SCOPED_TRACE("in place");
      const ConvertOutcome outcome = ConvertFile(path, path, options);
      EXPECT_EQ(outcome.stateText.value_or(L"?"), kStateConverted);
      EXPECT_EQ(Difference(path, source), "");
    }
    kiv::RemoveFile(path);
    EXPECT_EQ(testimg::FolderNames(dir.path()), std::vector<std::wstring>());
  }
}

// A PNG converted in place is left as it is when its new PNG, of the same pixels and
// interlacing, would be larger; asked for something else (interlacing), it is replaced.
TEST_F(ColourKindsTest, InPlaceNeverReplacesAPngByALargerCopyOfItself) {
  Source source = PngSource("RGB 16", 2, 16, false, 50);
  // A smooth picture, which compression shrinks (noise would not be).
  for (size_t i = 0; i < source.samples.size(); ++i) {
    source.samples[i] = static_cast<uint16_t>(i / 3 * 700);
  }
  testimg::PngRecipe recipe;
  recipe.width = 13;
  recipe.height = 5;
  recipe.bitDepth = 16;
  recipe.samples = source.samples;
  source.bytes = testimg::MakePng(recipe);
  const std::wstring path = dir / L"tight.png";
  ASSERT_TRUE(testimg::WriteFileBytes(path, source.bytes));
  options.SetCompressLevel(9);
  ASSERT_EQ(ConvertFile(path, path, options).stateText.value_or(L"?"), kStateConverted);
  const std::vector<uint8_t> tight = testimg::ReadFileBytes(path);

  struct Case {
    const char* what;
    int level;
    bool interlace;
    bool unchanged;
  };
  const Case cases[] = {
      {"stored: larger, the same thing", 0, false, true},
      {"as tight: not larger", 9, false, false},
      {"stored and interlaced: asked for", 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(testimg::WriteFileBytes(path, tight));
    options.SetCompressLevel(c.level);
    options.SetOn(Option::kInterlacePng, c.interlace);
    const ConvertOutcome outcome = ConvertFile(path, path, options);
    EXPECT_EQ(outcome.stateText.value_or(L"?"), kStateConverted);
    EXPECT_EQ(outcome.unchanged, c.unchanged);
    EXPECT_EQ(outcome.reason, c.unchanged ? kNoteAlreadySmaller : L"");
    if (c.unchanged) {
      EXPECT_EQ(testimg::ReadFileBytes(path), tight);
    }
    EXPECT_EQ(Difference(path, source), "");
    EXPECT_EQ(testimg::FolderNames(dir.path()), (std::vector<std::wstring>{L"tight.png"}));
  }
}

// A PNG whose bytes on the disk are not what was written (corrupted after the write) fails its
// row before it replaces a source or lets one be deleted, and leaves no file behind.
TEST_F(ColourKindsTest, APngThatDoesNotReadBackKeepsTheSource) {
  const Source source = PngSource("RGBA 8", 6, 8, false, 60);
  const std::wstring path = dir / L"kept.png";
  const std::wstring output = dir / L"other.png";
  kiv::FaultPlan plan;
  plan.step = kiv::FaultStep::kCorrupt;
  plan.path_contains = dir.path();
  struct Case {
    const char* what;
    bool deleteSource;
    std::wstring output;
  };
  const Case cases[] = {
      {"in place", false, path},
      {"elsewhere, deleting sources", true, output},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(testimg::WriteFileBytes(path, source.bytes));
    options.SetOn(Option::kDeleteSrcFile, c.deleteSource);
    options.SetCompressLevel(0);  // larger than the source: written all the same when asked
    options.SetOn(Option::kInterlacePng, true);
    ConvertOutcome outcome;
    {
      kiv::ScopedFault corrupt(plan);
      outcome = ConvertFile(path, c.output, options);
      EXPECT_EQ(kiv::FaultHits(), 1);
    }
    EXPECT_EQ(outcome.stateText.value_or(L"?"), kStateWriteFailed);
    EXPECT_EQ(outcome.reason, kReasonReadBackDiffers);
    EXPECT_TRUE(outcome.keepSource);
    EXPECT_EQ(testimg::ReadFileBytes(path), source.bytes);
    EXPECT_EQ(testimg::FolderNames(dir.path()), (std::vector<std::wstring>{L"kept.png"}));
    // Without the fault the same conversion goes through.
    EXPECT_EQ(ConvertFile(path, c.output, options).stateText.value_or(L"?"), kStateConverted);
    kiv::RemoveFile(output);
  }
}

}  // namespace
