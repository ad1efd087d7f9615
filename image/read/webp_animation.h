// The frames of an animated WebP, as an AnimationSource (image/animation.h).
//
// libwebp's animation decoder composes each frame on the canvas as the file says (its offsets,
// blending and disposal); the frames are handed out as those composed canvases: each covers the
// whole canvas, replaces what was shown (kBlendSource) and leaves it (kDisposeNone), so a viewer
// shows exactly the canvases libwebp composed. They are 32-bit blue-green-red-alpha, not
// premultiplied. A frame's duration in milliseconds is its delay over 1000 (a duration beyond
// 65535 ms over 100 or 10, rounded, as the fields allow); the loop count is the file's (0:
// forever). Frame 0 is the default image.
//
// The file's bytes and one decoder are kept. The decoder goes forward frame by frame; a frame
// before the last one asked for starts it over. It holds a canvas and the one before it.
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
// libwebp cannot open it. REQUIRES: the file's features say it is animated and its canvas's
// pixel store, at 32 bits, is within Bitmap::kMaxPixelStoreBytes.
std::unique_ptr<AnimationSource> OpenWebpFrames(std::vector<uint8_t> data, std::string& why);

}  // namespace webp_animation
