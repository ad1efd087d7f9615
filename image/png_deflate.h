// CompressPngImageData: filters the rows of an image and compresses them as the one zlib stream
// of its IDAT chunks.
//
// Up to a bound of filtered data (kWholeBufferBytes by default) the filtered rows are gathered
// in one buffer and compressed by libdeflate in one call: the fastest way, at the cost of the
// filtered data and the compressed output in memory at once. Past the bound, or when those
// buffers cannot be had, the rows go through zlib's streaming deflate one at a time, so that
// the memory used no longer grows with the image. Both give a valid stream of the same data;
// the bytes differ.
//
// Levels: 0 stores the data uncompressed (stored deflate blocks), 1 is the fastest, 9 the
// smallest output; libdeflate and zlib are each asked for the same level.
//
// Threads: any thread; calls share nothing.
#pragma once

#include <cstdint>

#include "image/png_filter.h"

class IdatWriter;
class PngScanlines;

struct PngCompression {
  // Filtered data up to this size is compressed in one piece by libdeflate.
  static constexpr uint64_t kWholeBufferBytes = uint64_t{256} << 20;

  int level = 6;  // 0..9
  PngRowFilter::Mode filter = PngRowFilter::Mode::kAdaptive;
  uint64_t wholeBufferBytes = kWholeBufferBytes;
};

// Writes the compressed rows of every pass of `rows` to `idat` (the caller finishes `idat`).
// Returns false when memory for the row buffers or the compressor ran out or a write failed.
// REQUIRES: 0 <= compression.level <= 9.
bool CompressPngImageData(const PngScanlines& rows, const PngCompression& compression,
                          IdatWriter& idat);
