// Reading a written PNG back to check that it holds what was encoded, before anything is given up
// for it (a source deleted or replaced).
//
// The check is built of pieces that stand alone, so that every image of a file (each frame of an
// animation too) can be compared the same way:
//   - SamePixels compares two decoded images pixel by pixel, whatever their stores;
//   - PngChunkList lists the chunks of a PNG file's bytes, checking each CRC;
//   - ReadBackPng does the whole check of a still PNG file.
//
// Threads: pure functions over their arguments; any thread, any number at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/png/png_chunk.h"

class Bitmap;

// True when `a` and `b` have the same size and show the same pixels: each pixel's red, green,
// blue and alpha equal at 16 bits (8-bit samples count as v * 257, a palette index as its
// colour and alpha, 5-5-5 as its expansion). The stores may differ (a palette and its RGB, a
// grey image and its grey RGBA). Rows still pending (Bitmap::Pending) are not looked at: both
// images must hold every row. May throw std::bad_alloc.
bool SamePixels(const Bitmap& a, const Bitmap& b);

// The chunks of the PNG file in `bytes`, in file order, or false when the bytes are not a PNG
// (no signature), a chunk runs past the end, a CRC is wrong, or bytes follow IEND. May throw
// std::bad_alloc.
// The bytes are only read (a stream is attached to them while the chunks are walked).
bool PngChunkList(std::vector<uint8_t>& bytes, std::vector<PngChunk>& chunks);

// What a read-back found.
enum class ReadBackResult {
  kSame,          // the file holds the image and the chunks
  kUnreadable,    // the file could not be read, or is not a whole, valid PNG
  kPixelsDiffer,  // it decodes to other pixels (or another size)
  kChunksDiffer,  // its ancillary chunks are not `carried`
};

// Reads the PNG file at `path` from the disk and checks it: every chunk whole, the ancillary
// chunks other than tRNS exactly `carried` in that order, and the decoded pixels SamePixels
// with `image` (compared row by row where CheckPngRows answers, png_row_check.h). For an image
// with an Animation(), the file is walked from the disk one frame at a time (ReadBackApng in
// apng_read_back.h): an animated PNG of the same frame count, loops and placements, each frame
// showing the animation's frame as it was written. `carried` is what the writer reports having
// written (PngEncodeOptions::carried). Never throws; running out of memory gives kUnreadable.
ReadBackResult ReadBackPng(const std::wstring& path, const Bitmap& image,
                           const std::vector<PngChunk>& carried);
