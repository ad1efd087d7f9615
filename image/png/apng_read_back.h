// ReadBackApng: the read-back of a written animated PNG (png_read_back.h), walked chunk by chunk
// from the file, holding at most one frame's data at a time: the frame's compressed data, the
// frame it was written from and, when it must be decoded, the frame decoded.
//
// It checks: the signature, every chunk's CRC, nothing after IEND; the ancillary chunks other
// than tRNS and fdAT exactly `carried`, in order; acTL's frame count and loops and every fcTL's
// placement, delay and operations those of the animation; the sequence numbers from 0 in order;
// one run of IDAT, then each frame's fdAT run after its fcTL; the default image's pixels those of
// `image`, and each frame's those of the animation's frame as EncodeApng writes it
// (FrameAsWritten). A frame written in its own layout is compared row by row without being
// decoded (CheckImageRows in png_row_check.h); a frame of a reduced form is decoded as the PNG
// reader decodes a frame and compared pixel by pixel (SamePixels).
//
// Threads: any thread; calls share nothing. The animation is read from (its frames asked for
// again), so it belongs to the calling thread for the call.
#pragma once

#include <vector>

#include "image/png/png_chunk.h"
#include "image/png/png_read_back.h"

class Bitmap;
namespace kiv {
class File;
}

// `file` is open for reading at any position. REQUIRES: image.Animation() is not null; every
// row of `image` is decoded. May throw std::bad_alloc.
ReadBackResult ReadBackApng(kiv::File& file, const Bitmap& image,
                            const std::vector<PngChunk>& carried);
