// EncodeApng: an animated PNG of a default image and the frames of an AnimationSource.
//
// The file holds: the signature; IHDR (the default image's size and kind); the default image's
// Ancillary() chunks and metadata before PLTE; acTL (frame count, loop count); PLTE; the
// metadata before IDAT; fcTL of frame 0 when the default image is that frame; the default
// image's IDAT; for each later frame its fcTL and fdAT chunks; the metadata after IDAT; IEND.
// Sequence numbers run over fcTL and fdAT from 0.
//
// Every frame is written in the kind of the default image (the same colour type, depth and
// palette), filtered and compressed at the options' level and interlaced when they say so, as a
// still PNG is (png_encode.h); a frame of another bit count is converted to the default image's
// when it is 24 or 32 bits (the 24-bit choice applies to every frame). The reduction to smaller
// kinds (PngEncodeOptions::reduce) looks at every frame first, one at a time, and writes them all
// in the one reduced form that keeps the pixels of every frame and is foretold smallest for the
// default image (png_reduce.h); when no form keeps them all, they are written as they are.
// Frames are taken one at a time, so the memory used is the default image and one frame.
//
// Threads: any thread; calls share nothing.
#pragma once

#include <string>

class AnimationSource;
class Bitmap;
struct PngEncodeOptions;
namespace kiv {
class File;
}

// Writes the animated PNG of `image` and `frames` to `stream`. Returns false, having written at
// most part of a file, when the image cannot be encoded (as EncodePngImage), a frame cannot be
// read or converted (`why` then says which and why), or a write fell short. May throw
// std::bad_alloc.
bool EncodeApng(const Bitmap& image, AnimationSource& frames, const PngEncodeOptions& options,
                kiv::File& stream, std::string& why);

// The frame `pixels` in the kind EncodeApng writes it for `image`: `pixels` itself when it has
// the image's bit count, otherwise its conversion, made into `converted`; null when it cannot be
// converted.
const Bitmap* FrameAsWritten(const Bitmap& image, const Bitmap& pixels, Bitmap& converted);
