// Turning a picture upright by its EXIF orientation while it is decoded: each decoded row is
// placed straight where it belongs in the upright image, so no second pixel store is needed.
//
// Threads: pure functions over the caller's image, any thread.
#pragma once

#include <cstdint>

class Bitmap;

namespace upright {

// True for the orientations (5 to 8) whose upright picture has width and height swapped.
bool SwapsSides(int orientation);

// Places row `y` (0 is the top) of the stored picture, `width` x `height` pixels of `bytes`
// bytes each at `line`, into `image`, the upright picture, so that the stored picture turned
// by `orientation` (1 to 8, exif::Orientation) stands upright there.
// REQUIRES: image created with bit count 8 * bytes, of size width x height, or height x width
// when SwapsSides(orientation); y < height; 1 <= orientation <= 8.
void PlaceRow(const uint8_t* line, uint32_t y, uint32_t width, uint32_t height, uint32_t bytes,
              int orientation, Bitmap& image);

}  // namespace upright
