// AnimationSource: the frames of an animated source, handed out one at a time, so that an
// animation is converted holding about one canvas of pixels rather than all of its frames.
//
// An animation has a canvas (the size of its default image, the Bitmap it belongs to), a loop
// count and frames. Each frame covers a region of the canvas, stays for delayNumerator /
// delayDenominator seconds, and says how it meets the canvas (blend) and what becomes of its
// region after it (dispose), as an animated PNG states them. A source whose default image is its
// first frame (an animated PNG whose IDAT is a frame, a GIF, an animated WebP) says so; otherwise
// the default image is a picture of its own, shown by viewers that do not animate.
//
// The animated readers (PNG, GIF and WebP) implement it; the animated PNG writer
// (png/apng_writer.h) takes frames from it, and a check of a written file reads the written
// frames back through the same interface.
//
// Threads: an object belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <string>

class Bitmap;

struct AnimationFrame {
  // The region, in pixels from the canvas's top-left corner.
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t delayNumerator = 0;
  uint16_t delayDenominator = 0;  // 0 means 100, as in an animated PNG
  enum Dispose : uint8_t { kDisposeNone = 0, kDisposeBackground = 1, kDisposePrevious = 2 };
  enum Blend : uint8_t { kBlendSource = 0, kBlendOver = 1 };
  uint8_t dispose = kDisposeNone;
  uint8_t blend = kBlendSource;
};

struct AnimationInfo {
  uint32_t frameCount = 0;
  uint32_t loops = 0;  // 0: forever
  // The default image is frame 0 (then its region is the whole canvas).
  bool defaultIsFirstFrame = false;
};

class AnimationSource {
 public:
  virtual ~AnimationSource() = default;

  virtual const AnimationInfo& Info() const = 0;

  // Frame `index` (0 to Info().frameCount - 1): its placement into `frame` and, unless `pixels`
  // is null, its pixels, `frame.width` x `frame.height`, into `*pixels` (replacing what it held),
  // of one bit count and palette for every frame of the source. Returns false, with the words of
  // Error() saying why, when the frame's data is damaged or memory runs out. Frames may be asked
  // for in any order, each as often as wanted.
  virtual bool Frame(uint32_t index, AnimationFrame& frame, Bitmap* pixels) = 0;

  // Why the last Frame failed, in a few English words.
  virtual std::string Error() const = 0;
};
