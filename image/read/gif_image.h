// What the GIF reader's first image and an animation's later frames share: giflib over a file's
// bytes in memory, and the decoding of one image's lines into a Bitmap. Internal to the GIF
// reader (gif_reader.cpp, gif_animation.cpp).
//
// Threads: any thread; calls share nothing.
#pragma once

#include <gif_lib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

class Bitmap;

namespace gif_image {

// Bytes giflib reads, from `at` on; `at` may be moved between records to start a record anew
// (giflib reads ahead of no record).
struct Input {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t at = 0;
};

struct GifCloser {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// giflib over `input`, having read the header, the screen and its colour table; null when they
// are damaged. `input` must outlive the handle.
GifHandle Open(Input& input);

// The colour table an image uses: its own, otherwise the screen's; null when it has none.
const ColorMapObject* TableOf(const GifFileType* gif);

// What DecodeLines did.
struct Lines {
  size_t done = 0;   // lines read before the data ended or was damaged
  size_t total = 0;  // lines the image has
  int maxIndex = 0;  // the largest colour index met
};

// Decodes the image whose descriptor giflib has just read, line by line in the order it is
// stored (Adam's four passes for an interlaced one), and puts each line where it shows: the
// pixel at screen position (x, y) goes to pixel (x - originX, y - originY) of `target`, counting
// rows from the top, when that is inside it. An 8-bit target takes the indices; a 32-bit one
// takes the table's colours, opaque, and keeps what it held where the index is `transparent`
// (-1 for none) or past the table's end shows black. With a null `target` the lines are read
// and checked only. REQUIRES: the image has a colour table (TableOf) when `target` is 32-bit.
Lines DecodeLines(GifFileType* gif, int transparent, Bitmap* target, int32_t originX,
                  int32_t originY);

}  // namespace gif_image
