// The idle cores lent to the pieces of an image: every piece once, no lane shared, the same PNG
// whoever runs the pieces, and no help while the conversions fill the cores; a JPEG's rows
// decoded while its pieces are compressed.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/file.h"
#include "engine/spare_cores.h"
#include "image/bitmap.h"
#include "image/png/png_encode.h"
#include "tests/support/image_makers.h"

namespace {

// The PNG of `image` in pieces of 1,000 filtered bytes; empty when the write failed.
std::vector<uint8_t> Encode(const Bitmap& image, PieceRunner* runner, int level = 6,
                            bool reduce = false) {
  PngEncodeOptions options;
  options.level = level;
  options.reduce = reduce;
  options.pieceBytes = 1000;
  options.runner = runner;
  std::vector<uint8_t> bytes;
  kiv::File stream;
  stream.AttachVector(bytes);
  const bool ok = image.WritePng(stream, options);
  stream.Close();
  return ok ? bytes : std::vector<uint8_t>();
}

TEST(SpareCores, PiecesRunOnceOnFreeLanesAndWriteTheSameBytes) {
  SpareCores cores(4);
  struct Case {
    int conversions;  // Busy tokens held while the pieces run
    bool helpers;     // helpers may take pieces
  };
  for (const Case& c : {Case{0, true}, Case{1, true}, Case{4, false}}) {
    SCOPED_TRACE(c.conversions);
    std::vector<std::unique_ptr<SpareCores::Busy>> busy;
    for (int i = 0; i < c.conversions; ++i) {
      busy.push_back(std::make_unique<SpareCores::Busy>(cores));
    }
    SpareCores::Runner runner(cores, 8);
    ASSERT_EQ(runner.Lanes(), 4u);
    std::vector<std::atomic<int>> runs(200);
    std::vector<std::atomic<bool>> inUse(runner.Lanes());
    std::atomic<bool> shared{false};
    std::atomic<bool> helped{false};
    runner.Run(runs.size(), [&](size_t piece, unsigned lane) {
      if (lane >= inUse.size() || inUse[lane].exchange(true)) {
        shared = true;
        return;
      }
      helped = helped || lane != 0;
      ++runs[piece];
      inUse[lane] = false;
    });
    EXPECT_FALSE(shared);
    for (const auto& count : runs) {
      EXPECT_EQ(count, 1);
    }
    if (!c.helpers) {
      EXPECT_FALSE(helped);
    }
  }

  Bitmap image;
  ASSERT_TRUE(image.Create(97, 211, 24));
  for (size_t i = 0; i < image.Pixels().size(); ++i) {
    image.Pixels()[i] = static_cast<uint8_t>(i * i / 7 + i % 13);
  }
  SpareCores::Runner runner(cores, 4);
  EXPECT_EQ(Encode(image, &runner), Encode(image, nullptr));
}

TEST(SpareCores, JpegRowsDecodedWhilePiecesCompressGiveTheSamePng) {
  testimg::JpegRecipe recipe;
  recipe.width = 320;
  recipe.height = 240;
  for (int i = 0; i < recipe.width * recipe.height * 3; ++i) {
    recipe.samples.push_back(static_cast<uint8_t>(i * 7 % 251));
  }
  const std::vector<uint8_t> whole = testimg::MakeJpeg(recipe);
  // A grey picture stored in colour: --reduce makes it grey, which only all its rows can tell.
  testimg::JpegRecipe greyRecipe = recipe;
  for (size_t i = 0; i < greyRecipe.samples.size(); i += 3) {
    greyRecipe.samples[i + 1] = greyRecipe.samples[i + 2] = greyRecipe.samples[i];
  }
  const std::vector<uint8_t> grey = testimg::MakeJpeg(greyRecipe);
  const size_t half = whole.size() / 2;
  std::vector<uint8_t> broken(whole.begin(), whole.begin() + static_cast<long>(half));
  broken.push_back(0xFF);  // a second start of image inside the image data: fatal
  broken.push_back(0xD8);
  broken.insert(broken.end(), whole.begin() + static_cast<long>(half), whole.end());
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(half));
  struct Case {
    const char* name;
    const std::vector<uint8_t>& file;
    bool readable;
  };
  SpareCores cores(4);
  for (const Case& c :
       {Case{"whole", whole, true}, Case{"grey in colour", grey, true},
        Case{"cut short", cut, true}, Case{"second start of image", broken, false}}) {
    Bitmap reference;
    ASSERT_EQ(reference.LoadFromMemory(c.file), c.readable) << c.name;
    for (int level : {4, 6, 9}) {
      for (unsigned lanes : {1u, 4u}) {
        const bool reduce = lanes == 4;
        SCOPED_TRACE(std::string(c.name) + ", level " + std::to_string(level) + ", " +
                     std::to_string(lanes) + " lanes" + (reduce ? ", reduced" : ""));
        Bitmap image;
        Bitmap::LoadOptions deferred;
        deferred.deferRows = true;
        ASSERT_TRUE(image.LoadFromMemory(c.file, deferred));
        ASSERT_NE(image.Pending(), nullptr);
        SpareCores::Runner runner(cores, static_cast<int>(lanes));
        const std::vector<uint8_t> png = Encode(image, &runner, level, reduce);
        EXPECT_EQ(image.FinishRows(), c.readable);
        EXPECT_EQ(image.Pending(), nullptr);
        if (c.readable) {
          EXPECT_EQ(png, Encode(reference, nullptr, level, reduce));
          if (reduce && &c.file == &grey) {
            EXPECT_EQ(png.at(25), 0) << "IHDR colour type: grey";
          }
          EXPECT_EQ(image.Notes().truncated, reference.Notes().truncated);
        } else {
          EXPECT_TRUE(png.empty());
          EXPECT_TRUE(image.Empty());
          EXPECT_EQ(image.Notes().failure, Bitmap::LoadNotes::Failure::kCorrupt);
        }
      }
    }
  }
}

}  // namespace
