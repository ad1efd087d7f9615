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

// `value` of a field whose largest value is `max` as 8 bits, rounded to the nearest, so that 0
// stays 0 and `max` becomes 255: (value * 255 + max / 2) / max.
// REQUIRES: 0 < max < 2^32 and value <= max.
inline uint8_t ScaleTo8(uint64_t value, uint64_t max) {
  return static_cast<uint8_t>((value * 255 + max / 2) / max);
}

// Writes the blue, green and red bytes of the little-endian 5-5-5 word at `in` to out[0..2];
// each 5-bit field is scaled to the full 8-bit range (31 becomes 255).
// REQUIRES: `in` holds 2 bytes and `out` 3.
inline void Expand555(const uint8_t* in, uint8_t* out) {
  const unsigned pixel = in[0] | (in[1] << 8);
  out[0] = ScaleTo8(pixel & 0x1F, 31);
  out[1] = ScaleTo8((pixel >> 5) & 0x1F, 31);
  out[2] = ScaleTo8((pixel >> 10) & 0x1F, 31);
}

}  // namespace pixels
