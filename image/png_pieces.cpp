// Pieces of whole rows, each filtered and compressed on its own, joined in order.
#include "image/png_pieces.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "image/deflate_join.h"
#include "image/piece_runner.h"
#include "image/png_chunk_writer.h"
#include "image/png_deflate.h"
#include "image/png_scanlines.h"

namespace {

// Consecutive rows of the image, possibly across the end of an interlace pass.
struct Piece {
  int pass = 0;
  uint32_t row = 0;
  uint64_t rows = 0;
  uint64_t bytes = 0;  // filtered
};

std::vector<Piece> CutPieces(const PngScanlines& rows, uint64_t pieceBytes) {
  std::vector<Piece> pieces;
  Piece current;
  for (int pass = 0; pass < rows.Passes(); ++pass) {
    const uint64_t rowBytes = rows.layout().RowBytes(rows.PassWidth(pass)) + 1;
    for (uint32_t y = 0; y < rows.PassHeight(pass); ++y) {
      if (current.rows > 0 && current.bytes + rowBytes > pieceBytes) {
        pieces.push_back(current);
        current = Piece();
      }
      if (current.rows == 0) {
        current.pass = pass;
        current.row = y;
      }
      ++current.rows;
      current.bytes += rowBytes;
    }
  }
  if (current.rows > 0) {
    pieces.push_back(current);
  }
  return pieces;
}

struct FreeBytes {
  void operator()(uint8_t* bytes) const { std::free(bytes); }
};
using Bytes = std::unique_ptr<uint8_t, FreeBytes>;

// What one thread keeps from piece to piece: its compressor, row filter and buffers.
struct Lane {
  CompressorPtr compressor;
  std::unique_ptr<PngRowFilter> filter;
  Bytes filtered;
  Bytes compressed;
  size_t compressedCapacity = 0;
};

struct PieceResult {
  std::vector<uint8_t> data;  // raw deflate, joinable unless it is the last piece
  uint32_t adler = 1;
  bool ok = false;
};

bool PrepareLane(Lane& lane, const PngScanlines& rows, const PngCompression& compression,
                 uint64_t largestPiece) {
  if (lane.compressor) {
    return true;
  }
  lane.compressor.reset(libdeflate_alloc_compressor(LibdeflateLevel(compression.level)));
  lane.filter = std::make_unique<PngRowFilter>(compression.filter, rows.MaxRowBytes(),
                                               rows.layout().FilterDistance());
  if (!lane.compressor || largestPiece > SIZE_MAX / 2) {
    return false;
  }
  const size_t bytes = static_cast<size_t>(largestPiece);
  lane.compressedCapacity = libdeflate_deflate_compress_bound(lane.compressor.get(), bytes);
  lane.filtered.reset(static_cast<uint8_t*>(std::malloc(bytes)));
  lane.compressed.reset(
      static_cast<uint8_t*>(std::malloc(lane.compressedCapacity + deflate_join::kMaxAddedBytes)));
  if (!lane.filtered || !lane.compressed) {
    lane.compressor.reset();
    return false;
  }
  return true;
}

// Filters the rows of `piece` into the lane's buffer.
void FilterPiece(const PngScanlines& rows, const Piece& piece, PngRowFilter& filter, uint8_t* out) {
  int pass = piece.pass;
  uint32_t y = piece.row;
  if (y > 0 && filter.Above() != nullptr) {
    rows.Row(pass, y - 1, filter.Above());
  }
  for (uint64_t done = 0; done < piece.rows; ++done) {
    while (y >= rows.PassHeight(pass)) {
      ++pass;
      y = 0;
    }
    if (y == 0) {
      filter.StartPass();
    }
    const size_t rowBytes = static_cast<size_t>(rows.layout().RowBytes(rows.PassWidth(pass)));
    rows.Row(pass, y, filter.Raw());
    filter.Filter(rowBytes, out);
    out += rowBytes + 1;
    ++y;
  }
}

void RunPiece(const PngScanlines& rows, const PngCompression& compression, const Piece& piece,
              bool last, uint64_t largestPiece, Lane& lane, PieceResult& result) {
  if (!PrepareLane(lane, rows, compression, largestPiece)) {
    return;
  }
  FilterPiece(rows, piece, *lane.filter, lane.filtered.get());
  const size_t bytes = static_cast<size_t>(piece.bytes);
  size_t size = libdeflate_deflate_compress(lane.compressor.get(), lane.filtered.get(), bytes,
                                            lane.compressed.get(), lane.compressedCapacity);
  if (size > 0 && !last) {
    size = deflate_join::MakeJoinable(lane.compressed.get(), size);
  }
  if (size == 0) {
    return;
  }
  result.adler = libdeflate_adler32(1, lane.filtered.get(), bytes);
  result.data.assign(lane.compressed.get(), lane.compressed.get() + size);
  result.ok = true;
}

// The two bytes that open a zlib stream: deflate with a 32 KiB window and the level's class, as
// libdeflate writes them.
void ZlibHeader(int libdeflateLevel, uint8_t header[2]) {
  const unsigned levelClass = libdeflateLevel < 2    ? 0
                              : libdeflateLevel < 6  ? 1
                              : libdeflateLevel == 6 ? 2
                                                     : 3;
  unsigned value = 0x7800 | levelClass << 6;
  value += 31 - value % 31;
  header[0] = static_cast<uint8_t>(value >> 8);
  header[1] = static_cast<uint8_t>(value);
}

}  // namespace

bool CompressPngPieces(const PngScanlines& rows, const PngCompression& compression,
                       IdatWriter& idat) {
  const std::vector<Piece> pieces = CutPieces(rows, compression.pieceBytes);
  uint64_t largestPiece = 0;
  for (const Piece& piece : pieces) {
    largestPiece = std::max(largestPiece, piece.bytes);
  }
  SerialPieceRunner serial;
  PieceRunner& runner = compression.runner != nullptr ? *compression.runner : serial;
  std::vector<Lane> lanes(std::max(1u, runner.Lanes()));

  uint8_t header[2];
  ZlibHeader(LibdeflateLevel(compression.level), header);
  if (!idat.Add(header, sizeof header)) {
    return false;
  }
  uint32_t adler = 1;
  std::vector<PieceResult> results;
  for (size_t first = 0; first < pieces.size(); first += PngCompression::kPiecesPerBatch) {
    const size_t count = std::min(PngCompression::kPiecesPerBatch, pieces.size() - first);
    results.assign(count, PieceResult());
    runner.Run(count, [&](size_t index, unsigned lane) {
      if (lane >= lanes.size()) {
        return;  // not ok: the write fails
      }
      const size_t at = first + index;
      try {
        RunPiece(rows, compression, pieces[at], at + 1 == pieces.size(), largestPiece, lanes[lane],
                 results[index]);
      } catch (const std::bad_alloc&) {
        results[index] = PieceResult();
      }
    });
    for (size_t i = 0; i < count; ++i) {
      PieceResult& result = results[i];
      if (!result.ok || !idat.Add(result.data.data(), result.data.size())) {
        return false;
      }
      adler = deflate_join::CombineAdler32(adler, result.adler, pieces[first + i].bytes);
      result.data = std::vector<uint8_t>();
    }
  }
  const uint8_t trailer[4] = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                              static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
  return idat.Add(trailer, sizeof trailer);
}
