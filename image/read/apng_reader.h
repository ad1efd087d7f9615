// The frames of an animated PNG, as an AnimationSource (image/animation.h).
//
// Debian's libpng does not read animated PNGs, so the file's chunks are walked here: acTL (which
// makes the file animated when it stands before the first IDAT), each frame's fcTL and its data
// (IDAT for a default image that is frame 0, fdAT otherwise), with every sequence number in order.
// The frames' compressed data is kept; each frame is decoded only when asked for, through the
// PNG reader, as a PNG of the frame's size holding the file's header, palette and transparency
// and the frame's data. So every frame comes out in the bit count and palette of the default
// image, and at most one frame's pixels are held at a time.
//
// Limits: the frames' compressed data together at most Bitmap::kMaxPixelStoreBytes; every
// region inside the canvas, each field within what an animated PNG allows.
//
// Threads: any thread; calls share nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/animation.h"

namespace kiv {
class File;
}
class Bitmap;
class ImageMetadata;

// The animation of the PNG in `stream`, read from its start, or null when the file is not
// animated. An animation that is damaged or exceeds the limits is null too, and noted in `notes`
// as left out: only the default image can then be written. Leaves the stream's position
// anywhere.
std::unique_ptr<AnimationSource> ReadApngFrames(kiv::File& stream, ImageMetadata& notes);

// Decodes one frame of an animated PNG as the PNG reader decodes a still, into `pixels`: a PNG of
// `width` x `height` made of the file's IHDR data (`header`), its PLTE and tRNS data (empty when
// the file has none) and the frame's zlib stream `data`. False when the data does not decode to
// the whole frame (Notes().detail may then say why). May throw std::bad_alloc.
bool DecodeApngFrame(const std::vector<uint8_t>& header, const std::vector<uint8_t>& palette,
                     const std::vector<uint8_t>& transparency, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& data, Bitmap& pixels);
