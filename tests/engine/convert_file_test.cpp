// One file's conversion on disk: the overwrite modes, the 24-bit option, and
// that nothing is lost when reading or writing fails.
#include "engine/convert_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/file_fault.h"
#include "base/path.h"
#include "engine/file_list.h"
#include "engine/memory_options.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

using testimg::Rgba;

namespace {

// A 24-bit BMP of one colour.
std::vector<uint8_t> SolidBmp(int width, int height, uint32_t rgb) {
  testimg::BmpRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.bitCount = 24;
  recipe.values.assign(static_cast<size_t>(width) * height, rgb);
  return testimg::MakeBmp(recipe);
}

testimg::DecodedPng DecodeFile(const std::wstring& path) {
  return testimg::DecodePng(testimg::ReadFileBytes(path));
}

Rgba Opaque(uint32_t rgb) {
  return Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
              static_cast<uint8_t>(rgb), 255};
}

class ConvertFileTest : public ::testing::Test {
 protected:
  std::wstring Write(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    const std::wstring path = dir / name;
    EXPECT_TRUE(testimg::WriteFileBytes(path, bytes));
    return path;
  }

  testimg::TempDir dir;
  MemoryOptionSet options;
};

TEST_F(ConvertFileTest, WritesThePngAndReportsWhatItWrote) {
  const std::wstring source = Write(L"red.bmp", SolidBmp(3, 2, 0xff0000));
  const std::wstring output = dir / L"red.png";
  const ConvertOutcome outcome = ConvertFile(source, output, options);
  ASSERT_TRUE(outcome.stateText.has_value());
  EXPECT_EQ(*outcome.stateText, kStateConverted);
  EXPECT_EQ(outcome.writtenPath, output);
  const auto png = DecodeFile(output);
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.width, 3u);
  EXPECT_EQ(png.picture.at(2, 1), Opaque(0xff0000));
  EXPECT_TRUE(kiv::FileExists(source));
}

TEST_F(ConvertFileTest, UnreadableSourceLeavesTheExistingOutputAlone) {
  const std::wstring source = Write(L"notes.bmp", {'h', 'e', 'l', 'l', 'o'});
  const std::wstring output = Write(L"notes.png", {1, 2, 3});
  const ConvertOutcome outcome = ConvertFile(source, output, options);
  EXPECT_EQ(outcome.stateText.value_or(L"?"), kStateReadFailed);
  EXPECT_TRUE(outcome.writtenPath.empty());
  EXPECT_EQ(testimg::ReadFileBytes(output), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(ConvertFile(dir / L"missing.bmp", output, options).stateText.value_or(L"?"),
            kStateReadFailed);
}

TEST_F(ConvertFileTest, FailModeTouchesNothingThatExists) {
  options.SetOverwriteMode(1);
  const std::wstring source = Write(L"a.bmp", SolidBmp(2, 2, 0x00ff00));
  const std::wstring output = Write(L"a.png", {9, 9});
  EXPECT_EQ(ConvertFile(source, output, options).stateText.value_or(L"?"), kStateWriteFailed);
  EXPECT_EQ(testimg::ReadFileBytes(output), (std::vector<uint8_t>{9, 9}));

  kiv::RemoveFile(output);
  EXPECT_EQ(ConvertFile(source, output, options).stateText.value_or(L"?"), kStateConverted);
  EXPECT_TRUE(DecodeFile(output).ok);
}

TEST_F(ConvertFileTest, RenameModeWritesBesideTheExistingFile) {
  options.SetOverwriteMode(2);
  const std::wstring source = Write(L"cat.bmp", SolidBmp(2, 2, 0x0000ff));
  const std::wstring output = Write(L"cat.png", {5});
  const ConvertOutcome outcome = ConvertFile(source, output, options);
  EXPECT_EQ(outcome.stateText.value_or(L"?"), kStateConverted);
  EXPECT_EQ(outcome.writtenPath, dir / L"cat (1).png");
  EXPECT_EQ(testimg::ReadFileBytes(output), std::vector<uint8_t>{5});
  EXPECT_TRUE(DecodeFile(dir / L"cat (1).png").ok);
}

TEST_F(ConvertFileTest, NoOverwriteSelectionWritesNothingAndKeepsTheRowState) {
  options.SetOverwriteMode(-1);
  const std::wstring source = Write(L"b.bmp", SolidBmp(2, 2, 0x123456));
  const ConvertOutcome outcome = ConvertFile(source, dir / L"b.png", options);
  EXPECT_FALSE(outcome.stateText.has_value());
  EXPECT_FALSE(kiv::FileExists(dir / L"b.png"));
}

// A full disk while replacing an earlier output keeps that output.
TEST_F(ConvertFileTest, FailedForceOverwriteKeepsTheEarlierOutput) {
  const std::wstring source = Write(L"c.bmp", SolidBmp(64, 64, 0x808080));
  const std::wstring output = Write(L"c.png", {4, 4, 4, 4});
  {
    kiv::FaultPlan plan;
    plan.step = kiv::FaultStep::kWrite;
    plan.after_bytes = 10;
    kiv::ScopedFault full(plan);
    EXPECT_EQ(ConvertFile(source, output, options).stateText.value_or(L"?"), kStateWriteFailed);
  }
  EXPECT_EQ(testimg::ReadFileBytes(output), (std::vector<uint8_t>{4, 4, 4, 4}));
  EXPECT_EQ(testimg::FolderNames(dir.path()), (std::vector<std::wstring>{L"c.bmp", L"c.png"}));
}

// A PNG converted onto itself survives a write that fails.
TEST_F(ConvertFileTest, SourceConvertedInPlaceSurvivesAFailedWrite) {
  testimg::PngRecipe recipe;
  recipe.width = 2;
  recipe.height = 1;
  recipe.colorType = 2;
  recipe.samples = {10, 20, 30, 40, 50, 60};
  const std::vector<uint8_t> original = testimg::MakePng(recipe);
  const std::wstring source = Write(L"self.png", original);
  options.SetOn(Option::kInterlacePng, true);  // another form: written even when larger
  {
    kiv::FaultPlan plan;
    plan.step = kiv::FaultStep::kMove;
    kiv::ScopedFault refuse(plan);
    EXPECT_EQ(ConvertFile(source, source, options).stateText.value_or(L"?"), kStateWriteFailed);
  }
  EXPECT_EQ(testimg::ReadFileBytes(source), original);
  EXPECT_EQ(ConvertFile(source, source, options).stateText.value_or(L"?"), kStateConverted);
  EXPECT_EQ(DecodeFile(source).picture.at(1, 0), (Rgba{40, 50, 60, 255}));
}

TEST_F(ConvertFileTest, ForceModeReplacesAReadOnlyOutput) {
  const std::wstring source = Write(L"d.bmp", SolidBmp(2, 2, 0xabcdef));
  const std::wstring output = Write(L"d.png", {1});
  ASSERT_TRUE(testimg::SetReadOnly(output, true));
  EXPECT_EQ(ConvertFile(source, output, options).stateText.value_or(L"?"), kStateConverted);
  EXPECT_EQ(DecodeFile(output).picture.at(0, 0), Opaque(0xabcdef));
}

TEST_F(ConvertFileTest, TwentyFourBitOptionDropsAlphaAndExpandsPalettes) {
  options.SetOn(Option::k24Bit, true);

  testimg::PngRecipe rgba;
  rgba.width = 2;
  rgba.height = 1;
  rgba.colorType = 6;
  rgba.samples = {200, 100, 50, 0, 1, 2, 3, 128};
  const std::wstring alpha = Write(L"alpha.png", testimg::MakePng(rgba));
  ASSERT_EQ(ConvertFile(alpha, dir / L"alpha-out.png", options).stateText.value_or(L"?"),
            kStateConverted);
  auto png = DecodeFile(dir / L"alpha-out.png");
  EXPECT_EQ(png.colorType, 2);
  EXPECT_EQ(png.picture.at(0, 0), (Rgba{200, 100, 50, 255}));
  EXPECT_EQ(png.picture.at(1, 0), (Rgba{1, 2, 3, 255}));

  testimg::BmpRecipe indexed;
  indexed.width = 3;
  indexed.height = 1;
  indexed.bitCount = 4;
  indexed.palette = {Rgba{255, 0, 0, 255}, Rgba{0, 255, 0, 255}, Rgba{0, 0, 255, 255}};
  indexed.values = {2, 1, 0};
  const std::wstring four = Write(L"four.bmp", testimg::MakeBmp(indexed));
  ASSERT_EQ(ConvertFile(four, dir / L"four.png", options).stateText.value_or(L"?"),
            kStateConverted);
  png = DecodeFile(dir / L"four.png");
  EXPECT_EQ(png.colorType, 2);
  EXPECT_EQ(png.picture.at(0, 0), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(png.picture.at(2, 0), (Rgba{255, 0, 0, 255}));

  // Off: the palette image stays a palette image.
  options.SetOn(Option::k24Bit, false);
  ASSERT_EQ(ConvertFile(four, dir / L"four-pal.png", options).stateText.value_or(L"?"),
            kStateConverted);
  EXPECT_EQ(DecodeFile(dir / L"four-pal.png").colorType, 3);
}

TEST_F(ConvertFileTest, OptionsAreReadForEachFile) {
  const std::wstring source = Write(L"e.bmp", SolidBmp(40, 40, 0x102030));
  options.SetCompressLevel(0);
  options.SetOn(Option::kInterlacePng, true);
  ASSERT_EQ(ConvertFile(source, dir / L"stored.png", options).stateText.value_or(L"?"),
            kStateConverted);
  auto png = DecodeFile(dir / L"stored.png");
  EXPECT_TRUE(testimg::AllStoredBlocks(png.idat));
  EXPECT_EQ(png.interlace, 1);

  options.SetCompressLevel(9);
  options.SetOn(Option::kInterlacePng, false);
  ASSERT_EQ(ConvertFile(source, dir / L"packed.png", options).stateText.value_or(L"?"),
            kStateConverted);
  png = DecodeFile(dir / L"packed.png");
  EXPECT_FALSE(testimg::AllStoredBlocks(png.idat));
  EXPECT_EQ(png.interlace, 0);
}

// Workers racing for one output name: rename mode gives each its own file,
// fail mode lets exactly one write.
TEST_F(ConvertFileTest, RacingWritersNeverOverwriteEachOtherInRenameOrFailMode) {
  constexpr int kWriters = 8;
  std::vector<std::wstring> sources;
  for (int i = 0; i < kWriters; ++i) {
    sources.push_back(Write(L"src" + std::to_wstring(i) + L".bmp",
                            SolidBmp(96, 96, 0x010101u * static_cast<uint32_t>(i + 1))));
  }

  for (int mode : {2, 1}) {
    options.SetOverwriteMode(mode);
    const std::wstring output = dir / (L"race" + std::to_wstring(mode) + L".png");
    std::vector<ConvertOutcome> outcomes(kWriters);
    std::atomic<int> ready{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) {
      writers.emplace_back([&, i] {
        ++ready;
        while (ready.load() < kWriters) {
          std::this_thread::yield();
        }
        outcomes[i] = ConvertFile(sources[i], output, options);
      });
    }
    for (auto& writer : writers) {
      writer.join();
    }

    std::set<std::wstring> written;
    int converted = 0;
    for (int i = 0; i < kWriters; ++i) {
      if (outcomes[i].stateText.value_or(L"") != kStateConverted) {
        EXPECT_EQ(mode, 1);
        EXPECT_EQ(outcomes[i].stateText.value_or(L"?"), kStateWriteFailed);
        continue;
      }
      ++converted;
      written.insert(outcomes[i].writtenPath);
      // Each file holds the picture of the worker that claims it.
      const auto png = DecodeFile(outcomes[i].writtenPath);
      ASSERT_TRUE(png.ok);
      const uint8_t shade = static_cast<uint8_t>(i + 1);
      EXPECT_EQ(png.picture.at(5, 5), (Rgba{shade, shade, shade, 255}));
    }
    EXPECT_EQ(converted, mode == 2 ? kWriters : 1);
    EXPECT_EQ(static_cast<int>(written.size()), converted);
  }
}

// A PNG whose source is to be deleted is flushed through the handle that wrote it, before its
// move, so that nothing has to open it for writing again (a viewer holding it would refuse);
// a flush that fails fails the row and leaves no output.
TEST_F(ConvertFileTest, APngWhoseSourceGoesIsFlushedByItsWriter) {
  const struct {
    bool deleteSource;
    bool flushFails;
    bool converted;
    bool synced;
  } cases[] = {
      {false, false, true, false},
      {false, true, true, false},  // nothing flushed, nothing to fail
      {true, false, true, true},
      {true, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "delete " << c.deleteSource << " fail " << c.flushFails);
    const std::wstring source = Write(L"flush.bmp", SolidBmp(2, 2, 0x00ff00));
    const std::wstring output = dir / L"flush.png";
    kiv::RemoveFile(output);
    options.SetOn(Option::kDeleteSrcFile, c.deleteSource);
    kiv::FaultPlan plan;
    plan.step = kiv::FaultStep::kFlush;
    plan.path_contains = L".tmp";
    std::optional<kiv::ScopedFault> fault;
    if (c.flushFails) {
      fault.emplace(plan);
    }
    const ConvertOutcome outcome = ConvertFile(source, output, options);
    ASSERT_TRUE(outcome.stateText.has_value());
    EXPECT_EQ(*outcome.stateText, c.converted ? kStateConverted : kStateWriteFailed);
    EXPECT_EQ(outcome.synced, c.synced);
    EXPECT_EQ(kiv::FileExists(output), c.converted);
    EXPECT_EQ(testimg::FolderNames(dir.path()).size(), c.converted ? 2u : 1u);  // no temporary
  }
}

}  // namespace
