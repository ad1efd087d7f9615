// Bitmap::CopyRect: pixel-format conversion of a rectangle into 16-, 24- or 32-bit images.
#include <array>
#include <cstring>

#include "image/bitmap.h"
#include "image/pixels.h"

namespace {

using Colour = std::array<uint8_t, 3>;  // blue, green, red

// The colour of every possible index of an indexed image; indices past the palette are black.
std::array<Colour, 256> ColourTable(const Bitmap& source) {
  std::array<Colour, 256> table{};
  const auto& palette = source.Palette();
  const size_t count = palette.size() < table.size() ? palette.size() : table.size();
  for (size_t i = 0; i < count; ++i) {
    table[i] = Colour{palette[i].blue, palette[i].green, palette[i].red};
  }
  return table;
}

void ConvertRow(const Bitmap& source, const std::array<Colour, 256>& table, const uint8_t* in,
                uint32_t left, uint32_t count, uint8_t* out, uint32_t outBytes) {
  const uint32_t bits = source.BitCount();
  switch (bits) {
    case 1:
    case 2:
    case 4:
    case 8:
      for (uint32_t j = 0; j < count; ++j, out += outBytes) {
        const Colour& c = table[pixels::IndexAt(in, uint64_t{left} + j, bits)];
        out[0] = c[0];
        out[1] = c[1];
        out[2] = c[2];
        if (outBytes == 4) {
          out[3] = 255;
        }
      }
      break;
    case 16:
      in += static_cast<size_t>(left) * 2;
      for (uint32_t j = 0; j < count; ++j, in += 2, out += outBytes) {
        pixels::Expand555(in, out);
        if (outBytes == 4) {
          out[3] = 255;
        }
      }
      break;
    case 24:
      in += static_cast<size_t>(left) * 3;
      if (outBytes == 3) {
        std::memcpy(out, in, static_cast<size_t>(count) * 3);
        break;
      }
      for (uint32_t j = 0; j < count; ++j, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 255;
      }
      break;
    case 32:
      in += static_cast<size_t>(left) * 4;
      if (outBytes == 4) {
        std::memcpy(out, in, static_cast<size_t>(count) * 4);
        break;
      }
      for (uint32_t j = 0; j < count; ++j, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
      break;
    default:
      break;
  }
}

}  // namespace

bool Bitmap::CopyRect(const BitmapRect& rect, Bitmap& target, const Bitmap& source) {
  if (source.Empty() || target.Empty() || rect.left < 0 || rect.top < 0 ||
      rect.right <= rect.left || rect.bottom <= rect.top || rect.right > source.Width() ||
      rect.bottom > source.Height() || target.Width() != rect.right - rect.left ||
      target.Height() != rect.bottom - rect.top) {
    return false;
  }
  const uint32_t count = static_cast<uint32_t>(rect.right - rect.left);
  const uint32_t left = static_cast<uint32_t>(rect.left);
  const int32_t rows = rect.bottom - rect.top;

  if (target.BitCount() == 16) {
    if (source.BitCount() != 16) {
      return false;
    }
    for (int32_t i = 0; i < rows; ++i) {
      std::memcpy(target.Row(i), source.Row(rect.top + i) + static_cast<size_t>(left) * 2,
                  static_cast<size_t>(count) * 2);
    }
    return true;
  }
  if ((target.BitCount() != 24 && target.BitCount() != 32) ||
      !IsSupportedBitCount(source.BitCount())) {
    return false;
  }
  const auto table = ColourTable(source);
  const uint32_t outBytes = target.BitCount() / 8;
  for (int32_t i = 0; i < rows; ++i) {
    ConvertRow(source, table, source.Row(rect.top + i), left, count, target.Row(i), outBytes);
  }
  return true;
}
