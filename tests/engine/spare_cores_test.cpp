// The idle cores lent to the pieces of an image: every piece once, no lane shared, the same PNG
// whoever runs the pieces, and no help while the conversions fill the cores.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/file.h"
#include "engine/spare_cores.h"
#include "image/bitmap.h"
#include "image/png_encode.h"

namespace {

std::vector<uint8_t> Encode(const Bitmap& image, PieceRunner* runner) {
  PngEncodeOptions options;
  options.pieceBytes = 1000;
  options.runner = runner;
  std::vector<uint8_t> bytes;
  kiv::File stream;
  stream.AttachVector(bytes);
  EXPECT_TRUE(image.WritePng(stream, options));
  stream.Close();
  return bytes;
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

}  // namespace
