// WebP, GIF, TIFF and HEIF/AVIF sources: made by the libraries' own encoders, read by
// Bitmap::Load and compared with the libraries' own decoding or with the picture they were made
// from; their metadata chunks, pages and frames; and files of other kinds named by content.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "base/file.h"
#include "image/animation.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/exif_orientation.h"
#include "image/png/png_encode.h"
#include "tests/image/image_checks.h"
#include "tests/support/format_makers.h"
#include "tests/support/image_makers.h"

using testimg::Picture;
using testimg::Rgba;

namespace {

// The loaded image as a picture, top row first; a 24-bit or indexed image is opaque.
Picture PictureOfImage(const Bitmap& image) {
  if (image.BitCount() < 8 || (image.BitCount() == 8 && !image.PaletteAlpha().empty())) {
    // Packed indices, or a palette with alpha: the colours they stand for.
    Bitmap colours;
    EXPECT_TRUE(colours.Create(image.Width(), image.Height(), 32));
    EXPECT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, image.Width(), image.Height()}, colours, image));
    return PictureOfImage(colours);
  }
  Picture picture(image.Width(), image.Height());
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.Row(image.Height() - 1 - y);
    for (int x = 0; x < image.Width(); ++x) {
      Rgba& c = picture.at(x, y);
      if (image.Wide()) {
        // 16-bit samples, rounded to 8 bits.
        const size_t samples = image.BitCount() / 16;
        const uint8_t* p = row + 2 * samples * static_cast<size_t>(x);
        auto at = [p](size_t k) {
          return static_cast<uint8_t>(((p[2 * k] | p[2 * k + 1] << 8) * 255 + 32767) / 65535);
        };
        c = samples >= 3 ? Rgba{at(2), at(1), at(0), samples == 4 ? at(3) : uint8_t{255}}
                         : Rgba{at(0), at(0), at(0), samples == 2 ? at(1) : uint8_t{255}};
      } else if (image.BitCount() == 8) {
        const Bitmap::PaletteEntry& e = image.Palette().at(row[x]);
        c = Rgba{e.red, e.green, e.blue, 255};
      } else {
        const size_t bytes = image.BitCount() / 8;
        const uint8_t* p = row + bytes * static_cast<size_t>(x);
        c = Rgba{p[2], p[1], p[0], bytes == 4 ? p[3] : uint8_t{255}};
      }
    }
  }
  return picture;
}

// The chunks a reader gave the image for its PNG: the colour chunks, then the metadata.
std::vector<std::string> ChunkTypes(const Bitmap& image) {
  std::vector<std::string> types;
  for (const PngChunk& chunk : image.Ancillary()) {
    types.emplace_back(chunk.type.data(), 4);
  }
  for (const CarriedChunk& carried : image.Metadata().Chunks()) {
    types.emplace_back(carried.chunk.type.data(), 4);
  }
  return types;
}

Picture Opaque(Picture picture) {
  for (Rgba& c : picture.pixels) {
    c.a = 255;
  }
  return picture;
}

const std::string kXmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>";

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// The EXIF block without the JPEG segment's "Exif\0\0" header.
std::vector<uint8_t> ExifTiff(uint16_t orientation) {
  std::vector<uint8_t> exif = testimg::MakeExif(orientation, true);
  exif.erase(exif.begin(), exif.begin() + 6);
  return exif;
}

// ---- WebP ---------------------------------------------------------------------------------

struct WebpCase {
  const char* name;
  bool lossless;
  bool alpha;
  int frames;
  bool metadata;
};

TEST(WebpReader, DecodesAsLibwebpDoes) {
  const WebpCase cases[] = {
      {"lossless", true, false, 1, false}, {"lossless alpha", true, true, 1, false},
      {"lossy", false, false, 1, false},   {"lossy alpha", false, true, 1, false},
      {"animation", true, true, 3, false}, {"profile exif xmp", true, false, 1, true},
  };
  for (const WebpCase& c : cases) {
    SCOPED_TRACE(c.name);
    testimg::WebpRecipe recipe;
    for (int f = 0; f < c.frames; ++f) {
      recipe.frames.push_back(testimg::NoisePicture(19, 7, c.alpha, 5 + f));
    }
    recipe.lossless = c.lossless;
    recipe.alpha = c.alpha;
    if (c.metadata) {
      recipe.icc = testimg::MakeIccProfile("RGB ", 100, 3);
      recipe.exif = ExifTiff(6);
      recipe.xmp = Bytes(kXmp);
    }
    const std::vector<uint8_t> bytes = testimg::MakeWebp(recipe);
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(bytes)) << image.Notes().detail;
    EXPECT_EQ(image.BitCount(), c.alpha || c.frames > 1 ? 32u : 24u);
    if (c.frames > 1) {
      // Lossless: the first frame as it was made.
      EXPECT_EQ(testimg::Difference(recipe.frames.front(), PictureOfImage(image)), "");
      ASSERT_NE(image.Animation(), nullptr);
      EXPECT_EQ(image.Animation()->Info().frameCount, static_cast<uint32_t>(c.frames));
    } else {
      EXPECT_EQ(testimg::Difference(testimg::DecodeWebpReference(bytes), PictureOfImage(image)),
                "");
      EXPECT_LE(image.Notes().frames, 1u);
    }
    const std::vector<std::string> expected =
        c.metadata ? std::vector<std::string>{"iCCP", "eXIf", "iTXt"} : std::vector<std::string>{};
    EXPECT_EQ(ChunkTypes(image), expected);
    if (c.metadata) {
      // A WebP's pixels are not turned by its EXIF, so the orientation stays as it is.
      EXPECT_EQ(image.Ancillary()[1].data, recipe.exif);
    }
  }
}

// ---- GIF ----------------------------------------------------------------------------------

struct GifCase {
  const char* name;
  bool gif89;
  bool interlace;
  int transparent;
  bool partial;  // the image covers the middle of the screen only
  int frames;
  const char* comment;
};

TEST(GifReader, PutsTheFirstImageOnTheScreen) {
  const GifCase cases[] = {
      {"87a", false, false, -1, false, 1, ""},
      {"interlaced", true, true, -1, false, 1, ""},
      {"transparent", true, false, 2, false, 1, ""},
      {"partial", true, true, -1, true, 1, ""},
      {"animation", true, false, -1, false, 4, ""},
      {"comment", true, false, -1, false, 1, "made by hand\r\nsecond line"},
  };
  for (const GifCase& c : cases) {
    SCOPED_TRACE(c.name);
    testimg::GifRecipe recipe;
    recipe.width = 21;
    recipe.height = 13;
    recipe.gif89 = c.gif89;
    recipe.comment = c.comment;
    testimg::Noise noise(7);
    for (int i = 0; i < 16; ++i) {
      const uint32_t v = noise.Next();
      recipe.globalMap.push_back(Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                      static_cast<uint8_t>(v >> 16), 255});
    }
    for (int f = 0; f < c.frames; ++f) {
      testimg::GifFrame frame;
      frame.left = c.partial ? 3 : 0;
      frame.top = c.partial ? 2 : 0;
      frame.width = recipe.width - 2 * frame.left;
      frame.height = recipe.height - 2 * frame.top;
      frame.interlace = c.interlace;
      frame.transparent = c.transparent;
      for (int i = 0; i < frame.width * frame.height; ++i) {
        frame.indices.push_back(static_cast<uint8_t>(noise.Below(16)));
      }
      recipe.frames.push_back(frame);
    }
    const testimg::GifFrame& first = recipe.frames.front();
    Picture expected(recipe.width, recipe.height);
    for (Rgba& p : expected.pixels) {
      p = Rgba{0, 0, 0, 0};
    }
    for (int y = 0; y < first.height; ++y) {
      for (int x = 0; x < first.width; ++x) {
        const int index = first.indices[static_cast<size_t>(y * first.width + x)];
        if (index != c.transparent) {
          expected.at(first.left + x, first.top + y) = recipe.globalMap[static_cast<size_t>(index)];
        }
      }
    }
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeGif(recipe))) << image.Notes().detail;
    const bool indexed = c.transparent < 0 && !c.partial;
    EXPECT_EQ(image.BitCount(), indexed ? 8u : 32u);
    EXPECT_EQ(testimg::Difference(indexed ? Opaque(expected) : expected, PictureOfImage(image)),
              "");
    const AnimationSource* animation = image.Animation();
    EXPECT_EQ(animation != nullptr ? animation->Info().frameCount : 1u,
              static_cast<uint32_t>(c.frames));
    if (*c.comment != 0) {
      ASSERT_EQ(ChunkTypes(image), std::vector<std::string>{"tEXt"});
      const std::string text(image.Ancillary()[0].data.begin(), image.Ancillary()[0].data.end());
      EXPECT_EQ(text, std::string("Comment\0made by hand\nsecond line", 32));
    } else {
      EXPECT_TRUE(image.Ancillary().empty());
    }
  }
}

// ---- Animations ---------------------------------------------------------------------------

// What a viewer shows after each frame of the animated PNG in `png`, by the animated PNG rules:
// the canvas starts transparent, a frame replaces its region (source) or is drawn over it
// (over: the frames compared here are opaque or fully transparent pixel by pixel), and its
// region is then cleared (background) or put back as it was (previous).
std::vector<Picture> ComposeApng(const std::vector<uint8_t>& png) {
  std::vector<Picture> shown;
  Bitmap image;
  EXPECT_TRUE(image.LoadFromMemory(png));
  AnimationSource* frames = image.Animation();
  if (frames == nullptr) {
    ADD_FAILURE() << "not animated";
    return shown;
  }
  Picture canvas(image.Width(), image.Height());
  for (Rgba& c : canvas.pixels) {
    c = Rgba{0, 0, 0, 0};
  }
  for (uint32_t i = 0; i < frames->Info().frameCount; ++i) {
    AnimationFrame frame;
    Bitmap pixels;
    EXPECT_TRUE(frames->Frame(i, frame, &pixels)) << frames->Error();
    const Picture region = PictureOfImage(pixels);
    const Picture before = canvas;
    for (uint32_t y = 0; y < frame.height; ++y) {
      for (uint32_t x = 0; x < frame.width; ++x) {
        const Rgba& c = region.at(static_cast<int>(x), static_cast<int>(y));
        EXPECT_TRUE(frame.blend == AnimationFrame::kBlendSource || c.a == 0 || c.a == 255);
        if (frame.blend == AnimationFrame::kBlendSource || c.a != 0) {
          canvas.at(static_cast<int>(frame.x + x), static_cast<int>(frame.y + y)) = c;
        }
      }
    }
    shown.push_back(canvas);
    if (frame.dispose == AnimationFrame::kDisposePrevious) {
      canvas = before;
    } else if (frame.dispose == AnimationFrame::kDisposeBackground) {
      for (uint32_t y = 0; y < frame.height; ++y) {
        for (uint32_t x = 0; x < frame.width; ++x) {
          canvas.at(static_cast<int>(frame.x + x), static_cast<int>(frame.y + y)) =
              Rgba{0, 0, 0, 0};
        }
      }
    }
  }
  return shown;
}

testimg::GifFrame GifImage(int left, int top, int width, int height, int colours,
                           testimg::Noise& noise) {
  testimg::GifFrame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  for (int i = 0; i < width * height; ++i) {
    frame.indices.push_back(static_cast<uint8_t>(noise.Below(colours)));
  }
  return frame;
}

std::vector<Rgba> NoiseTable(int entries, testimg::Noise& noise) {
  std::vector<Rgba> table;
  for (int i = 0; i < entries; ++i) {
    const uint32_t v = noise.Next();
    table.push_back(Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                         static_cast<uint8_t>(v >> 16), 255});
  }
  return table;
}

// One colour table, no transparency: an 8-bit animation, played once.
std::vector<uint8_t> SharedTableGif() {
  testimg::Noise noise(3);
  testimg::GifRecipe recipe;
  recipe.width = 21;
  recipe.height = 13;
  recipe.globalMap = NoiseTable(16, noise);
  recipe.frames = {GifImage(0, 0, 21, 13, 16, noise), GifImage(3, 2, 9, 8, 16, noise),
                   GifImage(0, 5, 21, 8, 16, noise)};
  recipe.frames[0].delay = 5;
  recipe.frames[1].delay = 0;
  recipe.frames[1].interlace = true;
  recipe.frames[1].disposal = 1;
  recipe.frames[2].delay = 300;
  return testimg::MakeGif(recipe);
}

// Local colour tables, transparent indices, each disposal, an image past the screen's edge,
// interlacing and a loop count: a 32-bit animation.
std::vector<uint8_t> MixedGif() {
  testimg::Noise noise(4);
  testimg::GifRecipe recipe;
  recipe.width = 21;
  recipe.height = 13;
  recipe.loops = 3;
  recipe.globalMap = NoiseTable(8, noise);
  recipe.frames = {GifImage(2, 1, 17, 11, 8, noise), GifImage(4, 3, 10, 7, 4, noise),
                   GifImage(15, 8, 10, 9, 8, noise), GifImage(0, 0, 21, 13, 8, noise)};
  recipe.frames[0].disposal = 2;
  recipe.frames[1].localMap = NoiseTable(4, noise);
  recipe.frames[1].transparent = 2;
  recipe.frames[1].disposal = 2;
  recipe.frames[1].interlace = true;
  recipe.frames[2].transparent = 5;
  recipe.frames[2].disposal = 3;
  recipe.frames[2].delay = 7;
  recipe.frames[3].delay = 0;
  return testimg::MakeGif(recipe);
}

// Frames that change part of the canvas, with alpha: libwebp's encoder writes sub-frames that
// blend and dispose.
testimg::WebpRecipe WebpAnimation() {
  testimg::WebpRecipe recipe;
  Picture frame = testimg::NoisePicture(19, 11, true, 8);
  recipe.frames.push_back(frame);
  for (int step = 1; step <= 2; ++step) {
    for (int y = 2 * step; y < 4 * step + 2; ++y) {
      for (int x = 3; x < 6 + 4 * step; ++x) {
        frame.at(x, y) = Rgba{static_cast<uint8_t>(60 * step), 20, 200,
                              static_cast<uint8_t>(step == 1 ? 255 : 0)};
      }
    }
    recipe.frames.push_back(frame);
  }
  recipe.alpha = true;
  recipe.durations = {40, 70000, 250};
  recipe.loops = 2;
  return recipe;
}

// A grey first frame, then a frame of more colours with alpha than a palette holds: no reduced
// form keeps both, whatever the first alone allows.
testimg::WebpRecipe GreyThenManyColours() {
  testimg::WebpRecipe recipe;
  recipe.frames.push_back(Picture(23, 13));
  for (Rgba& pixel : recipe.frames[0].pixels) {
    pixel = Rgba{128, 128, 128, 255};
  }
  recipe.frames.push_back(testimg::NoisePicture(23, 13, true, 12));
  recipe.alpha = true;
  recipe.durations = {100, 100};
  return recipe;
}

struct AnimationCase {
  const char* name;
  std::vector<uint8_t> bytes;
  std::vector<Picture> reference;  // what a viewer shows after each frame
  uint32_t bitCount;
  uint32_t loops;
  std::string delays;  // each frame's, as numerator/denominator
  bool reduce = false;
  // The written file's colour type and depth: one kind for every frame.
  int colorType = 6;
  int depth = 8;
};

TEST(AnimatedSources, BecomeAnimatedPngsThatShowTheSameFrames) {
  const std::vector<uint8_t> shared = SharedTableGif();
  const std::vector<uint8_t> mixed = MixedGif();
  const std::vector<uint8_t> webp = testimg::MakeWebp(WebpAnimation());
  const std::vector<uint8_t> many = testimg::MakeWebp(GreyThenManyColours());
  const AnimationCase cases[] = {
      {"GIF of one colour table", shared, testimg::ComposeGifReference(shared), 8, 1,
       "5/100 0/100 300/100 ", false, 3, 8},
      {"GIF of local tables, transparency and disposal", mixed, testimg::ComposeGifReference(mixed),
       32, 4, "10/100 10/100 7/100 0/100 "},
      {"WebP", webp, testimg::DecodeWebpAnimationReference(webp), 32, 2,
       "40/1000 7000/100 250/1000 "},
      // Reduced: every frame in the one smallest kind that holds them all.
      {"GIF of one colour table, reduced", shared, testimg::ComposeGifReference(shared), 8, 1,
       "5/100 0/100 300/100 ", true, 3, 4},
      {"GIF of local tables, reduced to a palette with alpha", mixed,
       testimg::ComposeGifReference(mixed), 32, 4, "10/100 10/100 7/100 0/100 ", true, 3, 4},
      {"grey, then more colours than a palette holds, reduced", many,
       testimg::DecodeWebpAnimationReference(many), 32, 0, "100/1000 100/1000 ", true, 6, 8},
  };
  for (const AnimationCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(c.bytes)) << image.Notes().detail;
    ASSERT_NE(image.Animation(), nullptr);
    EXPECT_LE(image.Notes().frames, 1u);
    EXPECT_EQ(image.BitCount(), c.bitCount);
    std::vector<uint8_t> png;
    PngEncodeOptions options;
    options.reduce = c.reduce;
    kiv::File stream;
    stream.AttachVector(png);
    ASSERT_TRUE(image.WritePng(stream, options));
    stream.Close();
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png[8 + 8 + 9], c.colorType);  // IHDR
    EXPECT_EQ(png[8 + 8 + 8], c.depth);
    // The written file's animation: its loops, delays and what it shows.
    Bitmap written;
    ASSERT_TRUE(written.LoadFromMemory(png));
    ASSERT_NE(written.Animation(), nullptr);
    EXPECT_EQ(written.Animation()->Info().loops, c.loops);
    std::string delays;
    for (uint32_t i = 0; i < written.Animation()->Info().frameCount; ++i) {
      AnimationFrame frame;
      ASSERT_TRUE(written.Animation()->Frame(i, frame, nullptr));
      delays +=
          std::to_string(frame.delayNumerator) + "/" + std::to_string(frame.delayDenominator) + " ";
    }
    EXPECT_EQ(delays, c.delays);
    const std::vector<Picture> shown = ComposeApng(png);
    ASSERT_EQ(shown.size(), c.reference.size());
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(testimg::Difference(c.reference[i], shown[i]), "") << "frame " << i;
    }
  }
}

// ---- TIFF ---------------------------------------------------------------------------------

struct TiffCase {
  const char* name;
  int samples;
  int bits;
  int photometric;
  int compression;
  int extra;
  int orientation;
  int tile;
  int pages;
  uint32_t bitCount;
};

// The picture a recipe's samples show, top row first, with unassociated alpha.
Picture TiffPicture(const testimg::TiffRecipe& r) {
  Picture picture(r.width, r.height);
  const int max = (1 << r.bitsPerSample) - 1;
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      const uint16_t* s =
          r.samples.data() + static_cast<size_t>(y * r.width + x) * r.samplesPerPixel;
      auto eight = [&](uint16_t v) { return static_cast<uint8_t>((v * 255 + max / 2) / max); };
      Rgba& c = picture.at(x, y);
      if (r.photometric == PHOTOMETRIC_PALETTE) {
        c = r.palette[s[0]];
      } else if (r.samplesPerPixel <= 2) {
        const uint8_t v = r.photometric == PHOTOMETRIC_MINISWHITE ? 255 - eight(s[0]) : eight(s[0]);
        c = Rgba{v, v, v, 255};
      } else if (r.photometric == PHOTOMETRIC_SEPARATED) {
        auto ink = [&](int k) { return static_cast<uint8_t>((255 - s[k]) * (255 - s[3]) / 255); };
        c = Rgba{ink(0), ink(1), ink(2), 255};
      } else {
        c = Rgba{eight(s[0]), eight(s[1]), eight(s[2]),
                 r.samplesPerPixel == 4 ? eight(s[3]) : uint8_t{255}};
      }
    }
  }
  return picture;
}

// Turns a picture by an EXIF/TIFF orientation so that it stands upright.
Picture Upright(const Picture& in, int orientation) {
  const bool swap = orientation >= 5;
  Picture out(swap ? in.height : in.width, swap ? in.width : in.height);
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      int u = x;
      int v = y;
      switch (orientation) {
        case 2:
          u = in.width - 1 - x;
          break;
        case 3:
          u = in.width - 1 - x;
          v = in.height - 1 - y;
          break;
        case 4:
          v = in.height - 1 - y;
          break;
        case 5:
          u = y;
          v = x;
          break;
        case 6:
          u = in.height - 1 - y;
          v = x;
          break;
        case 7:
          u = in.height - 1 - y;
          v = in.width - 1 - x;
          break;
        case 8:
          u = y;
          v = in.width - 1 - x;
          break;
        default:
          break;
      }
      out.at(u, v) = in.at(x, y);
    }
  }
  return out;
}

// A 37 x 21 recipe of the given layout, its samples still to be made.
testimg::TiffRecipe Recipe(int samples, int bits, int photometric, int compression, int extra,
                           int orientation, int tile) {
  return testimg::TiffLayout(37, 21, samples, bits, photometric, compression, extra, orientation,
                             tile);
}

TEST(TiffReader, ReadsEachLayoutAndCompression) {
  const TiffCase cases[] = {
      {"rgb none", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, -1, 1, 0, 1, 24},
      {"rgb lzw", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 1, 0, 1, 24},
      {"rgb deflate tiled", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, -1, 1, 16, 1, 24},
      {"grey packbits", 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, -1, 1, 0, 1, 8},
      {"bilevel min-is-white", 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, -1, 1, 0, 1, 8},
      {"grey 4 bits", 1, 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, -1, 1, 0, 1, 8},
      {"palette 4 bits", 1, 4, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, -1, 1, 0, 1, 24},
      {"rgb 16 bits", 3, 16, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, -1, 1, 0, 1, 48},
      {"unassociated alpha", 4, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, EXTRASAMPLE_UNASSALPHA, 1, 0,
       1, 32},
      {"associated alpha", 4, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, EXTRASAMPLE_ASSOCALPHA, 1, 0, 1,
       32},
      {"cmyk", 4, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, -1, 1, 0, 1, 24},
      {"orientation 6", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, -1, 6, 0, 1, 24},
      {"orientation 3 tiled", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 3, 16, 1, 24},
      {"three pages", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 1, 0, 3, 24},
  };
  for (const TiffCase& c : cases) {
    SCOPED_TRACE(c.name);
    testimg::TiffRecipe r =
        Recipe(c.samples, c.bits, c.photometric, c.compression, c.extra, c.orientation, c.tile);
    r.pages = c.pages;
    testimg::Noise noise(11);
    const uint32_t limit = 1u << c.bits;
    r.samples.resize(static_cast<size_t>(r.width) * r.height * c.samples);
    for (size_t i = 0; i < r.samples.size(); ++i) {
      r.samples[i] = static_cast<uint16_t>(noise.Below(limit));
      if (c.extra == EXTRASAMPLE_ASSOCALPHA && i % 4 == 3) {
        // Premultiplied colour never exceeds its alpha: keep the alpha full.
        r.samples[i] = 255;
      }
    }
    if (c.photometric == PHOTOMETRIC_PALETTE) {
      for (uint32_t i = 0; i < limit; ++i) {
        const uint32_t v = noise.Next();
        r.palette.push_back(Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                                 static_cast<uint8_t>(v >> 16), 255});
      }
    }
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeTiff(r))) << image.Notes().detail;
    EXPECT_EQ(image.BitCount(), c.bitCount);
    // Unassociated alpha passes through premultiplication: faint pixels lose colour precision.
    const int tolerance = c.extra == EXTRASAMPLE_UNASSALPHA ? 255 : c.bits == 16 ? 1 : 0;
    Picture expected = Upright(TiffPicture(r), c.orientation);
    Picture actual = PictureOfImage(image);
    if (c.extra == EXTRASAMPLE_UNASSALPHA) {
      for (size_t i = 0; i < expected.pixels.size(); ++i) {
        EXPECT_EQ(expected.pixels[i].a, actual.pixels[i].a);
        if (expected.pixels[i].a == 255) {
          EXPECT_EQ(expected.pixels[i], actual.pixels[i]);
        }
      }
    }
    EXPECT_EQ(testimg::Difference(expected, actual, tolerance), "");
    EXPECT_FALSE(image.Notes().samplesRounded);
    EXPECT_EQ(image.Notes().pages, static_cast<uint32_t>(c.pages));
  }
}

struct DeepTiffCase {
  const char* name;
  int samples;
  int bits;
  int photometric;
  int compression;
  int extra;
  int orientation;
  int tile;
  bool separate;
  int colorType;  // of the PNG written
  int depth = 16;
  int map = 0;  // a palette's colour map: 16 its entries 16-bit colours, 8 all 8-bit ones
};

// The 16-bit sample a sample of `bits` bits becomes: its high bits repeated below it.
uint16_t Widened(uint32_t v, int bits) {
  return static_cast<uint16_t>(v << (16 - bits) | v >> (2 * bits - 16));
}

// Light under an ink and black, both 16-bit, rounded.
uint16_t UnderInks(uint32_t ink, uint32_t black) {
  return static_cast<uint16_t>(((65535 - ink) * (65535 - black) + 32767) / 65535);
}

// Deep samples, CMYK inks and 16-bit colour maps are neither rounded to 8 bits nor dropped.
TEST(TiffReader, KeepsDeepSamplesAtSixteenBits) {
  const DeepTiffCase cases[] = {
      {"grey 16", 1, 16, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, -1, 1, 0, false, 0},
      {"grey 12 tiled", 1, 12, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, -1, 1, 16, false, 0},
      {"grey 10 min-is-white", 1, 10, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, -1, 1, 0, false, 0},
      {"grey+alpha 16", 2, 16, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE,
       EXTRASAMPLE_UNASSALPHA, 1, 0, false, 4},
      {"rgb 16", 3, 16, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, -1, 1, 0, false, 2},
      {"rgb 12 turned", 3, 12, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 6, 0, false, 2},
      {"rgb 14 in planes", 3, 14, PHOTOMETRIC_RGB, COMPRESSION_NONE, -1, 1, 0, true, 2},
      {"rgba 16 unassociated tiled", 4, 16, PHOTOMETRIC_RGB, COMPRESSION_LZW,
       EXTRASAMPLE_UNASSALPHA, 3, 16, false, 6},
      {"rgba 12 associated", 4, 12, PHOTOMETRIC_RGB, COMPRESSION_NONE, EXTRASAMPLE_ASSOCALPHA, 1, 0,
       false, 6},
      {"cmyk 16", 4, 16, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, -1, 1, 0, false, 2},
      {"cmyk 16 with alpha tiled", 5, 16, PHOTOMETRIC_SEPARATED, COMPRESSION_LZW,
       EXTRASAMPLE_UNASSALPHA, 1, 16, false, 6},
      {"cmyk 12 turned in planes", 4, 12, PHOTOMETRIC_SEPARATED, COMPRESSION_ADOBE_DEFLATE, -1, 6,
       0, true, 2},
      {"cmyk 8 with alpha", 5, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_LZW, EXTRASAMPLE_UNASSALPHA, 1,
       0, false, 6, 8},
      {"palette 8, 16-bit map", 1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, -1, 1, 0, false, 2, 16,
       16},
      {"palette 4, 16-bit map tiled", 1, 4, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, -1, 3, 16, false,
       2, 16, 16},
      {"palette 16, 16-bit map", 1, 16, PHOTOMETRIC_PALETTE, COMPRESSION_ADOBE_DEFLATE, -1, 1, 0,
       false, 2, 16, 16},
      {"palette 16, 8-bit map", 1, 16, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, -1, 1, 0, false, 2, 8,
       8},
  };
  for (const DeepTiffCase& c : cases) {
    SCOPED_TRACE(c.name);
    testimg::TiffRecipe r =
        Recipe(c.samples, c.bits, c.photometric, c.compression, c.extra, c.orientation, c.tile);
    r.separate = c.separate;
    testimg::Noise noise(23);
    const uint32_t limit = 1u << c.bits;
    for (int i = 0; i < r.width * r.height; ++i) {
      const uint16_t alpha = static_cast<uint16_t>(noise.Below(limit));
      for (int k = 0; k < c.samples; ++k) {
        const bool isAlpha = c.extra >= 0 && k == c.samples - 1;
        // Premultiplied colour never exceeds its alpha.
        const uint32_t below = c.extra == EXTRASAMPLE_ASSOCALPHA ? alpha + 1u : limit;
        r.samples.push_back(isAlpha ? alpha : static_cast<uint16_t>(noise.Below(below)));
      }
    }
    for (uint32_t i = 0; c.map != 0 && i < 3 * limit; ++i) {
      const uint16_t v = static_cast<uint16_t>(noise.Next());
      r.colourMap.push_back(c.map == 8 ? static_cast<uint16_t>((v & 0xFF) * 257) : v);
    }
    const bool cmyk = c.photometric == PHOTOMETRIC_SEPARATED;
    // What each stored pixel must become, as the PNG orders its samples.
    auto expectedPixel = [&](int index) {
      const uint16_t* s = r.samples.data() + static_cast<size_t>(index) * c.samples;
      std::vector<uint16_t> out;
      const uint32_t alpha = c.extra >= 0 ? Widened(s[c.samples - 1], c.bits) : 65535;
      if (c.map != 0) {
        for (uint32_t k = 0; k < 3; ++k) {
          const uint16_t entry = r.colourMap[k * limit + s[0]];
          out.push_back(c.depth == 8 ? static_cast<uint16_t>(entry / 257) : entry);
        }
        return out;
      }
      if (cmyk) {
        for (int k = 0; k < 3; ++k) {
          out.push_back(c.depth == 8
                            ? static_cast<uint16_t>(((255 - s[k]) * (255 - s[3]) + 127) / 255)
                            : UnderInks(Widened(s[k], c.bits), Widened(s[3], c.bits)));
        }
        if (c.extra >= 0) {
          out.push_back(c.depth == 8 ? s[4] : static_cast<uint16_t>(alpha));
        }
        return out;
      }
      for (int k = 0; k < (c.extra >= 0 ? c.samples - 1 : c.samples); ++k) {
        uint32_t v = Widened(s[k], c.bits);
        if (c.photometric == PHOTOMETRIC_MINISWHITE) {
          v = 65535 - v;
        }
        if (c.extra == EXTRASAMPLE_ASSOCALPHA) {
          v = alpha == 0 ? 0 : std::min<uint32_t>(65535, (v * 65535 + alpha / 2) / alpha);
        }
        out.push_back(static_cast<uint16_t>(v));
      }
      if (c.extra >= 0) {
        out.push_back(static_cast<uint16_t>(alpha));
      }
      return out;
    };
    // Each pixel's stored index, turned upright as the picture is.
    Picture indices(r.width, r.height);
    for (int i = 0; i < r.width * r.height; ++i) {
      indices.pixels[static_cast<size_t>(i)] =
          Rgba{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 255};
    }
    std::vector<uint16_t> expected;
    for (const Rgba& p : Upright(indices, c.orientation).pixels) {
      const std::vector<uint16_t> pixel = expectedPixel(p.r | p.g << 8);
      expected.insert(expected.end(), pixel.begin(), pixel.end());
    }

    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(testimg::MakeTiff(r))) << image.Notes().detail;
    const uint32_t channels = static_cast<uint32_t>(c.map != 0 ? 3
                                                    : cmyk     ? c.samples - 1
                                                               : c.samples);
    EXPECT_EQ(image.Wide(), c.depth == 16);
    EXPECT_EQ(image.BitCount(), static_cast<uint32_t>(c.depth) * channels);
    EXPECT_FALSE(image.Notes().samplesRounded);
    EXPECT_FALSE(image.Notes().truncated);
    std::vector<uint8_t> png;
    ASSERT_TRUE(image.EncodePng(png, 6, false));
    const testimg::DecodedPng written = testimg::DecodePng(png);
    EXPECT_EQ(written.colorType, c.colorType);
    EXPECT_EQ(written.bitDepth, c.depth);
    EXPECT_EQ(testimg::PngSamples(png), expected);
    std::vector<std::vector<uint8_t>> sbit;
    for (size_t i = 0; i < written.chunks.size(); ++i) {
      if (written.chunks[i] == "sBIT") {
        sbit.push_back(written.chunkData[i]);
      }
    }
    if (c.bits < 16 && !cmyk && c.map == 0) {
      EXPECT_EQ(sbit, std::vector<std::vector<uint8_t>>(
                          1, std::vector<uint8_t>(channels, static_cast<uint8_t>(c.bits))));
    } else {
      EXPECT_TRUE(sbit.empty());
    }
  }
}

// The value of entry `tag` in an EXIF block (a TIFF structure, little-endian as libtiff writes
// on this machine), in its first directory or, with `inExif`, in the EXIF directory it points
// at; empty when there is none.
std::vector<uint8_t> ExifValue(const std::vector<uint8_t>& block, uint16_t tag, bool inExif) {
  auto u16 = [&](size_t at) { return at + 2 <= block.size() ? Le16(block.data() + at) : 0; };
  auto u32 = [&](size_t at) { return at + 4 <= block.size() ? Le32(block.data() + at) : 0u; };
  static constexpr size_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  size_t directory = u32(4);
  for (int level = 0; level < (inExif ? 2 : 1); ++level) {
    for (size_t i = 0, n = u16(directory); i < n; ++i) {
      const size_t entry = directory + 2 + 12 * i;
      const uint16_t type = u16(entry + 2);
      if (level == 0 && inExif && u16(entry) == 34665) {
        directory = u32(entry + 8);
        break;
      }
      if (u16(entry) == tag && (level == 1 || !inExif) && type < 14) {
        const size_t bytes = kSizes[type] * u32(entry + 4);
        const size_t at = bytes <= 4 ? entry + 8 : u32(entry + 8);
        if (at + bytes > block.size()) {
          return {};
        }
        return std::vector<uint8_t>(block.begin() + at, block.begin() + at + bytes);
      }
    }
  }
  return {};
}

struct TiffMetadataCase {
  const char* name;
  int bits;
  int orientation;
  bool autoOrient;
  bool exif;
  bool damaged;  // the page points at an EXIF directory past the file's end
  std::vector<std::string> chunks;
  uint16_t stated;  // the Orientation of the eXIf
  const char* leftOut;
  bool bigTiff = false;
  bool past32Bits = false;  // the EXIF's ExposureTime made a LONG8 of more than 32 bits
};

TEST(TiffReader, CarriesProfileAndXmp) {
  const TiffMetadataCase cases[] = {
      {"profile and xmp", 8, 1, true, false, false, {"iCCP", "iTXt"}, 0, ""},
      {"exif", 8, 1, true, true, false, {"iCCP", "eXIf", "iTXt"}, 1, ""},
      {"exif of a page turned upright", 8, 6, true, true, false, {"iCCP", "eXIf", "iTXt"}, 1, ""},
      {"exif of a page kept as stored", 8, 6, false, true, false, {"iCCP", "eXIf", "iTXt"}, 6, ""},
      {"exif of 16 bits", 16, 3, true, true, false, {"iCCP", "eXIf", "iTXt"}, 1, ""},
      {"damaged exif", 8, 1, true, true, true, {"iCCP", "iTXt"}, 0, "a damaged EXIF block"},
      {"exif of a bigtiff", 8, 1, true, true, false, {"iCCP", "eXIf", "iTXt"}, 1, "", true},
      {"exif of a 16-bit bigtiff kept as stored",
       16,
       6,
       false,
       true,
       false,
       {"iCCP", "eXIf", "iTXt"},
       6,
       "",
       true},
      {"exif of a bigtiff past 32 bits",
       8,
       1,
       true,
       true,
       false,
       {"iCCP", "iTXt"},
       0,
       "the EXIF of a BigTIFF file (values past 32 bits)",
       true,
       true},
  };
  for (const TiffMetadataCase& c : cases) {
    SCOPED_TRACE(c.name);
    testimg::TiffRecipe r;
    r.width = 5;
    r.height = 3;
    r.bitsPerSample = c.bits;
    r.orientation = c.orientation;
    r.samples.assign(45, 100);
    r.icc = testimg::MakeIccProfile("RGB ", 40, 1);
    r.xmp = kXmp;
    if (c.exif) {
      r.make = "Test Camera";
      r.dateTaken = "2026:12:08 07:30:00";
    }
    r.bigTiff = c.bigTiff;
    std::vector<uint8_t> bytes = testimg::MakeTiff(r);
    if (c.past32Bits) {
      // ExposureTime (33434), a RATIONAL of 1/250 held in its entry, retyped LONG8 (16): the
      // 64-bit value 250 << 32 | 1.
      const std::vector<uint8_t> entry = {0x9A, 0x82, 5, 0};
      const auto at = std::search(bytes.begin(), bytes.end(), entry.begin(), entry.end());
      ASSERT_NE(at, bytes.end());
      at[2] = 16;
    }
    if (c.damaged) {
      // The first directory's EXIF pointer, moved past the end.
      const std::vector<uint8_t> pointer = ExifValue(bytes, 34665, false);
      ASSERT_EQ(pointer.size(), 4u);
      const auto at = std::search(bytes.begin(), bytes.end(), pointer.begin(), pointer.end());
      ASSERT_NE(at, bytes.end());
      std::fill(at, at + 4, uint8_t{0x7F});
    }
    Bitmap image;
    Bitmap::LoadOptions options;
    options.autoOrient = c.autoOrient;
    ASSERT_TRUE(image.LoadFromMemory(bytes, options)) << image.Notes().detail;
    EXPECT_EQ(ChunkTypes(image), c.chunks);
    EXPECT_EQ(image.Metadata().LeftOutText(), c.leftOut);
    for (const CarriedChunk& carried : image.Metadata().Chunks()) {
      const std::vector<uint8_t>& block = carried.chunk.data;
      if (std::memcmp(carried.chunk.type.data(), "eXIf", 4) != 0) {
        continue;
      }
      std::vector<uint8_t> segment = {'E', 'x', 'i', 'f', 0, 0};
      segment.insert(segment.end(), block.begin(), block.end());
      EXPECT_EQ(exif::Orientation(segment.data(), segment.size()), c.stated);
      EXPECT_EQ(ExifValue(block, 271, false), Bytes(std::string("Test Camera") + '\0'));
      EXPECT_EQ(ExifValue(block, 36867, true), Bytes(r.dateTaken + '\0'));
      // ExposureTime 1/250, a rational.
      const std::vector<uint8_t> exposure = ExifValue(block, 33434, true);
      ASSERT_EQ(exposure.size(), 8u);
      EXPECT_NEAR(static_cast<double>(Le32(exposure.data())) / Le32(exposure.data() + 4), 1.0 / 250,
                  1e-9);
    }
  }
}

// ---- HEIF ---------------------------------------------------------------------------------

std::vector<uint8_t> ReadDataFile(const char* name) {
  std::vector<uint8_t> bytes;
  const std::string path = std::string(MORVANE_TEST_DATA) + "/" + name;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) {
      bytes.push_back(static_cast<uint8_t>(c));
    }
    std::fclose(f);
  }
  return bytes;
}

struct HeifCase {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  bool alpha;
  int bits;  // of each sample
  std::vector<std::string> chunks;
  const char* leftOut = "";
};

TEST(HeifReader, DecodesAsLibheifDoes) {
  const Picture picture = testimg::NoisePicture(24, 16, true, 9);
  const HeifCase cases[] = {
      {"committed heic", [] { return ReadDataFile("noise.heic"); }, false, 8, {}},
      {"committed avif with alpha", [] { return ReadDataFile("noise_alpha.avif"); }, true, 8, {}},
      {"committed heic, 10 bits with alpha",
       [] { return ReadDataFile("noise_10bit_alpha.heic"); },
       true,
       10,
       {"sBIT"}},
      {"committed avif, 12 bits",
       [] { return ReadDataFile("noise_12bit.avif"); },
       false,
       12,
       {"sBIT"}},
      {"made heic, exif and xmp",
       [&] { return testimg::MakeHeif(picture, false, false, 8, ExifTiff(6), kXmp); },
       false,
       8,
       {"eXIf", "iTXt"}},
      {"made heic, 10 bits with alpha",
       [&] { return testimg::MakeHeif(picture, false, true, 10, {}, ""); },
       true,
       10,
       {"sBIT"}},
      {"made heic, exif too large to carry",
       [&] {
         std::vector<uint8_t> exif = ExifTiff(1);
         exif.resize(9u << 20);
         return testimg::MakeHeif(picture, false, false, 8, exif, kXmp);
       },
       false,
       8,
       {"iTXt"},
       "EXIF block too large to carry"},
      {"made avif, 12 bits",
       [&] { return testimg::MakeHeif(picture, true, false, 12, {}, ""); },
       false,
       12,
       {"sBIT"}},
  };
  for (const HeifCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = c.make();
    if (bytes.empty()) {
      // This build's libheif decodes only: the files made by an encoder are left out.
      ASSERT_EQ(std::string(c.name).rfind("made", 0), 0u) << "a committed file is missing";
      continue;
    }
    Bitmap image;
    ASSERT_TRUE(image.LoadFromMemory(bytes)) << image.Notes().detail;
    EXPECT_FALSE(image.Notes().samplesRounded);
    const uint32_t channels = c.alpha ? 4 : 3;
    std::vector<uint8_t> png;
    ASSERT_TRUE(image.EncodePng(png, 6, false));
    const testimg::DecodedPng written = testimg::DecodePng(png);
    if (c.bits > 8) {
      // Every sample at 16 bits, its high bits repeated below it.
      EXPECT_TRUE(image.Wide());
      EXPECT_EQ(image.BitCount(), 16 * channels);
      int bits = 0;
      std::vector<uint16_t> expected = testimg::DecodeHeifDeepReference(bytes, c.alpha, bits);
      ASSERT_EQ(bits, c.bits);
      for (uint16_t& v : expected) {
        v = Widened(v, bits);
      }
      EXPECT_EQ(testimg::PngSamples(png), expected);
      EXPECT_EQ(written.bitDepth, 16);
      for (size_t i = 0; i < written.chunks.size(); ++i) {
        if (written.chunks[i] == "sBIT") {
          EXPECT_EQ(written.chunkData[i], std::vector<uint8_t>(channels, uint8_t(c.bits)));
        }
      }
    } else {
      EXPECT_EQ(image.BitCount(), 8 * channels);
      Picture reference = testimg::DecodeHeifReference(bytes);
      EXPECT_EQ(testimg::Difference(c.alpha ? reference : Opaque(reference), PictureOfImage(image)),
                "");
      EXPECT_EQ(written.bitDepth, 8);
    }
    EXPECT_EQ(written.colorType, c.alpha ? 6 : 2);
    std::vector<std::string> types;
    for (const std::string& type : written.chunks) {
      if (type != "IHDR" && type != "IDAT" && type != "IEND" && type != "sRGB") {
        types.push_back(type);
      }
    }
    EXPECT_EQ(types, c.chunks);
    EXPECT_EQ(image.Metadata().LeftOutText(), c.leftOut);
    for (const CarriedChunk& carried : image.Metadata().Chunks()) {
      if (std::memcmp(carried.chunk.type.data(), "eXIf", 4) == 0) {
        // libheif turned the picture, so the EXIF orientation says upright.
        EXPECT_EQ(carried.chunk.data, ExifTiff(1));
      }
    }
  }
}

}  // namespace
