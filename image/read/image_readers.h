// The source image readers behind Bitmap::Load. Internal to the image codecs: other code calls
// Bitmap::Load.
//
// The readers form a chain that recognises the format by content: ReadBmp takes the stream when
// it starts with "BM", otherwise it rewinds and hands it to ReadPng; ReadPng takes it when it
// starts with the PNG signature, otherwise it rewinds and hands it to ReadJpeg, which accepts or
// rejects it by itself.
//
// Each reader decodes into `image` (which it empties first) and returns true only for an image
// in one of Bitmap's layouts with the source's pixels, and with the chunks its source gives for
// the PNG in Ancillary(). A source it cannot make sense of, a
// damaged one, or one whose pixel store would exceed Bitmap::kMaxPixelStoreBytes is a false
// result; the image is then in an unspecified state and the caller clears it.
//
// Threads: the readers share no state; any number may run at once on distinct streams and
// images. They never throw except std::bad_alloc, which Bitmap::Load turns into false.
#pragma once

#include <cstdint>

#include "image/bitmap.h"

namespace kiv {
class File;
}

namespace image_readers {

// REQUIRES: `stream` positioned at its start.
bool ReadBmp(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadPng(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadJpeg(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);

// Moves the stream to `offset` bytes from its start.
void SeekTo(kiv::File& stream, uint64_t offset);

}  // namespace image_readers
