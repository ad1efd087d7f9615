#include "image/read/tiff_wide.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/bitmap.h"
#include "image/metadata.h"
#include "image/upright.h"

namespace tiff_wide {
namespace {

constexpr uint16_t kFewestBits = 9;
constexpr uint16_t kMostBits = 16;
constexpr uint16_t kCmykInks = 4;

enum class Kind { kGrey, kRgb, kPalette, kCmyk };

struct Page {
  Kind kind = Kind::kGrey;
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 0;
  uint16_t samples = 0;  // per pixel, extra samples included
  uint16_t colours = 0;  // samples before the extra ones: grey 1, RGB 3, an index 1, inks 4
  uint16_t alpha = 0;    // EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA or 0 for none
  bool minIsWhite = false;
  bool separate = false;  // one plane per sample
  bool eightBit = false;  // written at 8 bits a sample: a palette whose colours are all 8-bit
  bool smallMap = false;  // the colour map's entries are 8-bit values, not 16-bit ones
  // A palette page's colour map, 2^bits entries a colour, each at 16 bits.
  const uint16_t* map[3] = {};
};

// True when every entry of the colour map is exactly an 8-bit value. A map whose entries are all
// below 256 is an old writer's 8-bit map, as libtiff takes it; otherwise each must be v * 257.
bool MapIsEightBit(const Page& page, bool& small) {
  const uint32_t entries = 1u << page.bits;
  small = true;
  bool multiples = true;
  for (const uint16_t* colour : page.map) {
    for (uint32_t i = 0; i < entries; ++i) {
      small = small && colour[i] < 256;
      multiples = multiples && colour[i] % 257 == 0;
    }
  }
  return small || multiples;
}

// The page's colour map, and whether its pixels need more than libtiff's RGBA interface gives:
// an index of more than 8 bits, or a map whose colours are not all 8-bit.
bool DescribePalette(TIFF* tiff, Page& page) {
  uint16_t* red = nullptr;
  uint16_t* green = nullptr;
  uint16_t* blue = nullptr;
  if (page.samples < 1 || TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 ||
      red == nullptr || green == nullptr || blue == nullptr) {
    return false;
  }
  page.kind = Kind::kPalette;
  page.colours = 1;
  page.map[0] = red;
  page.map[1] = green;
  page.map[2] = blue;
  page.eightBit = MapIsEightBit(page, page.smallMap);
  return page.bits > 8 || !page.eightBit;
}

// The page's layout, when it is one this decoder reads: unsigned grey, RGB or CMYK samples of 9
// to 16 bits, CMYK of 8 bits with alpha (which libtiff's RGBA interface drops), or a palette page
// that libtiff would round (see DescribePalette). Alpha is found as libtiff's RGBA interface
// finds it, so that a page means the same at every depth: the first extra sample when it is
// marked as alpha, an unspecified one of a colour page, and the fourth sample of an RGB page
// that says nothing of it.
bool Describe(TIFF* tiff, Page& page) {
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t extraCount = 0;
  uint16_t* extraKinds = nullptr;
  uint16_t inks = INKSET_CMYK;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &page.bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &page.samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inks);
  if (page.bits < 1 || page.bits > kMostBits || format != SAMPLEFORMAT_UINT ||
      (planar != PLANARCONFIG_CONTIG && planar != PLANARCONFIG_SEPARATE) ||
      TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width) != 1 ||
      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.height) != 1) {
    return false;
  }
  uint16_t photometric = 0;
  if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
    // A page that does not say is read by its colour samples, as libtiff does.
    const int colours = page.samples - extraCount;
    photometric = colours == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB;
  }
  bool deep = page.bits >= kFewestBits;
  if (photometric == PHOTOMETRIC_RGB) {
    page.kind = Kind::kRgb;
    page.colours = 3;
  } else if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
    page.kind = Kind::kGrey;
    page.colours = 1;
    page.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
  } else if (photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK) {
    page.kind = Kind::kCmyk;
    page.colours = kCmykInks;
    // libtiff's RGBA interface gives 8-bit inks without their alpha.
    deep = deep || (page.bits == 8 && page.samples > kCmykInks);
    page.eightBit = page.bits == 8;
  } else if (photometric == PHOTOMETRIC_PALETTE) {
    deep = DescribePalette(tiff, page);
  } else {
    return false;
  }
  if (!deep || page.samples < page.colours) {
    return false;
  }
  if (page.samples > page.colours) {
    const uint16_t kind = extraCount > 0 && extraKinds != nullptr  ? extraKinds[0]
                          : page.samples == 4 && page.colours == 3 ? EXTRASAMPLE_ASSOCALPHA
                                                                   : EXTRASAMPLE_UNSPECIFIED;
    if (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA) {
      page.alpha = kind;
    } else if (page.samples > 3 && page.kind != Kind::kCmyk) {
      page.alpha = EXTRASAMPLE_ASSOCALPHA;
    }
  }
  if (page.kind == Kind::kCmyk && page.bits == 8 && page.alpha == 0) {
    return false;  // libtiff's RGBA interface reads it whole
  }
  page.separate = planar == PLANARCONFIG_SEPARATE && page.samples > 1;
  return true;
}

// `count` samples of `bits` bits packed from the most significant bit of `in` (a row of
// (count * bits + 7) / 8 bytes; 16-bit samples in the host's order, as libtiff delivers them),
// each to out[i * step].
void Unpack(const uint8_t* in, uint64_t count, uint16_t bits, uint16_t* out, uint32_t step) {
  if (bits == 16) {
    for (uint64_t i = 0; i < count; ++i) {
      std::memcpy(out + i * step, in + 2 * i, 2);
    }
    return;
  }
  const uint64_t rowBytes = (count * bits + 7) / 8;
  const uint32_t mask = (1u << bits) - 1;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t bit = i * bits;
    const uint64_t at = bit / 8;
    // A sample of at most 15 bits starting anywhere in a byte lies within three bytes.
    uint32_t window = uint32_t{in[at]} << 16;
    if (at + 1 < rowBytes) {
      window |= uint32_t{in[at + 1]} << 8;
    }
    if (at + 2 < rowBytes) {
      window |= in[at + 2];
    }
    out[i * step] = static_cast<uint16_t>((window >> (24 - bits - bit % 8)) & mask);
  }
}

// A sample of `bits` bits at 16 bits: of 8 bits or more, its high bits repeated below it.
inline uint16_t Widen(uint32_t value, uint16_t bits) {
  if (bits < 8) {
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint16_t>((value * 65535 + max / 2) / max);
  }
  return static_cast<uint16_t>(value << (16 - bits) | value >> (2 * bits - 16));
}

inline uint16_t Unpremultiply(uint32_t value, uint32_t alpha) {
  return alpha == 0 ? 0
                    : static_cast<uint16_t>(
                          std::min<uint32_t>(65535, (value * 65535 + alpha / 2) / alpha));
}

// What remains of the light under two inks, both 16-bit: (1 - ink) * (1 - black), rounded.
inline uint16_t UnderInks(uint32_t ink, uint32_t black) {
  return static_cast<uint16_t>(((65535 - ink) * (65535 - black) + 32767) / 65535);
}

// Writes a 16-bit sample at `out` (advanced past it), little-endian or, for an 8-bit layout, as
// its nearest 8-bit value.
inline void Put(uint8_t*& out, uint16_t value, bool eightBit) {
  if (eightBit) {
    *out++ = static_cast<uint8_t>((value + 128) / 257);
    return;
  }
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
  out += 2;
}

// The red, green and blue (grey: `colour[0]`) of a pixel's samples `in`, at 16 bits, not yet
// divided by an associated alpha.
void Colour(const uint16_t* in, const Page& page, uint16_t colour[3]) {
  switch (page.kind) {
    case Kind::kGrey:
      colour[0] = Widen(in[0], page.bits);
      if (page.minIsWhite) {
        colour[0] = static_cast<uint16_t>(65535 - colour[0]);
      }
      break;
    case Kind::kRgb:
      for (int k = 0; k < 3; ++k) {
        colour[k] = Widen(in[k], page.bits);
      }
      break;
    case Kind::kPalette:
      for (int k = 0; k < 3; ++k) {
        const uint16_t entry = page.map[k][in[0]];
        colour[k] = page.smallMap ? static_cast<uint16_t>(entry * 257) : entry;
      }
      break;
    case Kind::kCmyk: {
      const uint16_t black = Widen(in[3], page.bits);
      for (int k = 0; k < 3; ++k) {
        colour[k] = UnderInks(Widen(in[k], page.bits), black);
      }
      break;
    }
  }
}

// Turns a band row of unpacked samples into the image's layout at `line`. Alpha associated with
// an index or with inks is taken as it stands: only grey and RGB are divided by it.
void ToLayout(const uint16_t* in, const Page& page, uint8_t* line) {
  const bool divide =
      page.alpha == EXTRASAMPLE_ASSOCALPHA && (page.kind == Kind::kGrey || page.kind == Kind::kRgb);
  for (uint32_t x = 0; x < page.width; ++x, in += page.samples) {
    const uint32_t alpha = page.alpha != 0 ? Widen(in[page.colours], page.bits) : 65535;
    uint16_t colour[3] = {};
    Colour(in, page, colour);
    const int channels = page.kind == Kind::kGrey ? 1 : 3;
    if (divide) {
      for (int k = 0; k < channels; ++k) {
        colour[k] = Unpremultiply(colour[k], alpha);
      }
    }
    if (channels == 1) {
      Put(line, colour[0], page.eightBit);
    } else {
      Put(line, colour[2], page.eightBit);
      Put(line, colour[1], page.eightBit);
      Put(line, colour[0], page.eightBit);
    }
    if (page.alpha != 0) {
      Put(line, static_cast<uint16_t>(alpha), page.eightBit);
    }
  }
}

// Reads the rows `top` to `top + rows` into `band` (page.width * page.samples samples a row).
// False when any of their data fails to decode; what did decode is kept.
bool FillBand(TIFF* tiff, const Page& page, uint32_t top, uint32_t rows, uint32_t tileWidth,
              std::vector<uint8_t>& raw, std::vector<uint16_t>& band) {
  const uint16_t planes = page.separate ? page.samples : 1;
  const uint32_t step = page.separate ? page.samples : 1;
  const uint64_t rowSamples = uint64_t{page.width} * page.samples;
  bool whole = true;
  if (tileWidth == 0) {
    const uint64_t rowBytes = static_cast<uint64_t>(TIFFScanlineSize64(tiff));
    for (uint16_t plane = 0; plane < planes; ++plane) {
      const tmsize_t got = TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, top, plane),
                                                raw.data(), static_cast<tmsize_t>(raw.size()));
      const uint64_t decoded =
          got <= 0 || rowBytes == 0 ? 0 : std::min<uint64_t>(rows, uint64_t(got) / rowBytes);
      whole = whole && decoded == rows;
      for (uint64_t y = 0; y < decoded; ++y) {
        Unpack(raw.data() + y * rowBytes, rowSamples / step, page.bits,
               band.data() + y * rowSamples + plane, step);
      }
    }
    return whole;
  }
  const uint64_t rowBytes = static_cast<uint64_t>(TIFFTileRowSize64(tiff));
  for (uint32_t left = 0; left < page.width; left += tileWidth) {
    const uint32_t columns = std::min(tileWidth, page.width - left);
    for (uint16_t plane = 0; plane < planes; ++plane) {
      const tmsize_t got = TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, plane),
                                               raw.data(), static_cast<tmsize_t>(raw.size()));
      const uint64_t decoded =
          got <= 0 || rowBytes == 0 ? 0 : std::min<uint64_t>(rows, uint64_t(got) / rowBytes);
      whole = whole && decoded == rows;
      for (uint64_t y = 0; y < decoded; ++y) {
        Unpack(raw.data() + y * rowBytes, uint64_t{columns} * page.samples / step, page.bits,
               band.data() + y * rowSamples + uint64_t{left} * page.samples + plane, step);
      }
    }
  }
  return whole;
}

}  // namespace

bool Applies(TIFF* tiff) {
  Page page;
  return Describe(tiff, page);
}

bool ReadPage(TIFF* tiff, int orientation, Bitmap& image, PageOutcome& outcome) {
  Page page;
  if (!Describe(tiff, page) || page.width == 0 || page.height == 0 || page.width > INT32_MAX ||
      page.height > INT32_MAX) {
    return false;
  }
  const uint32_t channels = (page.kind == Kind::kGrey ? 1u : 3u) + (page.alpha != 0 ? 1u : 0u);
  const uint32_t bytes = (page.eightBit ? 1u : 2u) * channels;
  const bool swap = upright::SwapsSides(orientation);
  const uint32_t outWidth = swap ? page.height : page.width;
  const uint32_t outHeight = swap ? page.width : page.height;
  uint32_t tileWidth = 0;
  uint32_t bandRows = 0;
  int64_t rawBytes = 0;
  if (TIFFIsTiled(tiff)) {
    if (TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth) != 1 ||
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &bandRows) != 1 || tileWidth == 0 || bandRows == 0) {
      return false;
    }
    rawBytes = TIFFTileSize64(tiff);
  } else {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &bandRows);
    bandRows = std::max<uint32_t>(1, std::min(bandRows, page.height));
    rawBytes = TIFFStripSize64(tiff);
  }
  bandRows = std::min(bandRows, page.height);
  const uint64_t bandBytes = uint64_t{page.width} * page.samples * 2 * bandRows;
  if (Bitmap::StrideFor(outWidth, 8 * bytes) * outHeight > Bitmap::kMaxPixelStoreBytes ||
      bandBytes > Bitmap::kMaxPixelStoreBytes || rawBytes <= 0 ||
      static_cast<uint64_t>(rawBytes) > Bitmap::kMaxPixelStoreBytes) {
    outcome.tooLarge = rawBytes > 0;
    return false;
  }
  if (!image.Create(static_cast<int32_t>(outWidth), static_cast<int32_t>(outHeight), 8 * bytes,
                    page.eightBit ? Bitmap::Samples::k8Bit : Bitmap::Samples::k16Bit)) {
    outcome.tooLarge = true;
    return false;
  }
  std::vector<uint8_t> raw(static_cast<size_t>(rawBytes));
  std::vector<uint16_t> band(static_cast<size_t>(bandBytes / 2));
  std::vector<uint8_t> line(static_cast<size_t>(page.width) * bytes);
  const uint64_t rowSamples = uint64_t{page.width} * page.samples;
  for (uint32_t top = 0; top < page.height; top += bandRows) {
    const uint32_t rows = std::min(bandRows, page.height - top);
    std::fill(band.begin(), band.end(), uint16_t{0});
    ++outcome.bands;
    if (!FillBand(tiff, page, top, rows, tileWidth, raw, band)) {
      ++outcome.failedBands;
    }
    for (uint32_t y = 0; y < rows; ++y) {
      ToLayout(band.data() + y * rowSamples, page, line.data());
      upright::PlaceRow(line.data(), top + y, page.width, page.height, bytes, orientation, image);
    }
  }
  if (page.bits < 16 && (page.kind == Kind::kGrey || page.kind == Kind::kRgb)) {
    image.Metadata().significantBits = SignificantBits{
        static_cast<uint8_t>(page.bits), static_cast<uint8_t>(page.bits),
        static_cast<uint8_t>(page.bits), static_cast<uint8_t>(page.alpha != 0 ? page.bits : 0)};
  }
  return true;
}

}  // namespace tiff_wide
