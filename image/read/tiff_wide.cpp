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

struct Page {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 0;
  uint16_t samples = 0;  // per pixel, extra samples included
  uint16_t colours = 0;  // 1 grey, 3 red, green, blue
  uint16_t alpha = 0;    // EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA or 0 for none
  bool minIsWhite = false;
  bool separate = false;  // one plane per sample
};

// The page's layout, when it is one this decoder keeps at 16 bits. Alpha is found as libtiff's
// RGBA interface finds it, so that a page means the same at every depth: the first extra sample
// when it is marked as alpha, an unspecified one of a colour page, and the fourth sample of an
// RGB page that says nothing of it.
bool Describe(TIFF* tiff, Page& page) {
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t extraCount = 0;
  uint16_t* extraKinds = nullptr;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &page.bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &page.samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
  if (page.bits < kFewestBits || page.bits > kMostBits || format != SAMPLEFORMAT_UINT ||
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
  if (photometric == PHOTOMETRIC_RGB) {
    page.colours = 3;
  } else if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
    page.colours = 1;
    page.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
  } else {
    return false;
  }
  if (page.samples < page.colours) {
    return false;
  }
  if (page.samples > page.colours) {
    const uint16_t kind = extraCount > 0 && extraKinds != nullptr  ? extraKinds[0]
                          : page.samples == 4 && page.colours == 3 ? EXTRASAMPLE_ASSOCALPHA
                                                                   : EXTRASAMPLE_UNSPECIFIED;
    if (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA) {
      page.alpha = kind;
    } else if (page.samples > 3) {
      page.alpha = EXTRASAMPLE_ASSOCALPHA;
    }
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

// A sample of `bits` bits at 16 bits, its high bits repeated below it.
inline uint16_t Widen(uint32_t value, uint16_t bits) {
  return static_cast<uint16_t>(value << (16 - bits) | value >> (2 * bits - 16));
}

inline uint16_t Unpremultiply(uint32_t value, uint32_t alpha) {
  return alpha == 0 ? 0
                    : static_cast<uint16_t>(
                          std::min<uint32_t>(65535, (value * 65535 + alpha / 2) / alpha));
}

inline void PutLe16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

// Turns a band row of unpacked samples into the image's layout at `line`.
void ToLayout(const uint16_t* in, const Page& page, uint8_t* line) {
  for (uint32_t x = 0; x < page.width; ++x, in += page.samples) {
    const uint32_t alpha = page.alpha != 0 ? Widen(in[page.colours], page.bits) : 65535;
    uint16_t colour[3] = {};
    for (uint16_t k = 0; k < page.colours; ++k) {
      uint16_t v = Widen(in[k], page.bits);
      if (page.minIsWhite) {
        v = static_cast<uint16_t>(65535 - v);
      }
      colour[k] = page.alpha == EXTRASAMPLE_ASSOCALPHA ? Unpremultiply(v, alpha) : v;
    }
    if (page.colours == 1) {
      PutLe16(line, colour[0]);
      line += 2;
    } else {
      PutLe16(line, colour[2]);
      PutLe16(line + 2, colour[1]);
      PutLe16(line + 4, colour[0]);
      line += 6;
    }
    if (page.alpha != 0) {
      PutLe16(line, static_cast<uint16_t>(alpha));
      line += 2;
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
  const uint32_t bytes = 2u * (page.colours + (page.alpha != 0 ? 1 : 0));
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
                    Bitmap::Samples::k16Bit)) {
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
  if (page.bits < 16) {
    image.Metadata().significantBits = SignificantBits{
        static_cast<uint8_t>(page.bits), static_cast<uint8_t>(page.bits),
        static_cast<uint8_t>(page.bits), static_cast<uint8_t>(page.alpha != 0 ? page.bits : 0)};
  }
  return true;
}

}  // namespace tiff_wide
