// Pieces of whole rows, each filtered and compressed on its own, joined in order.
#include "image/png/png_pieces.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "image/png/deflate_join.h"
#include "image/pending_rows.h"
#include "image/png/piece_runner.h"
#include "image/png/png_chunk_writer.h"
#include "image/png/png_deflate.h"
#include "image/png/png_scanlines.h"

namespace {

// Consecutive rows of the image, possibly across the end of an interlace pass.
struct Piece {
  int pass = 0;
  uint32_t row = 0;
  uint64_t rows = 0;
  uint64_t bytes = 0;  // filtered
};

// Pieces of about pieceBytes, and of a quarter of that over the last kTaperPieces * pieceBytes of
// the data, so that the threads working on the end of an image run out of work at nearly the
// same time instead of one waiting for another's last full piece.
constexpr uint64_t kTaperPieces = 2;

std::vector<Piece> CutPieces(const PngScanlines& rows, uint64_t pieceBytes) {
  std::vector<Piece> pieces;
  Piece current;
  uint64_t left = rows.FilteredBytes();  // from the start of the current piece on
  for (int pass = 0; pass < rows.Passes(); ++pass) {
    const uint64_t rowBytes = rows.layout().RowBytes(rows.PassWidth(pass)) + 1;
    for (uint32_t y = 0; y < rows.PassHeight(pass); ++y) {
      const uint64_t size = left / kTaperPieces > pieceBytes ? pieceBytes : (pieceBytes + 3) / 4;
      if (current.rows > 0 && current.bytes + rowBytes > size) {
        left -= current.bytes;
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
  uint64_t filteredBytes = 0;  // what `data` holds compressed
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
  result.filteredBytes = piece.bytes;
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

// Writes the pieces' results in order as they come in, from whichever thread completes the next
// one, and combines their Adler-32s. A piece may start only while it lies less than
// kPiecesAhead pieces beyond the first one not yet written, so the results held wait for at most
// that many pieces whatever the image's size. Pieces are handed out in order, so the first one
// not written is always running or done and a waiting piece never waits for itself.
class InOrderJoin {
 public:
  static constexpr size_t kPiecesAhead = PngCompression::kPiecesAhead;

  InOrderJoin(IdatWriter& idat, size_t pieces) : idat_(idat), results_(pieces) {}

  // Waits until piece `at` may start. Returns false when the image has failed.
  bool WaitForRoom(size_t at) {
    std::unique_lock<std::mutex> hold(mutex_);
    room_.wait(hold, [&] { return failed_ || at < next_ + kPiecesAhead; });
    return !failed_;
  }

  // Piece `at` is done: writes it and every later one done, unless another thread is writing (it
  // writes them then).
  void Done(size_t at, PieceResult result) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (!result.ok) {
      FailLocked();
      return;
    }
    results_[at] = std::move(result);
    if (writing_) {
      return;
    }
    writing_ = true;
    while (!failed_ && next_ < results_.size() && results_[next_].ok) {
      PieceResult ready = std::move(results_[next_]);
      results_[next_] = PieceResult();
      hold.unlock();
      const bool written = idat_.Add(ready.data.data(), ready.data.size());
      adler_ = deflate_join::CombineAdler32(adler_, ready.adler, ready.filteredBytes);
      ready = PieceResult();  // its memory goes before the lock is taken again
      hold.lock();
      if (!written) {
        FailLocked();
        break;
      }
      ++next_;
      room_.notify_all();
    }
    writing_ = false;
  }

  void Fail() {
    std::lock_guard<std::mutex> hold(mutex_);
    FailLocked();
  }

  // After every piece has run: writes the stream's trailer. Returns false when a piece failed.
  bool Finish() {
    if (failed_ || next_ != results_.size()) {
      return false;
    }
    const uint8_t trailer[4] = {static_cast<uint8_t>(adler_ >> 24),
                                static_cast<uint8_t>(adler_ >> 16),
                                static_cast<uint8_t>(adler_ >> 8), static_cast<uint8_t>(adler_)};
    return idat_.Add(trailer, sizeof trailer);
  }

 private:
  void FailLocked() {
    failed_ = true;
    room_.notify_all();
  }

  IdatWriter& idat_;
  std::mutex mutex_;
  std::condition_variable room_;
  std::vector<PieceResult> results_;  // by piece; ok while done and not yet written
  size_t next_ = 0;                   // the first piece not yet written
  bool writing_ = false;              // a thread is writing; only it touches adler_ and idat_
  bool failed_ = false;
  uint32_t adler_ = 1;
};

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
  // With rows pending, their decoding is the first task, handed out before any piece; each
  // piece then waits for its rows. Without spare cores the tasks run in order, so the rows are
  // all decoded before the first piece.
  PendingRows* pending = compression.pending;
  const size_t first = pending != nullptr ? 1 : 0;
  InOrderJoin join(idat, pieces.size());
  runner.Run(first + pieces.size(), [&](size_t task, unsigned lane) {
    if (task < first) {
      if (!pending->Produce()) {
        join.Fail();
      }
      return;
    }
    const size_t at = task - first;
    const Piece& piece = pieces[at];
    if (lane >= lanes.size() || !join.WaitForRoom(at) ||
        (pending != nullptr &&
         !pending->WaitForRows(static_cast<uint32_t>(piece.row + piece.rows)))) {
      join.Fail();
      return;
    }
    PieceResult result;
    try {
      RunPiece(rows, compression, piece, at + 1 == pieces.size(), largestPiece, lanes[lane],
               result);
    } catch (const std::bad_alloc&) {
      result = PieceResult();
    }
    join.Done(at, std::move(result));
  });
  return join.Finish();
}
