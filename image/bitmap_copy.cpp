// Bitmap::CopyRect: pixel-format conversion of a rectangle into 24- or 32-bit images, and copies
// between images of one format.
#include <array>
#include <cstring>

#include "image/bitmap.h"
#include "image/pixels.h"

namespace {

using Colour = std::array<uint8_t, 4>;  // blue, green, red, alpha

// The colour of every possible index of an indexed image; indices past the palette are black,
// entries past the alpha table opaque.
std::array<Colour, 256> ColourTable(const Bitmap& source) {
  std::array<Colour, 256> table{};
  const auto& palette = source.Palette();
  const auto& alpha = source.PaletteAlpha();
  for (size_t i = 0; i < table.size(); ++i) {
    if (i < palette.size()) {
      table[i] = Colour{palette[i].blue, palette[i].green, palette[i].red, 255};
    } else {
      table[i] = Colour{0, 0, 0, 255};
    }
    if (i < alpha.size()) {
      table[i][3] = alpha[i];
    }
  }
  return table;
}

// A 16-bit sample at `in` (little-endian) as 8 bits, rounded to the nearest.
uint8_t Narrow(const uint8_t* in) {
  return static_cast<uint8_t>(((in[0] | in[1] << 8) * 255u + 32767u) / 65535u);
}

// Pixels of 16-bit samples into 8-bit blue, green, red (and alpha, 255 without one).
void NarrowRow(uint32_t sourceBits, const uint8_t* in, uint32_t left, uint32_t count, uint8_t* out,
               uint32_t outBytes) {
  const uint32_t channels = sourceBits / 16;
  in += static_cast<size_t>(left) * channels * 2;
  for (uint32_t j = 0; j < count; ++j, in += channels * 2, out += outBytes) {
    if (channels <= 2) {
      out[0] = out[1] = out[2] = Narrow(in);
    } else {
      out[0] = Narrow(in);
      out[1] = Narrow(in + 2);
      out[2] = Narrow(in + 4);
    }
    if (outBytes == 4) {
      out[3] = channels == 2 || channels == 4 ? Narrow(in + 2 * (channels - 1)) : 255;
    }
  }
}

void ConvertRow(const Bitmap& source, const std::array<Colour, 256>& table, const uint8_t* in,
                uint32_t left, uint32_t count, uint8_t* out, uint32_t outBytes) {
  const uint32_t bits = source.BitCount();
  if (source.Wide()) {
    NarrowRow(bits, in, left, count, out, outBytes);
    return;
  }
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
          out[3] = c[3];
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

  if (target.BitCount() == source.BitCount() && target.Wide() == source.Wide() &&
      source.BitCount() >= 16) {
    // One direct-colour format: the bytes as they are.
    const size_t bytes = source.BitCount() / 8;
    for (int32_t i = 0; i < rows; ++i) {
      std::memcpy(target.Row(i), source.Row(rect.top + i) + left * bytes, count * bytes);
    }
    return true;
  }
  if ((target.BitCount() != 24 && target.BitCount() != 32) || target.Wide()) {
    return false;
  }
  const auto table = ColourTable(source);
  const uint32_t outBytes = target.BitCount() / 8;
  for (int32_t i = 0; i < rows; ++i) {
    ConvertRow(source, table, source.Row(rect.top + i), left, count, target.Row(i), outBytes);
  }
  return true;
}
