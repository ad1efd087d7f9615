// Reading single pixels of Bitmap's packed layouts: palette indices of 1, 2, 4 and 8 bits and
// 16-bit 5-5-5 words. Internal to the image code (the copy and the PNG writer).
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>

namespace pixels {

// The palette index of pixel `x` of a row of `bits`-bit pixels packed from the most significant
// bit. The bit position is computed in 64 bits, so any column of any row is addressed.
// REQUIRES: `bits` is 1, 2, 4 or 8 and `row` holds pixel `x`.
inline unsigned IndexAt(const uint8_t* row, uint64_t x, uint32_t bits) {
  if (bits == 8) {
    return row[x];
  }
  const uint64_t bit = x * bits;
  const uint32_t shift = 8 - bits - static_cast<uint32_t>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

// Writes the blue, green and red bytes of the little-endian 5-5-5 word at `in` to out[0..2];
// each 5-bit field becomes the high bits of its byte.
// REQUIRES: `in` holds 2 bytes and `out` 3.
inline void Expand555(const uint8_t* in, uint8_t* out) {
  const unsigned pixel = in[0] | (in[1] << 8);
  out[0] = static_cast<uint8_t>((pixel & 0x1F) << 3);
  out[1] = static_cast<uint8_t>(((pixel >> 5) & 0x1F) << 3);
  out[2] = static_cast<uint8_t>(((pixel >> 10) & 0x1F) << 3);
}

}  // namespace pixels
