// The image data of a PNG compressed in pieces and joined into one zlib stream (see
// png_deflate.h). Internal to the PNG writer.
//
// Threads: any thread; the PieceRunner may use other threads for one call.
#pragma once

#include <libdeflate.h>

#include <memory>

class IdatWriter;
class PngScanlines;
struct PngCompression;

struct FreeCompressor {
  void operator()(libdeflate_compressor* compressor) const {
    libdeflate_free_compressor(compressor);
  }
};
using CompressorPtr = std::unique_ptr<libdeflate_compressor, FreeCompressor>;

// Filters and compresses the rows of `rows` piece by piece with the row filter
// compression.filter and writes the joined zlib stream to `idat`. Returns false when memory ran
// out or a write failed.
// REQUIRES: as CompressPngImageData.
bool CompressPngPieces(const PngScanlines& rows, const PngCompression& compression,
                       IdatWriter& idat);
