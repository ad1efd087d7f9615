// CheckPngRows: whether a still PNG's image data holds exactly the rows of a Bitmap, without
// decoding the file into a second Bitmap.
//
// The IDAT data is inflated by libdeflate's decompressor (not the code that compressed it), and
// each row's filter-type byte and filtered bytes are compared with the Bitmap's own row as
// PngScanlines gives it, filtered by that row's filter type. Filtering is one-to-one once the
// row above is known, so rows that compare equal unfilter to exactly the Bitmap's pixels: this
// is the read-back's pixel comparison for the common case, at a fraction of a full decode.
//
// It answers only for a non-interlaced PNG of direct colour (grey, grey+alpha, RGB, RGBA of
// any depth) with no tRNS whose header is the layout ChoosePngLayout gives the Bitmap; any
// other file (a palette, a reduced form, an interlaced one) is kNotChecked and is decoded whole
// by the caller.
//
// Threads: a pure function of its arguments; any thread, any number at once.
#pragma once

#include <vector>

#include "image/png/png_chunk.h"

class Bitmap;

enum class PngRowCheck {
  kSame,        // the image data unfilters to the Bitmap's rows
  kDiffer,      // it does not, or it cannot be inflated, or holds more or less than the rows
  kNotChecked,  // a file this check does not answer for
};

// `chunks`: every chunk of the file in file order, IHDR first (as PngChunkList gives them).
// REQUIRES: every row of `image` is decoded (none pending). May throw std::bad_alloc.
PngRowCheck CheckPngRows(const std::vector<PngChunk>& chunks, const Bitmap& image);
