// The PNG chunks that carry what a source says beyond its pixels and colour: its EXIF block
// (eXIf), its XMP packet (iTXt "XML:com.adobe.xmp") and its comments (tEXt "Comment", or iTXt
// when not Latin-1). The WebP and GIF readers make them here and put them into
// Bitmap::Ancillary(); the TIFF and HEIF readers carry theirs into Bitmap::Metadata() through
// CarryExif and CarryXmp.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/png/png_chunk.h"

class ImageMetadata;

namespace metadata_chunks {

// The largest EXIF block, XMP packet or comment carried; a larger one is left out. A PNG
// chunk's data may be 2^31 - 1 bytes, but real blocks are at most a few hundred kilobytes.
constexpr size_t kMaxMetadataBytes = 4u << 20;

// Appends an eXIf chunk holding the EXIF block `data` (a TIFF structure, "II*\0" or "MM\0*",
// optionally preceded by the "Exif\0\0" header of a JPEG or WebP segment) to `chunks`. With
// `upright`, the pixels were turned upright by the reader, so an Orientation in the first image
// directory is set to 1. Returns false, adding nothing, for a block that is not such a
// structure or is larger than kMaxMetadataBytes.
bool AddExif(const uint8_t* data, size_t size, bool upright, std::vector<PngChunk>& chunks);

// Appends an uncompressed iTXt chunk with keyword "XML:com.adobe.xmp" holding the XMP packet
// `data`. Returns false, adding nothing, for an empty packet, one holding a NUL byte or one
// larger than kMaxMetadataBytes.
bool AddXmp(const uint8_t* data, size_t size, std::vector<PngChunk>& chunks);

// Appends a "Comment" text chunk: tEXt when `text` (Latin-1 or UTF-8, NUL bytes ending it)
// is printable Latin-1 as it stands, iTXt (UTF-8) otherwise. Line ends are kept. Returns false
// for an empty comment or one larger than kMaxMetadataBytes.
bool AddComment(const uint8_t* text, size_t size, std::vector<PngChunk>& chunks);

// The same blocks carried through an image's metadata (image/metadata.h), as the JPEG reader
// carries them: a block the PNG cannot hold is noted as left out (so its source is kept, with a
// warning) instead of being dropped. CarryExif takes `data` as AddExif does; a block that is not
// a TIFF structure is noted as damaged. CarryXmp drops NUL bytes that pad a packet's end; one
// holding a NUL byte within is noted as left out. Sizes past ImageMetadata's limits are noted as
// too large to carry.
void CarryExif(const uint8_t* data, size_t size, bool upright, ImageMetadata& metadata);
void CarryXmp(const uint8_t* data, size_t size, ImageMetadata& metadata);

}  // namespace metadata_chunks
