// ImageMetadata: what a source says about its picture beyond the pixels and their colour, carried
// into the PNG written for it: EXIF, XMP, comments and text, the time of the last change, the
// background colour, the significant bits, and chunks this program does not know that PNG's
// copy rule lets it carry. The colour chunks (profile, colour space, gamma, chromaticities) and
// the resolution stay in Bitmap::Ancillary(), see colour_chunks.h.
//
// Every reader fills it the same way: by the chunks its PNG must hold (AddChunk), the background
// and significant bits in a form that does not depend on the source's colour type (the writer
// states them again for the kind it writes, metadata_chunks.h), and a note for every block it
// found but cannot carry (LeftOut). A conversion whose source holds something its PNG lacks
// keeps the source.
//
// Limits. A block larger than kMaxBlockBytes, or past kMaxTotalBytes of carried blocks in one
// file, is not read into memory: it is noted as left out instead.
//
// Threads: plain data; belongs to the thread that owns its Bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/png/png_chunk.h"

// Where a carried chunk stands in the written PNG, relative to its critical chunks.
enum class ChunkPlace {
  kBeforePlte,  // after IHDR and the colour chunks, before PLTE
  kBeforeIdat,  // after PLTE, before the first IDAT
  kAfterIdat,   // after the last IDAT, before IEND
};

struct CarriedChunk {
  PngChunk chunk;
  ChunkPlace place = ChunkPlace::kBeforePlte;
};

// The background colour, in 16-bit red, green and blue (a grey is three equal values).
struct BackgroundColour {
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
};

// The bits of each sample that held information in the source, each from 1 to 16. A grey
// source has red, green and blue equal; `alpha` is 0 when the source had no alpha channel.
struct SignificantBits {
  uint8_t red = 8;
  uint8_t green = 8;
  uint8_t blue = 8;
  uint8_t alpha = 0;
};

class ImageMetadata {
 public:
  // The largest single block carried (an EXIF block, an XMP packet, one chunk).
  static constexpr size_t kMaxBlockBytes = size_t{8} << 20;
  // The most carried from one file, all blocks together.
  static constexpr size_t kMaxTotalBytes = size_t{32} << 20;

  // Adds `chunk` at `place` when it fits the limits; otherwise notes it as left out. Returns
  // true when it was added.
  bool AddChunk(PngChunk chunk, ChunkPlace place);

  // True when a block of `bytes` more would still fit the limits. A reader asks before it reads
  // a block into memory.
  bool Fits(uint64_t bytes) const;

  // Notes a block of the source that the PNG will not hold, in a few English words
  // ("chunk 'prVT' is not safe to copy"). Repeats of one note are kept once.
  void LeftOut(const std::string& what);

  const std::vector<CarriedChunk>& Chunks() const { return chunks_; }
  const std::vector<std::string>& LeftOutNotes() const { return leftOut_; }

  std::optional<BackgroundColour> background;
  std::optional<SignificantBits> significantBits;

  // Everything the PNG would hold, and the notes, gone: for a conversion asked to leave the
  // metadata out, which then lacks nothing it was asked to keep.
  void Clear();

  // The notes joined by "; ", empty when nothing was left out.
  std::string LeftOutText() const;

 private:
  std::vector<CarriedChunk> chunks_;
  std::vector<std::string> leftOut_;
  size_t bytes_ = 0;
};

namespace metadata {

// The keyword of the iTXt chunk that holds an XMP packet.
inline constexpr char kXmpKeyword[] = "XML:com.adobe.xmp";

// A tEXt chunk of `keyword` and `latin1` text.
PngChunk MakeText(const std::string& keyword, const std::string& latin1);

// An uncompressed iTXt chunk of `keyword`, no language, and `utf8` text.
PngChunk MakeInternationalText(const std::string& keyword, const std::string& utf8);

// The chunk for a comment of unknown encoding (a JPEG COM segment): trailing NUL bytes are
// dropped; tEXt "Comment" when the bytes are plain ASCII, or are not UTF-8 and so taken as
// Latin-1; iTXt "Comment" when they are UTF-8 beyond ASCII.
PngChunk CommentChunk(const uint8_t* data, size_t size);

// Adds an eXIf chunk of `tiff`, an EXIF block without its "Exif" header, before IDAT. With
// `turnedUpright`, for pixels turned upright by the block's Orientation, the copy's Orientation
// says upright.
void AddExif(std::vector<uint8_t> tiff, bool turnedUpright, ImageMetadata& out);

// Adds the XMP `packet` as an uncompressed iTXt of keyword kXmpKeyword, as readers look for it.
void AddXmp(const std::string& packet, ImageMetadata& out);

// True when `bytes` are well-formed UTF-8.
bool IsUtf8(const uint8_t* bytes, size_t size);

}  // namespace metadata
