// The PNG rows of a Bitmap: the kind of colour, byte order, 5-5-5 expansion, 16-bit samples and
// the Adam7 passes.
#include "image/png/png_scanlines.h"

#include <algorithm>
#include <cstring>

#include "image/bitmap.h"
#include "image/pixels.h"
#include "image/png/png_reduce.h"

namespace {

// Adam7: where each pass starts and how far apart its pixels are, across and down.
struct Adam7Pass {
  uint32_t x0, y0, dx, dy;
};
constexpr Adam7Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Adam7Pass kWhole = {0, 0, 1, 1};

uint32_t Spread(uint32_t size, uint32_t start, uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

// Pixels x0, x0 + dx, ... of a row of blue-green-red (`kBytes` 3) or blue-green-red-alpha
// (`kBytes` 4) pixels, in the PNG's order: red, green, blue (, alpha).
template <size_t kBytes>
void BgrToRgb(const uint8_t* in, uint8_t* out, uint32_t count, uint32_t x0, uint32_t dx) {
  in += kBytes * x0;
  const size_t step = kBytes * dx;
  for (uint32_t i = 0; i < count; ++i, in += step, out += kBytes) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    if (kBytes == 4) {
      out[3] = in[3];
    }
  }
}

void Expand555ToRgb(const uint8_t* in, uint8_t* out, uint32_t count, uint32_t x0, uint32_t dx) {
  in += size_t{2} * x0;
  const size_t step = size_t{2} * dx;
  for (uint32_t i = 0; i < count; ++i, in += step, out += 3) {
    uint8_t bgr[3];
    pixels::Expand555(in, bgr);
    out[0] = bgr[2];
    out[1] = bgr[1];
    out[2] = bgr[0];
  }
}

// Grey pixels of a blue-green-red-alpha row as grey (green) and alpha.
void BgraToGreyAlpha(const uint8_t* in, uint8_t* out, uint32_t count, uint32_t x0, uint32_t dx) {
  in += size_t{4} * x0;
  const size_t step = size_t{4} * dx;
  for (uint32_t i = 0; i < count; ++i, in += step, out += 2) {
    out[0] = in[1];
    out[1] = in[3];
  }
}

// Pixels of `channels` little-endian 16-bit samples (grey; grey, alpha; blue, green, red; blue,
// green, red, alpha) in the PNG's order, each sample most significant byte first.
void WideToPng(const uint8_t* in, uint8_t* out, uint32_t count, uint32_t x0, uint32_t dx,
               uint32_t channels) {
  static constexpr uint32_t kOrder[4] = {2, 1, 0, 3};  // red, green, blue, alpha from BGRA
  const size_t pixelBytes = size_t{2} * channels;
  in += pixelBytes * x0;
  const size_t step = pixelBytes * dx;
  for (uint32_t i = 0; i < count; ++i, in += step, out += pixelBytes) {
    for (uint32_t c = 0; c < channels; ++c) {
      const uint32_t from = channels >= 3 ? kOrder[c] : c;
      out[2 * c] = in[2 * from + 1];
      out[2 * c + 1] = in[2 * from];
    }
  }
}

// True when the palette of an indexed image is the grey ramp of its depth.
bool IsGreyRamp(const Bitmap& image) {
  const unsigned largest = (1u << image.BitCount()) - 1;
  const auto& palette = image.Palette();
  if (palette.size() != size_t{largest} + 1) {
    return false;
  }
  for (unsigned i = 0; i <= largest; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / largest);
    if (palette[i].red != v || palette[i].green != v || palette[i].blue != v) {
      return false;
    }
  }
  return true;
}

// Indices of `bits` bits, packed from the most significant bit.
void PackIndices(const uint8_t* in, uint8_t* out, uint32_t count, uint32_t x0, uint32_t dx,
                 uint32_t bits) {
  if (bits == 8) {
    for (uint32_t i = 0; i < count; ++i) {
      out[i] = in[x0 + static_cast<uint64_t>(i) * dx];
    }
    return;
  }
  const size_t bytes = (static_cast<size_t>(count) * bits + 7) / 8;
  if (dx == 1 && x0 == 0) {
    // A whole row is already packed as the PNG packs it; only the bits past the last pixel
    // may hold anything.
    std::memcpy(out, in, bytes);
    const uint32_t used = static_cast<uint32_t>((static_cast<uint64_t>(count) * bits) % 8);
    if (used != 0) {
      out[bytes - 1] &= static_cast<uint8_t>(0xFF00u >> used);
    }
    return;
  }
  std::memset(out, 0, bytes);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned index = pixels::IndexAt(in, x0 + static_cast<uint64_t>(i) * dx, bits);
    const uint64_t bit = static_cast<uint64_t>(i) * bits;
    out[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
  }
}

}  // namespace

int TransparentGreyIndex(const Bitmap& image) {
  int transparent = -1;
  const auto& alpha = image.PaletteAlpha();
  for (size_t i = 0; i < alpha.size(); ++i) {
    if (alpha[i] == 255 || i >= image.Palette().size()) {
      continue;  // opaque, or an entry no pixel of a grey image can use
    }
    if (alpha[i] != 0 || transparent != -1) {
      return -2;
    }
    transparent = static_cast<int>(i);
  }
  return transparent;
}

bool ChoosePngLayout(const Bitmap& image, PngLayout& layout) {
  layout = PngLayout{};
  const uint32_t bitCount = image.BitCount();
  if (image.Wide()) {
    if (!Bitmap::IsSupportedBitCount(bitCount, Bitmap::Samples::k16Bit)) {
      return false;
    }
    static constexpr int kTypes[4] = {PngLayout::kGrey, PngLayout::kGreyAlpha, PngLayout::kRgb,
                                      PngLayout::kRgba};
    layout.depth = 16;
    layout.colorType = kTypes[bitCount / 16 - 1];
    layout.pixelBits = bitCount;
    layout.source = PngLayout::Source::kWide;
    return true;
  }
  switch (bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
      layout.depth = static_cast<int>(bitCount);
      layout.colorType = image.Grey() && IsGreyRamp(image) && TransparentGreyIndex(image) != -2
                             ? PngLayout::kGrey
                             : PngLayout::kPalette;
      layout.pixelBits = bitCount;
      layout.source = PngLayout::Source::kIndexed;
      return true;
    case 16:
    case 24:
      layout.depth = 8;
      layout.colorType = PngLayout::kRgb;
      layout.pixelBits = 24;
      layout.source = bitCount == 16 ? PngLayout::Source::k555 : PngLayout::Source::kBgr;
      return true;
    case 32:
      layout.depth = 8;
      layout.colorType = image.Grey() ? PngLayout::kGreyAlpha : PngLayout::kRgba;
      layout.pixelBits = image.Grey() ? 16 : 32;
      layout.source = image.Grey() ? PngLayout::Source::kGreyOfBgra : PngLayout::Source::kBgra;
      return true;
    default:
      return false;
  }
}

PngScanlines::PngScanlines(const Bitmap& image, const PngLayout& layout, bool interlace)
    : image_(image), layout_(layout), interlace_(interlace) {}

PngScanlines::PngScanlines(const Bitmap& image, const PngColourForm& form, bool interlace)
    : image_(image), layout_(form.layout()), interlace_(interlace), form_(&form) {}

uint32_t PngScanlines::PassWidth(int pass) const {
  const Adam7Pass& p = interlace_ ? kAdam7[pass] : kWhole;
  return Spread(static_cast<uint32_t>(image_.Width()), p.x0, p.dx);
}

uint32_t PngScanlines::PassHeight(int pass) const {
  const Adam7Pass& p = interlace_ ? kAdam7[pass] : kWhole;
  return PassWidth(pass) == 0 ? 0 : Spread(static_cast<uint32_t>(image_.Height()), p.y0, p.dy);
}

size_t PngScanlines::MaxRowBytes() const {
  // The widest pass is the whole width (not interlaced) or pass 7, which has every column.
  return static_cast<size_t>(layout_.RowBytes(static_cast<uint32_t>(image_.Width())));
}

uint64_t PngScanlines::FilteredBytes() const {
  uint64_t total = 0;
  for (int pass = 0; pass < Passes(); ++pass) {
    total += PassHeight(pass) * (1 + layout_.RowBytes(PassWidth(pass)));
  }
  return total;
}

void PngScanlines::Row(int pass, uint32_t row, uint8_t* out) const {
  const Adam7Pass& p = interlace_ ? kAdam7[pass] : kWhole;
  const uint32_t count = PassWidth(pass);
  // Picture row y (top first) is stored row height - 1 - y.
  const uint32_t y = p.y0 + row * p.dy;
  const uint8_t* in = image_.Row(image_.Height() - 1 - static_cast<int32_t>(y));
  if (form_ != nullptr) {
    form_->Row(image_, in, out, count, p.x0, p.dx);
    return;
  }
  switch (layout_.source) {
    case PngLayout::Source::k555:
      Expand555ToRgb(in, out, count, p.x0, p.dx);
      break;
    case PngLayout::Source::kBgr:
      BgrToRgb<3>(in, out, count, p.x0, p.dx);
      break;
    case PngLayout::Source::kBgra:
      BgrToRgb<4>(in, out, count, p.x0, p.dx);
      break;
    case PngLayout::Source::kGreyOfBgra:
      BgraToGreyAlpha(in, out, count, p.x0, p.dx);
      break;
    case PngLayout::Source::kWide:
      WideToPng(in, out, count, p.x0, p.dx, layout_.pixelBits / 16);
      break;
    case PngLayout::Source::kIndexed:
      PackIndices(in, out, count, p.x0, p.dx, layout_.pixelBits);
      break;
  }
}
