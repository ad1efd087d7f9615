// CompressPngImageData: filters the rows of an image and compresses them as the one zlib stream
// of its IDAT chunks.
//
// Levels: 0 stores the data uncompressed (stored deflate blocks), 1 is the fastest, 9 the
// smallest output. Levels 0 to 8 are libdeflate's levels of the same number; 9 is its level 10,
// its first near-optimal parser.
//
// Pieces. From kFirstSplitLevel on, the filtered rows are cut into pieces of whole rows of about
// pieceBytes each, and of a quarter of that over the last two pieceBytes of the data (a longer row
// is a piece of its own). Where the cuts fall depends only on the
// image's size and layout and on pieceBytes, so the output is the same whoever compresses the
// pieces and in whatever order. An image of one piece is compressed by libdeflate in one call;
// the pieces of a larger one are each filtered and compressed on their own (side by side when
// the PieceRunner has spare cores) and joined into one zlib stream with sync flushes and one
// combined Adler-32 (deflate_join.h). Each piece is written as soon as those before it are, and
// no piece starts more than kPiecesAhead pieces beyond the first one not yet written, so memory
// grows with that window, not with the image. Below
// kFirstSplitLevel, where compressing is so fast that finding each piece's end would cost too much
// beside it, up to wholeBufferBytes of filtered data is compressed by libdeflate in one call and
// a larger image goes through zlib's streaming deflate one row at a time.
//
// Threads: any thread; calls share nothing (the PieceRunner may use other threads for one call).
#pragma once

#include <cstdint>

#include "image/png/png_filter.h"

class IdatWriter;
class PendingRows;
class PieceRunner;
class PngScanlines;

struct PngCompression {
  // Filtered data below kFirstSplitLevel up to this size is compressed in one piece.
  static constexpr uint64_t kWholeBufferBytes = uint64_t{256} << 20;
  // The filtered bytes of one piece.
  static constexpr uint64_t kPieceBytes = uint64_t{4} << 20;
  static constexpr int kFirstSplitLevel = 5;
  static constexpr size_t kPiecesAhead = 16;

  int level = 6;  // 0..9
  PngRowFilter::Mode filter = PngRowFilter::Mode::kAdaptive;
  uint64_t wholeBufferBytes = kWholeBufferBytes;
  uint64_t pieceBytes = kPieceBytes;
  PieceRunner* runner = nullptr;  // null: every piece on the calling thread
  // Rows still to be decoded (image/pending_rows.h), or null. Cut into pieces, the image is
  // compressed while they are decoded, each piece once its rows are in place; otherwise they are
  // decoded first. Not owned. REQUIRES: the rows are read in order (no interlace).
  PendingRows* pending = nullptr;
};

// libdeflate's level for the writer's level 0 to 9.
int LibdeflateLevel(int level);

// Writes the compressed rows of every pass of `rows` to `idat` (the caller finishes `idat`).
// Returns false when memory for the row buffers or the compressor ran out or a write failed.
// REQUIRES: 0 <= compression.level <= 9; compression.pieceBytes > 0.
bool CompressPngImageData(const PngScanlines& rows, const PngCompression& compression,
                          IdatWriter& idat);
