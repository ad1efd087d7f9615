// The read-back comparison: pixels compared by what they show, whatever the store, and the chunk
// walk that finds a damaged chunk.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/file.h"
#include "image/animation.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/png/apng_writer.h"
#include "image/png/png_encode.h"
#include "image/png/png_read_back.h"
#include "image/png/png_row_check.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

// An image of `bits` bits (and `samples`) whose bytes count up from `seed`, with a palette of
// distinct colours for the indexed ones.
Bitmap Counting(uint32_t bits, Bitmap::Samples samples, uint8_t seed) {
  Bitmap image;
  EXPECT_TRUE(image.Create(7, 3, bits, samples));
  for (size_t i = 0; i < image.Pixels().size(); ++i) {
    image.Pixels()[i] = static_cast<uint8_t>(seed + i * 13);
  }
  if (bits <= 8) {
    for (unsigned i = 0; i < (1u << bits); ++i) {
      image.Palette().push_back(
          Bitmap::PaletteEntry{static_cast<uint8_t>(i), 7, static_cast<uint8_t>(255 - i), 0});
    }
  }
  return image;
}

// `image` copied into a 32-bit store: the same pixels shown another way.
Bitmap AsBgra(const Bitmap& image) {
  Bitmap copy;
  EXPECT_TRUE(copy.Create(image.Width(), image.Height(), 32));
  EXPECT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, image.Width(), image.Height()}, copy, image));
  return copy;
}

TEST(SamePixels, ComparesWhatThePixelsShow) {
  struct Case {
    const char* what;
    std::function<Bitmap()> a;
    std::function<Bitmap()> b;
    bool same;
  };
  const Case cases[] = {
      {"a palette and its colours", [] { return Counting(4, Bitmap::Samples::k8Bit, 1); },
       [] { return AsBgra(Counting(4, Bitmap::Samples::k8Bit, 1)); }, true},
      {"a palette with alpha and its colours",
       [] {
         Bitmap image = Counting(2, Bitmap::Samples::k8Bit, 2);
         image.PaletteAlpha() = {0, 90};
         return image;
       },
       [] {
         Bitmap image = Counting(2, Bitmap::Samples::k8Bit, 2);
         image.PaletteAlpha() = {0, 90};
         return AsBgra(image);
       },
       true},
      {"alpha lost",
       [] {
         Bitmap image = Counting(2, Bitmap::Samples::k8Bit, 2);
         image.PaletteAlpha() = {0, 90};
         return image;
       },
       [] { return AsBgra(Counting(2, Bitmap::Samples::k8Bit, 2)); }, false},
      {"padding bits past the last pixel mean nothing",
       [] { return Counting(1, Bitmap::Samples::k8Bit, 3); },
       [] {
         Bitmap image = Counting(1, Bitmap::Samples::k8Bit, 3);
         image.Row(1)[0] ^= 0x01;  // bit of pixel 8 of a 7-pixel row
         return image;
       },
       true},
      {"the last pixel of a packed row", [] { return Counting(1, Bitmap::Samples::k8Bit, 3); },
       [] {
         Bitmap image = Counting(1, Bitmap::Samples::k8Bit, 3);
         image.Row(1)[0] ^= 0x02;  // pixel 7
         return image;
       },
       false},
      {"the low byte of a 16-bit sample", [] { return Counting(48, Bitmap::Samples::k16Bit, 4); },
       [] {
         Bitmap image = Counting(48, Bitmap::Samples::k16Bit, 4);
         image.Row(2)[6 * 6] ^= 0x01;
         return image;
       },
       false},
      {"16-bit grey and 16-bit grey+alpha, opaque",
       [] { return Counting(16, Bitmap::Samples::k16Bit, 5); },
       [] {
         const Bitmap grey = Counting(16, Bitmap::Samples::k16Bit, 5);
         Bitmap image;
         EXPECT_TRUE(image.Create(7, 3, 32, Bitmap::Samples::k16Bit));
         for (int32_t y = 0; y < 3; ++y) {
           for (int x = 0; x < 7; ++x) {
             image.Row(y)[4 * x] = grey.Row(y)[2 * x];
             image.Row(y)[4 * x + 1] = grey.Row(y)[2 * x + 1];
             image.Row(y)[4 * x + 2] = image.Row(y)[4 * x + 3] = 0xFF;
           }
         }
         return image;
       },
       true},
      {"5-5-5 whatever its top bit", [] { return Counting(16, Bitmap::Samples::k8Bit, 6); },
       [] {
         Bitmap image = Counting(16, Bitmap::Samples::k8Bit, 6);
         image.Row(0)[1] ^= 0x80;
         return image;
       },
       true},
      {"another size", [] { return Counting(24, Bitmap::Samples::k8Bit, 7); },
       [] {
         Bitmap image;
         EXPECT_TRUE(image.Create(3, 7, 24));
         return image;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bitmap a = c.a();
    const Bitmap b = c.b();
    EXPECT_EQ(SamePixels(a, b), c.same);
    EXPECT_EQ(SamePixels(b, a), c.same);
  }
}

TEST(PngChunkList, FindsEveryChunkAndRefusesADamagedOne) {
  Bitmap image = Counting(8, Bitmap::Samples::k8Bit, 9);
  image.Ancillary().push_back(PngChunk{{'t', 'E', 'X', 't'}, {'a', 0, 'b'}});
  std::vector<uint8_t> png;
  ASSERT_TRUE(image.EncodePng(png, 6, false));
  std::vector<PngChunk> chunks;
  ASSERT_TRUE(PngChunkList(png, chunks));
  std::string types;
  for (const PngChunk& chunk : chunks) {
    types += std::string(chunk.type.begin(), chunk.type.end()) + " ";
  }
  EXPECT_EQ(types, "IHDR tEXt PLTE IDAT IEND ");
  EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{'a', 0, 'b'}));
  for (const char* broken : {"tEXt", "IDAT"}) {
    std::vector<uint8_t> bytes = png;
    testimg::BreakChunkCrc(bytes, broken);
    EXPECT_FALSE(PngChunkList(bytes, chunks)) << broken;
  }
  std::vector<uint8_t> longer = png;
  longer.push_back(0);
  EXPECT_FALSE(PngChunkList(longer, chunks));
  std::vector<uint8_t> shorter(png.begin(), png.end() - 12);
  EXPECT_FALSE(PngChunkList(shorter, chunks));
}

// The rows of a written still PNG compared without decoding it into a second image: every
// direct-colour store, a palette that is the image's own and an interlaced file are answered
// for, a pixel changed on either side or a damaged stream is found, and the files it does not
// answer for (a palette other than the image's) are left to the whole decode.
TEST(PngRowCheck, AnswersForItsOwnLayoutAndFindsWhatDiffers) {
  struct Case {
    const char* what;
    uint32_t bits;
    Bitmap::Samples samples;
    bool interlace;
    std::function<void(Bitmap&, std::vector<PngChunk>&)> change;
    PngRowCheck expected;
  };
  auto idat = [](std::vector<PngChunk>& chunks) -> std::vector<uint8_t>& {
    for (PngChunk& chunk : chunks) {
      if (std::string(chunk.type.begin(), chunk.type.end()) == "IDAT") {
        return chunk.data;
      }
    }
    ADD_FAILURE() << "no IDAT";
    return chunks.front().data;
  };
  const auto none = [](Bitmap&, std::vector<PngChunk>&) {};
  const auto k8 = Bitmap::Samples::k8Bit;
  const auto k16 = Bitmap::Samples::k16Bit;
  const Case cases[] = {
      {"RGB", 24, k8, false, none, PngRowCheck::kSame},
      {"RGBA", 32, k8, false, none, PngRowCheck::kSame},
      {"16-bit grey", 16, k16, false, none, PngRowCheck::kSame},
      {"16-bit grey+alpha", 32, k16, false, none, PngRowCheck::kSame},
      {"16-bit RGB", 48, k16, false, none, PngRowCheck::kSame},
      {"16-bit RGBA", 64, k16, false, none, PngRowCheck::kSame},
      {"a pixel of the image changed", 24, k8, false,
       [](Bitmap& image, std::vector<PngChunk>&) { image.Pixels()[40] ^= 1; },
       PngRowCheck::kDiffer},
      {"a 16-bit sample's low byte changed", 64, k16, false,
       [](Bitmap& image, std::vector<PngChunk>&) { image.Pixels()[100] ^= 1; },
       PngRowCheck::kDiffer},
      {"a byte of the stream changed", 32, k8, false,
       [&](Bitmap&, std::vector<PngChunk>& chunks) { idat(chunks)[idat(chunks).size() / 2] ^= 4; },
       PngRowCheck::kDiffer},
      {"bytes after the stream", 24, k8, false,
       [&](Bitmap&, std::vector<PngChunk>& chunks) { idat(chunks).push_back(0); },
       PngRowCheck::kDiffer},
      {"another size", 24, k8, false,
       [](Bitmap& image, std::vector<PngChunk>&) { image.Create(7, 4, 24); },
       PngRowCheck::kNotChecked},
      {"a palette", 8, k8, false, none, PngRowCheck::kSame},
      {"a palette index changed", 4, k8, false,
       [](Bitmap& image, std::vector<PngChunk>&) { image.Pixels()[5] ^= 0x10; },
       PngRowCheck::kDiffer},
      {"a palette entry changed", 8, k8, false,
       [](Bitmap& image, std::vector<PngChunk>&) { image.Palette()[7].green ^= 1; },
       PngRowCheck::kNotChecked},
      {"a palette entry made transparent", 8, k8, false,
       [](Bitmap& image, std::vector<PngChunk>&) { image.PaletteAlpha().assign(1, 0); },
       PngRowCheck::kNotChecked},
      {"interlaced", 24, k8, true, none, PngRowCheck::kSame},
      {"interlaced, a pixel of the last pass changed", 32, k8, true,
       [](Bitmap& image, std::vector<PngChunk>&) { image.Row(1)[4] ^= 1; }, PngRowCheck::kDiffer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bitmap image = Counting(c.bits, c.samples, 3);
    std::vector<uint8_t> png;
    ASSERT_TRUE(image.EncodePng(png, 6, c.interlace));
    std::vector<PngChunk> chunks;
    ASSERT_TRUE(PngChunkList(png, chunks));
    c.change(image, chunks);
    EXPECT_EQ(CheckPngRows(chunks, image), c.expected);
  }
}

// An animation of an indexed image whose palette has a transparent entry keeps its palette kind
// and its transparency, as a still image of it does.
TEST(AnimatedPng, PaletteWithTransparencyKeepsItsKind) {
  class TwoFrames : public AnimationSource {
   public:
    const AnimationInfo& Info() const override { return info_; }
    bool Frame(uint32_t, AnimationFrame& frame, Bitmap* pixels) override {
      frame.width = 7;
      frame.height = 3;
      if (pixels != nullptr) {
        *pixels = Counting(4, Bitmap::Samples::k8Bit, 5);
      }
      return true;
    }
    std::string Error() const override { return std::string(); }

   private:
    AnimationInfo info_{2, 0, true};
  } frames;
  Bitmap image = Counting(4, Bitmap::Samples::k8Bit, 5);
  image.PaletteAlpha().assign(16, 255);
  image.PaletteAlpha()[2] = 0;
  std::vector<uint8_t> png;
  kiv::File stream;
  stream.AttachVector(png);
  std::string why;
  ASSERT_TRUE(EncodeApng(image, frames, PngEncodeOptions(), stream, why)) << why;
  std::vector<PngChunk> chunks;
  ASSERT_TRUE(PngChunkList(png, chunks));
  std::string types;
  for (const PngChunk& chunk : chunks) {
    types += std::string(chunk.type.begin(), chunk.type.end()) + " ";
  }
  EXPECT_EQ(types, "IHDR acTL PLTE tRNS fcTL IDAT fcTL fdAT IEND ");
  EXPECT_EQ(chunks[0].data[9], 3);  // palette
  EXPECT_EQ(chunks[3].data, (std::vector<uint8_t>{255, 255, 0}));
}

// A 32-bit image as Counting makes it, made grey and opaque when `grey` says so.
Bitmap Counting32(uint8_t seed, bool grey) {
  Bitmap image = Counting(32, Bitmap::Samples::k8Bit, seed);
  for (size_t i = 0; grey && i + 3 < image.Pixels().size(); i += 4) {
    uint8_t* pixel = &image.Pixels()[i];
    pixel[1] = pixel[2] = pixel[0];
    pixel[3] = 255;
  }
  return image;
}

// Three 32-bit frames of a 7 x 3 canvas, the first the default image; `seeds` tell their
// pixels apart, `delays` their delays; grey frames when `grey` says so.
class CountingFrames : public AnimationSource {
 public:
  CountingFrames(std::vector<uint8_t> seeds, std::vector<uint16_t> delays, bool grey = false)
      : seeds_(std::move(seeds)), delays_(std::move(delays)), grey_(grey) {}
  const AnimationInfo& Info() const override { return info_; }
  bool Frame(uint32_t index, AnimationFrame& frame, Bitmap* pixels) override {
    frame = AnimationFrame();
    frame.width = 7;
    frame.height = 3;
    frame.delayNumerator = delays_[index];
    if (pixels != nullptr) {
      *pixels = Counting32(seeds_[index], grey_);
    }
    return true;
  }
  std::string Error() const override { return std::string(); }

 private:
  AnimationInfo info_{3, 0, true};
  std::vector<uint8_t> seeds_;
  std::vector<uint16_t> delays_;
  bool grey_;
};

// The read-back of an animation compares every frame with the frame it was written from, row by
// row in the image's own kind or decoded when reduced or interlaced: a later frame whose pixels
// or placement differ, or a written file damaged after its chunks were made, is found.
TEST(ReadBackPng, ComparesEveryFrameOfAnAnimation) {
  using Bytes = std::vector<uint8_t>;
  struct Case {
    const char* what;
    bool reduce;
    bool interlace;
    std::vector<uint8_t> seeds;
    std::vector<uint16_t> delays;
    std::function<void(Bytes&)> damage;
    ReadBackResult expected;
  };
  const auto none = [](Bytes&) {};
  // The data of the last fdAT chunk, its CRC made again so that only the frame is wrong.
  const auto lastFrameData = [](Bytes& png, const std::function<void(Bytes&)>& change) {
    size_t at = 8;
    size_t last = 0;
    while (at + 12 <= png.size()) {
      const uint32_t length = Be32(&png[at]);
      if (std::memcmp(&png[at + 4], "fdAT", 4) == 0) {
        last = at;
      }
      at += 12 + length;
    }
    ASSERT_NE(last, 0u);
    const uint32_t length = Be32(&png[last]);
    Bytes data(png.begin() + last + 8, png.begin() + last + 8 + length);
    change(data);
    Bytes chunk(8);
    PutBe32(chunk.data(), static_cast<uint32_t>(data.size()));
    std::memcpy(&chunk[4], "fdAT", 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    chunk.resize(chunk.size() + 4);
    PutBe32(&chunk[chunk.size() - 4],
            static_cast<uint32_t>(crc32(0, &chunk[4], static_cast<uInt>(data.size() + 4))));
    png.erase(png.begin() + last, png.begin() + last + 12 + length);
    png.insert(png.begin() + last, chunk.begin(), chunk.end());
  };
  const Case cases[] = {
      {"the frames written", false, false, {1, 2, 3}, {4, 5, 6}, none, ReadBackResult::kSame},
      {"a later frame's pixels",
       false,
       false,
       {1, 2, 9},
       {4, 5, 6},
       none,
       ReadBackResult::kPixelsDiffer},
      {"a later frame's delay",
       false,
       false,
       {1, 2, 3},
       {4, 7, 6},
       none,
       ReadBackResult::kPixelsDiffer},
      {"interlaced frames", false, true, {1, 2, 3}, {4, 5, 6}, none, ReadBackResult::kSame},
      {"interlaced, a later frame's pixels",
       false,
       true,
       {1, 2, 8},
       {4, 5, 6},
       none,
       ReadBackResult::kPixelsDiffer},
      {"reduced frames", true, false, {1, 2, 3}, {4, 5, 6}, none, ReadBackResult::kSame},
      {"reduced, a later frame's pixels",
       true,
       false,
       {1, 2, 9},
       {4, 5, 6},
       none,
       ReadBackResult::kPixelsDiffer},
      {"a frame's data cut short",
       false,
       false,
       {1, 2, 3},
       {4, 5, 6},
       [&](Bytes& png) { lastFrameData(png, [](Bytes& data) { data.resize(data.size() - 5); }); },
       ReadBackResult::kPixelsDiffer},
      {"a reduced frame's data cut short",
       true,
       false,
       {1, 2, 3},
       {4, 5, 6},
       [&](Bytes& png) { lastFrameData(png, [](Bytes& data) { data.resize(data.size() - 5); }); },
       ReadBackResult::kUnreadable},
      {"a frame's sequence number",
       false,
       false,
       {1, 2, 3},
       {4, 5, 6},
       [&](Bytes& png) { lastFrameData(png, [](Bytes& data) { data[3] ^= 1; }); },
       ReadBackResult::kUnreadable},
      {"a frame's CRC",
       false,
       false,
       {1, 2, 3},
       {4, 5, 6},
       [](Bytes& png) { testimg::BreakChunkCrc(png, "fdAT"); },
       ReadBackResult::kUnreadable},
      {"bytes after IEND",
       false,
       false,
       {1, 2, 3},
       {4, 5, 6},
       [](Bytes& png) { png.push_back(0); },
       ReadBackResult::kUnreadable},
  };
  testimg::TempDir dir;
  const std::wstring path = dir / L"anim.png";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Reduced, grey frames are written as grey.
    Bitmap written = Counting32(1, c.reduce);
    written.SetAnimation(
        std::make_unique<CountingFrames>(cases[0].seeds, cases[0].delays, c.reduce));
    std::vector<PngChunk> carried;
    PngEncodeOptions options;
    options.carried = &carried;
    options.reduce = c.reduce;
    options.interlace = c.interlace;
    Bytes png;
    kiv::File stream;
    stream.AttachVector(png);
    ASSERT_TRUE(written.WritePng(stream, options));
    stream.Close();
    ASSERT_EQ(png[8 + 8 + 9], c.reduce ? 0 : 6);
    c.damage(png);
    ASSERT_TRUE(testimg::WriteFileBytes(path, png));
    Bitmap image = Counting32(1, c.reduce);
    image.SetAnimation(std::make_unique<CountingFrames>(c.seeds, c.delays, c.reduce));
    EXPECT_EQ(ReadBackPng(path, image, carried), c.expected);
  }
}

}  // namespace
