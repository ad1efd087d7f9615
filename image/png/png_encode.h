// EncodePngImage: the whole PNG file of a Bitmap, written to a stream.
//
// The file holds, in this order: the signature; IHDR; the Bitmap's Ancillary() chunks as they
// are held; PLTE when the image has a palette (the palette of an indexed image, or a suggested
// palette of a direct-colour one); the IDAT chunks; IEND.
//
// Output by bit count: 1, 2, 4 and 8 bits become palette PNGs of that depth; 16 (5-5-5)
// becomes 8-bit RGB; 24 becomes RGB; 32 becomes RGB with alpha, the alpha written as stored;
// unless the reduction is asked for (see PngEncodeOptions::reduce).
// The palette of an indexed image is fitted to its depth: entries the depth cannot address are
// dropped, and a palette shorter than the largest index used is padded with black (the colour
// CopyRect gives such indices), so that every index in the PNG is valid. A direct-colour
// image's palette longer than 256 entries is not suggested.
//
// Rows are filtered by libpng's adaptive choice, except for palette images and level 0, whose
// rows are written unfiltered; at level 9 a trial over a sample of the rows chooses the filter of
// the others (png_filter_choice.h). See png_filter.h and, for the compression, png_deflate.h.
//
// Threads: any thread; calls share nothing.
#pragma once

#include <cstdint>

#include "image/png/png_deflate.h"

class Bitmap;
class PieceRunner;
namespace kiv {
class File;
}

struct PngEncodeOptions {
  int32_t level = 6;       // 0..9; a negative level means 6 and a larger one 9
  bool interlace = false;  // Adam7
  // Filtered data up to this size is compressed in one piece (see png_deflate.h).
  uint64_t wholeBufferBytes = PngCompression::kWholeBufferBytes;
  // The filtered bytes of a piece at the levels that cut the data into pieces (png_deflate.h).
  uint64_t pieceBytes = PngCompression::kPieceBytes;
  // Runs the pieces; null runs them on the calling thread. Not owned.
  PieceRunner* runner = nullptr;
  // Writes the image in the smallest of its reduced forms that keep every pixel (png_reduce.h),
  // or as it is when that is smaller: each form's data is foretold from a sample of its rows,
  // PLTE and tRNS counted. A grey form leaves out the iCCP chunk, whose profile is for RGB.
  bool reduce = false;
  // Bitmap::SavePng only: the file is put on the storage device through the handle that wrote
  // it before the save returns (ReplacingFile::MakeDurable); a flush that fails fails the save.
  bool durable = false;
};

// Writes the PNG of `image` to `stream`. Rows the image's reader left pending (Bitmap::Pending)
// are decoded on the way, possibly on the runner's threads; the caller then calls FinishRows to
// learn what the decoding found. Returns false, having written at most part of a file,
// when the image is empty or of a bit count that has no PNG form, an ancillary chunk is not a
// valid ancillary chunk (four ASCII letters, the first lower-case; at most 2^31 - 1 bytes), a
// write to the stream fell short, the pending rows could not be decoded, or memory ran out. May
// throw std::bad_alloc.
bool EncodePngImage(const Bitmap& image, const PngEncodeOptions& options, kiv::File& stream);
