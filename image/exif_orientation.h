// The Orientation tag of an EXIF block: how the stored pixels must be turned to stand upright,
// and its rewriting once they were.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace exif {

// Orientation values as EXIF defines them, by where the stored first row and first column go:
//   1 upright                        5 mirrored along the top-left to bottom-right diagonal
//   2 mirrored left to right         6 turned a quarter clockwise to stand upright
//   3 turned half round              7 mirrored along the top-right to bottom-left diagonal
//   4 mirrored top to bottom         8 turned a quarter anticlockwise to stand upright
constexpr int kUpright = 1;

// The Orientation (1 to 8) in `data`, the contents of an APP1 segment (after its length), or
// kUpright when the segment is not EXIF, has no Orientation in its first image directory, or
// holds anything out of place (offsets or counts past its end, a wrong type, a value outside
// 1 to 8). Both byte orders are read. Reads only within data[0, size).
int Orientation(const uint8_t* data, size_t size);

// Rewrites the Orientation in `tiff`, an EXIF block without its "Exif" header (the data of a PNG
// eXIf chunk), to upright, for pixels that were turned upright. Returns false, changing
// nothing, when the block has no Orientation that Orientation() would read.
bool MarkUpright(uint8_t* tiff, size_t size);

}  // namespace exif
