// The source image readers behind Bitmap::Load. Internal to the image codecs: other code calls
// Bitmap::Load.
//
// The readers form a chain that recognises the format by content: ReadBmp takes the stream when
// it starts with "BM", otherwise it rewinds and hands it to ReadPng; ReadPng takes it when it
// starts with the PNG signature, otherwise it rewinds and hands it to ReadJpeg; ReadJpeg takes it
// when it starts with a JPEG's start-of-image marker, otherwise it hands it to ReadOtherKinds,
// which tells WebP, GIF, TIFF and HEIF (AVIF included) apart by their first bytes and hands the
// stream to that kind's reader. A file of none of these kinds fails as kNotImage, its notes'
// detail naming what it is (content_kind.h).
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
#include <vector>

#include "image/bitmap.h"

namespace kiv {
class File;
}

namespace image_readers {

// REQUIRES: `stream` positioned at its start.
bool ReadBmp(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadPng(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadJpeg(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadOtherKinds(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);

// The readers ReadOtherKinds hands a stream to, each for a stream that starts as its kind.
bool ReadWebp(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadGif(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadTiff(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);
bool ReadHeif(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options);

// Reads the whole stream, from its start, into `data`. Returns false, with the image's notes
// saying "too large", for a stream longer than Bitmap::kMaxPixelStoreBytes; a stream that
// returns fewer bytes than its size leaves `data` as long as what it returned.
bool ReadWholeStream(kiv::File& stream, std::vector<uint8_t>& data, Bitmap& image);

// Moves the stream to `offset` bytes from its start.
void SeekTo(kiv::File& stream, uint64_t offset);

}  // namespace image_readers
