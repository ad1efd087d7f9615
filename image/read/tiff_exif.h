// The EXIF of a TIFF file as a block of its own, for a PNG's eXIf chunk.
//
// A TIFF keeps its EXIF in a directory of the file that its page points at (ExifIFD), and its
// GPS position in another (GPSInfo); the descriptive tags a camera puts beside them (Make, Model,
// DateTime, ...) stand in the page's own directory. A PNG's eXIf holds a whole TIFF structure
// instead, as a JPEG's APP1 does. The block made here is one, in the file's byte order: a first
// directory holding the page's descriptive tags and an Orientation, pointing at copies of the
// EXIF directory (with its interoperability directory) and the GPS directory, every entry with
// the values it points at. Values are copied byte for byte; offsets inside a value (a maker
// note's own) are not rewritten.
//
// Classic TIFF and BigTIFF are read; the block is always a classic TIFF structure, as eXIf
// holds. A BigTIFF's 64-bit integers (LONG8, SLONG8) become LONG and SLONG when every value fits
// in 32 bits; a value that does not, a 64-bit directory offset given as a value (IFD8), or a
// directory of more entries than a classic one counts leaves the block unmade (kUnfit). Every
// offset and count is checked against the file's end before anything is copied, and the block is
// held to a size bound, so a hostile file costs no more than that bound.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tiff_exif {

enum class Result {
  kNone,      // the page points at no EXIF or GPS directory
  kMade,      // `block` holds the EXIF block
  kDamaged,   // a directory or value lies outside the file, or is not well formed
  kTooLarge,  // the block would exceed `maxBytes`
  kUnfit,     // a BigTIFF's EXIF holds what a classic TIFF structure cannot
};

// Makes the EXIF block of the page whose directory starts at `page` in `file` (the whole TIFF
// file, `size` bytes). The block's first directory states `orientation` (1 to 8) as its
// Orientation. `block` is replaced.
Result MakeBlock(const uint8_t* file, size_t size, uint64_t page, uint16_t orientation,
                 size_t maxBytes, std::vector<uint8_t>& block);

}  // namespace tiff_exif
