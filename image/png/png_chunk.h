// PngChunk: an ancillary PNG chunk that a reader takes from its source for the
// written PNG (colour profile, colour space, resolution), held by the Bitmap.
//
// Threads: plain data; belongs to the thread that owns its Bitmap.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct PngChunk {
  std::array<char, 4> type{};  // the four-letter chunk type, e.g. {'i', 'C', 'C', 'P'}
  std::vector<uint8_t> data;   // the chunk's data, without its length and CRC
};
