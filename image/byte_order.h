// Fixed-width numbers in the byte orders the image formats store them in:
// little-endian in BMP headers, big-endian in PNG chunks and ICC profiles.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>

// REQUIRES: `p` points at 2 readable bytes.
inline uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// REQUIRES: `p` points at 4 readable bytes.
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// REQUIRES: `p` points at 4 readable bytes.
inline uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// Writes `value` as four big-endian bytes. REQUIRES: `out` points at 4 writable bytes.
inline void PutBe32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}
