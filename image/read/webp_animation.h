// The frames of an animated WebP, as an AnimationSource (image/animation.h).
//
// libwebp's animation decoder composes each frame on the canvas as the file says (its offsets,
// blending and disposal). A frame is handed out as the part of its composed canvas that differs
// from the canvas before it (the smallest rectangle holding every changed pixel; one unchanged
// pixel at the top-left corner when nothing changed; the whole canvas for frame 0), replacing
// what was shown there (kBlendSource) and left in place (kDisposeNone): a viewer shows exactly
// the canvases libwebp composed. Pixels are 32-bit blue-green-red-alpha, not premultiplied. A
// frame's duration in milliseconds is its delay over 1000 (a duration beyond 65535 ms over 100
// or 10, rounded, as the fields allow); the loop count is the file's (0: forever). Frame 0 is
// the default image.
//
// Opening decodes every frame once, to find the changed rectangles and to be sure each frame
// decodes. The file's bytes, the rectangles and one decoder are kept. The decoder goes forward
// frame by frame; a frame before the last one asked for starts it over. It holds a canvas and
// the one before it.
//
// Threads: an object belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/animation.h"

namespace webp_animation {

// The animation of the WebP file in `data` (moved in and kept), or null with `why` set when
// libwebp cannot open it or its first frame does not decode. `damaged` is set to the first
// frame that does not decode, or to the frame count when every frame does; the source's frames
// before it can be read. REQUIRES: the file's features say it is animated and its canvas's pixel
// store, at 32 bits, is within Bitmap::kMaxPixelStoreBytes.
std::unique_ptr<AnimationSource> OpenWebpFrames(std::vector<uint8_t> data, std::string& why,
                                                uint32_t& damaged);

}  // namespace webp_animation
