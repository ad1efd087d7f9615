// Seeds of the WebP, GIF, TIFF and HEIF targets, made by the libraries' own encoders through the
// test makers: small images of each variant the readers take, so that the fuzzers start past
// the signatures, chunk layouts and codecs.
#include <tiffio.h>

#include <string>
#include <vector>

#include "fuzz/seeds.h"
#include "tests/support/format_makers.h"

namespace fuzzing {
namespace {

using testimg::NoisePicture;
using testimg::Rgba;

const char kXmp[] =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>";

// An EXIF block as WebP and HEIF hold it: the TIFF structure without JPEG's "Exif\0\0".
std::vector<uint8_t> ExifBlock(uint16_t orientation) {
  std::vector<uint8_t> exif = testimg::MakeExif(orientation, true);
  exif.erase(exif.begin(), exif.begin() + 6);
  return exif;
}

std::vector<Rgba> Colours(std::size_t n, testimg::Noise& noise) {
  std::vector<Rgba> colours(n);
  for (Rgba& c : colours) {
    const uint32_t v = noise.Next();
    c = Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             255};
  }
  return colours;
}

std::vector<Seed> WebpSeeds() {
  struct Variant {
    const char* name;
    bool lossless;
    bool alpha;
    int frames;
    bool metadata;
  };
  const Variant variants[] = {
      {"lossless", true, false, 1, false},    {"lossless-alpha", true, true, 1, false},
      {"lossy", false, false, 1, false},      {"lossy-alpha", false, true, 1, false},
      {"animation", true, true, 3, false},    {"lossy-animation", false, false, 2, false},
      {"icc-exif-xmp", true, false, 1, true},
  };
  std::vector<Seed> seeds;
  for (const Variant& v : variants) {
    testimg::WebpRecipe recipe;
    for (int f = 0; f < v.frames; ++f) {
      recipe.frames.push_back(NoisePicture(13, 7, v.alpha, 5 + f));
    }
    recipe.lossless = v.lossless;
    recipe.alpha = v.alpha;
    if (v.metadata) {
      recipe.icc = testimg::MakeIccProfile("RGB ", 40, 3);
      recipe.exif = ExifBlock(6);
      recipe.xmp.assign(kXmp, kXmp + sizeof kXmp - 1);
    }
    seeds.push_back({v.name, testimg::MakeWebp(recipe)});
  }
  return seeds;
}

std::vector<Seed> GifSeeds() {
  struct Variant {
    const char* name;
    bool gif89;
    bool interlace;
    int transparent;
    bool partial;
    int frames;
    bool localMap;
    const char* comment;
  };
  const Variant variants[] = {
      {"87a", false, false, -1, false, 1, false, ""},
      {"interlaced", true, true, -1, false, 1, false, ""},
      {"transparent", true, false, 2, false, 1, false, ""},
      {"partial", true, true, -1, true, 1, false, ""},
      {"local-map", true, false, -1, false, 1, true, ""},
      {"animation", true, false, 1, false, 3, false, ""},
      {"comment", true, false, -1, false, 1, false, "a comment\r\nof two lines"},
  };
  std::vector<Seed> seeds;
  testimg::Noise noise(7);
  for (const Variant& v : variants) {
    testimg::GifRecipe recipe;
    recipe.width = 11;
    recipe.height = 9;
    recipe.gif89 = v.gif89;
    recipe.comment = v.comment;
    recipe.globalMap = Colours(16, noise);
    for (int f = 0; f < v.frames; ++f) {
      testimg::GifFrame frame;
      frame.left = v.partial ? 3 : 0;
      frame.top = v.partial ? 2 : 0;
      frame.width = recipe.width - 2 * frame.left;
      frame.height = recipe.height - 2 * frame.top;
      frame.interlace = v.interlace;
      frame.transparent = v.transparent;
      if (v.localMap) {
        frame.localMap = Colours(4, noise);
      }
      for (int i = 0; i < frame.width * frame.height; ++i) {
        frame.indices.push_back(static_cast<uint8_t>(noise.Below(v.localMap ? 4 : 16)));
      }
      recipe.frames.push_back(frame);
    }
    seeds.push_back({v.name, testimg::MakeGif(recipe)});
  }
  return seeds;
}

std::vector<Seed> TiffSeeds() {
  struct Variant {
    const char* name;
    int samples;
    int bits;
    int photometric;
    int compression;
    int extra;
    int orientation;
    int tile;
    int pages;
    bool bigTiff = false;  // with an EXIF directory
    bool wideMap = false;  // a palette's colour map of 16-bit colours
  };
  const Variant variants[] = {
      {"rgb", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, -1, 1, 0, 1},
      {"rgb-lzw", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 1, 0, 1},
      {"rgb-deflate-tiled", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, -1, 1, 16, 1},
      {"rgb-jpeg", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_JPEG, -1, 1, 0, 1},
      {"grey-packbits", 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, -1, 1, 0, 1},
      {"bilevel-min-is-white", 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, -1, 1, 0, 1},
      {"grey-4", 1, 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, -1, 1, 0, 1},
      {"grey-16", 1, 16, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, -1, 1, 0, 1},
      {"palette-4", 1, 4, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, -1, 1, 0, 1},
      {"rgb-16", 3, 16, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, -1, 1, 0, 1},
      {"unassociated-alpha", 4, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, EXTRASAMPLE_UNASSALPHA, 1, 0,
       1},
      {"associated-alpha", 4, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, EXTRASAMPLE_ASSOCALPHA, 1, 0,
       1},
      {"cmyk", 4, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, -1, 1, 0, 1},
      {"orientation-6", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, -1, 6, 0, 1},
      {"orientation-3-tiled", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 3, 16, 1},
      {"three-pages", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, -1, 1, 0, 3},
      {"cmyk-16-alpha", 5, 16, PHOTOMETRIC_SEPARATED, COMPRESSION_LZW, EXTRASAMPLE_UNASSALPHA, 1, 0,
       1},
      {"palette-16-wide-map", 1, 16, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, -1, 1, 0, 1, false,
       true},
      {"bigtiff-exif", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, -1, 1, 0, 1, true},
  };
  std::vector<Seed> seeds;
  testimg::Noise noise(11);
  for (const Variant& v : variants) {
    testimg::TiffRecipe r = testimg::TiffLayout(19, 11, v.samples, v.bits, v.photometric,
                                                v.compression, v.extra, v.orientation, v.tile);
    r.pages = v.pages;
    r.rowsPerStrip = 8;  // JPEG strips hold whole blocks of 8 rows
    const uint32_t limit = 1u << v.bits;
    r.samples.resize(static_cast<size_t>(r.width) * r.height * v.samples);
    for (uint16_t& s : r.samples) {
      s = static_cast<uint16_t>(noise.Below(limit));
    }
    if (v.wideMap) {
      for (uint32_t i = 0; i < 3 * limit; ++i) {
        r.colourMap.push_back(static_cast<uint16_t>(noise.Next()));
      }
    } else if (v.photometric == PHOTOMETRIC_PALETTE) {
      r.palette = Colours(limit, noise);
    }
    if (v.bigTiff) {
      r.bigTiff = true;
      r.dateTaken = "2026:12:08 10:00:00";
    }
    if (v.pages == 1 && v.photometric == PHOTOMETRIC_RGB && v.compression == COMPRESSION_NONE &&
        v.orientation == 1) {
      r.icc = testimg::MakeIccProfile("RGB ", 40, 1);
      r.xmp = kXmp;
    }
    seeds.push_back({v.name, testimg::MakeTiff(r)});
  }
  return seeds;
}

std::vector<Seed> HeifSeeds() {
  struct Variant {
    const char* name;
    bool av1;
    bool alpha;
    int bits;
    bool metadata;
  };
  const Variant variants[] = {
      {"heic", false, false, 8, false},          {"heic-exif-xmp", false, false, 8, true},
      {"heic-alpha-10", false, true, 10, false}, {"avif-exif-xmp", true, false, 8, true},
      {"avif-alpha", true, true, 8, false},
  };
  std::vector<Seed> seeds;
  for (const Variant& v : variants) {
    std::vector<uint8_t> bytes = testimg::MakeHeif(
        NoisePicture(24, 16, v.alpha, 9), v.av1, v.alpha, v.bits,
        v.metadata ? ExifBlock(6) : std::vector<uint8_t>{}, v.metadata ? kXmp : "");
    if (!bytes.empty()) {  // a libheif without this encoder
      seeds.push_back({v.name, std::move(bytes)});
    }
  }
  return seeds;
}

}  // namespace

std::vector<Seed> FormatSeeds(const std::string& target) {
  if (target == "webp") {
    return WebpSeeds();
  }
  if (target == "gif") {
    return GifSeeds();
  }
  if (target == "tiff") {
    return TiffSeeds();
  }
  if (target == "heif") {
    return HeifSeeds();
  }
  return {};
}

}  // namespace fuzzing
