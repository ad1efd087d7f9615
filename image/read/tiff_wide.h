// The TIFF reader's own decoding of the pages libtiff's RGBA interface would round to 8 bits or
// read in part: unsigned grey, RGB or CMYK samples of 9 to 16 bits, CMYK of 8 bits with alpha,
// and palette pages whose index has more than 8 bits or whose colour map holds colours that are
// not all 8-bit; with or without alpha, in strips or tiles, interleaved or in separate planes.
//
// Results: grey and RGB pages become a Wide() image of the same kind (16-bit grey, grey+alpha,
// blue-green-red or blue-green-red-alpha) with their samples unchanged: a sample of fewer than
// 16 bits is widened by repeating its high bits below it (12-bit v becomes v << 4 | v >> 8), and
// the image's metadata states the bits that were significant (sBIT). Associated alpha is divided
// out, as PNG's alpha is unassociated; min-is-white grey is turned into min-is-black. CMYK pages
// become 16-bit blue-green-red(-alpha), each colour (1 - ink) * (1 - black) computed at 16 bits
// (8-bit inks with alpha: 8-bit blue-green-red-alpha). Palette pages become 16-bit
// blue-green-red(-alpha) holding the colour map's 16-bit entries exactly, or 8-bit
// blue-green-red(-alpha) when every entry is an 8-bit colour. The alpha of an index or of inks is
// taken as it stands.
//
// Internal to the TIFF reader (tiff_reader.cpp).
//
// Threads: any thread, on its own TIFF handle and image.
#pragma once

#include <tiffio.h>

#include <cstdint>

class Bitmap;

namespace tiff_wide {

// True when the current directory of `tiff` is a page ReadPage decodes (see above).
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
