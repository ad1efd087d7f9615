// CheckPngRows: whether a PNG's image data holds exactly the rows of a Bitmap, without decoding
// the file into a second Bitmap.
//
// The image data is inflated by libdeflate's decompressor (not the code that compressed it), and
// each row's filter-type byte and filtered bytes are compared with the Bitmap's own row as
// PngScanlines gives it, filtered by that row's filter type. Filtering is one-to-one once the
// row above is known, so rows that compare equal unfilter to exactly the Bitmap's pixels: this
// is the read-back's pixel comparison for the common case, at a fraction of a full decode.
//
// It answers only for a PNG (or an animation frame) written in the layout ChoosePngLayout gives
// the Bitmap, interlaced or not: direct colour (grey, grey+alpha, RGB, RGBA of any depth) with no
// tRNS, or a palette whose PLTE and tRNS are exactly the Bitmap's own (PaletteData and
// TransparencyData). Any other file (a reduced form, a grey colour key) is kNotChecked and is
// decoded whole by the caller.
//
// Threads: pure functions of their arguments; any thread, any number at once.
#pragma once

#include <cstdint>
#include <vector>

#include "image/png/png_chunk.h"

class Bitmap;

enum class PngRowCheck {
  kSame,        // the image data unfilters to the Bitmap's rows
  kDiffer,      // it does not, or it cannot be inflated, or holds more or less than the rows
  kNotChecked,  // a file this check does not answer for
};

// What a file says of how its image data is to be read: IHDR's data and the PLTE and tRNS data
// (empty when the file has none).
struct PngImageKind {
  const std::vector<uint8_t>* header = nullptr;
  const std::vector<uint8_t>* palette = nullptr;
  const std::vector<uint8_t>* transparency = nullptr;
};

// Whether `data`, the zlib stream of one image of a file of `kind` (a still's IDAT data joined,
// or one animation frame's data), unfilters to the rows of `image`. The image may be smaller than
// the header says (an animation frame): its own size is the rows' size.
// REQUIRES: every row of `image` is decoded (none pending). May throw std::bad_alloc.
PngRowCheck CheckImageRows(const PngImageKind& kind, const std::vector<uint8_t>& data,
                           const Bitmap& image);

// `chunks`: every chunk of a still PNG file in file order, IHDR first (as PngChunkList gives
// them); a file with an acTL is kNotChecked. REQUIRES: as CheckImageRows.
PngRowCheck CheckPngRows(const std::vector<PngChunk>& chunks, const Bitmap& image);
