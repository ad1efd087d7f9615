// The TIFF reader's decoding of deep pages: unsigned samples of 9 to 16 bits, grey or RGB, with
// or without alpha, in strips or tiles, interleaved or in separate planes. Such a page becomes a
// Wide() image of the same kind (16-bit grey, grey+alpha, blue-green-red or
// blue-green-red-alpha) with its samples unchanged: a sample of fewer than 16 bits is widened by
// repeating its high bits below it (12-bit v becomes v << 4 | v >> 8), and the image's metadata
// states the bits that were significant (sBIT). Associated alpha is divided out, as PNG's alpha
// is unassociated; min-is-white grey is turned into min-is-black.
//
// Internal to the TIFF reader (tiff_reader.cpp).
//
// Threads: any thread, on its own TIFF handle and image.
#pragma once

#include <tiffio.h>

#include <cstdint>

class Bitmap;

namespace tiff_wide {

// True when the current directory of `tiff` is a page ReadPage keeps at 16 bits.
bool Applies(TIFF* tiff);

// What ReadPage met beyond the pixels.
struct PageOutcome {
  bool tooLarge = false;     // the pixel store or a decoding buffer exceeds the pixel-store bound
  uint32_t bands = 0;        // strips or rows of tiles the page is stored in
  uint32_t failedBands = 0;  // those whose data did not decode (their rows are left black)
};

// Decodes the current directory into `image`, turned upright by `orientation` (1 to 8, numbered
// as EXIF's). Returns false when nothing was made (outcome.tooLarge says whether for size);
// true otherwise, though some bands may have failed.
// REQUIRES: Applies(tiff); 1 <= orientation <= 8.
bool ReadPage(TIFF* tiff, int orientation, Bitmap& image, PageOutcome& outcome);

}  // namespace tiff_wide
