// The frames of an animated GIF, as an AnimationSource (image/animation.h).
//
// The file's bytes are kept, with where each image starts and what its graphic control said;
// each frame is decoded only when asked for, by a giflib decoder of its own that starts at the
// frame's image descriptor. So at most one frame's pixels are held at a time.
//
// How a GIF frame is said in animated PNG terms:
//   - region: the image's rectangle, cut to the screen (an image wholly off the screen becomes
//     one transparent pixel at the top-left corner, blended over, that changes nothing);
//   - delay: the graphic control's hundredths of a second, as delayNumerator / 100 (0 stays 0);
//   - dispose: 2 (restore to background) is kDisposeBackground, 3 (restore previous)
//     kDisposePrevious, anything else kDisposeNone;
//   - blend: kBlendOver when the image has a transparent index (its transparent pixels are alpha
//     0, the others opaque), kBlendSource otherwise;
//   - frame 0 is the default image: the whole screen, the first image on a transparent screen,
//     blended as source.
// Every frame comes out in the default image's kind: 8-bit with its palette (used only when all
// images share one colour table, none is transparent and the first covers the screen) or 32-bit
// blue-green-red-alpha.
//
// Threads: an object belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/animation.h"
#include "image/bitmap.h"

namespace gif_animation {

// What the file says of one image.
struct ImageRecord {
  size_t offset = 0;  // of its image descriptor's separator in the file
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  int transparent = -1;  // from its graphic control: the transparent index, or -1
  uint8_t disposal = 0;  // from its graphic control
  uint16_t delay = 0;    // from its graphic control, in hundredths of a second
};

// The animation of the file in `data` (moved in and kept) whose images are `images` (at least
// two), on a screen of `width` x `height`, played `loops` times (0: forever). `kind` is the
// default image, already decoded: its bit count (8 or 32) and palette are every frame's.
std::unique_ptr<AnimationSource> MakeGifFrames(std::vector<uint8_t> data,
                                               std::vector<ImageRecord> images, int32_t width,
                                               int32_t height, uint32_t loops, const Bitmap& kind);

}  // namespace gif_animation
