// The IDAT stream: pieces joined at the stronger levels; below them libdeflate over the whole
// filtered image, and zlib's streaming deflate past the bound.
#include "image/png/png_deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "image/pending_rows.h"
#include "image/png/png_chunk_writer.h"
#include "image/png/png_pieces.h"
#include "image/png/png_scanlines.h"

namespace {

constexpr size_t kStreamOutputBytes = 64 * 1024;

struct FreeBytes {
  void operator()(uint8_t* bytes) const { std::free(bytes); }
};

// A byte buffer whose pages are only touched as they are written, so that the unused end of a
// generous output buffer costs no memory. Null when the allocation failed.
using RawBuffer = std::unique_ptr<uint8_t, FreeBytes>;

RawBuffer AllocateRaw(uint64_t bytes) {
  if (bytes == 0 || bytes > std::numeric_limits<size_t>::max()) {
    return nullptr;
  }
  return RawBuffer(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes))));
}

// Runs the filter over every row of every pass: each filtered row (filter-type byte first) is
// written where take.Next says and then handed to take.Done.
template <typename Take>
bool ForEachFilteredRow(const PngScanlines& rows, PngRowFilter& filter, Take& take) {
  for (int pass = 0; pass < rows.Passes(); ++pass) {
    const uint32_t height = rows.PassHeight(pass);
    const size_t rowBytes = static_cast<size_t>(rows.layout().RowBytes(rows.PassWidth(pass)));
    filter.StartPass();
    for (uint32_t y = 0; y < height; ++y) {
      rows.Row(pass, y, filter.Raw());
      uint8_t* out = take.Next(rowBytes + 1);
      filter.Filter(rowBytes, out);
      if (!take.Done(out, rowBytes + 1)) {
        return false;
      }
    }
  }
  return true;
}

// Gathers the filtered rows one after another in one buffer.
struct GatherRows {
  uint8_t* at;
  uint8_t* Next(size_t bytes) {
    uint8_t* row = at;
    at += bytes;
    return row;
  }
  bool Done(const uint8_t*, size_t) { return true; }
};

enum class WholeResult { kDone, kFailed, kNoBuffers };

WholeResult CompressWhole(const PngScanlines& rows, const PngCompression& compression,
                          PngRowFilter& filter, IdatWriter& idat) {
  const uint64_t filteredBytes = rows.FilteredBytes();
  CompressorPtr compressor(libdeflate_alloc_compressor(LibdeflateLevel(compression.level)));
  RawBuffer filtered = AllocateRaw(filteredBytes);
  if (!compressor || !filtered) {
    return WholeResult::kNoBuffers;
  }
  const size_t bound =
      libdeflate_zlib_compress_bound(compressor.get(), static_cast<size_t>(filteredBytes));
  RawBuffer compressed = AllocateRaw(bound);
  if (!compressed) {
    return WholeResult::kNoBuffers;
  }
  GatherRows gather{filtered.get()};
  ForEachFilteredRow(rows, filter, gather);
  const size_t compressedBytes =
      libdeflate_zlib_compress(compressor.get(), filtered.get(), static_cast<size_t>(filteredBytes),
                               compressed.get(), bound);
  filtered.reset();
  return compressedBytes > 0 && idat.Add(compressed.get(), compressedBytes) ? WholeResult::kDone
                                                                            : WholeResult::kFailed;
}

// zlib's deflate state, ended with the object.
class Deflater {
 public:
  Deflater(int level, int strategy) {
    ok_ = deflateInit2(&stream_, level, Z_DEFLATED, 15, 8, strategy) == Z_OK;
  }
  ~Deflater() {
    if (ok_) {
      deflateEnd(&stream_);
    }
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool ok() const { return ok_; }

  // Compresses `bytes` (all of the input when `finish`) and hands the output to `idat`.
  bool Push(const uint8_t* bytes, size_t length, bool finish, IdatWriter& idat) {
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = static_cast<uInt>(length);
    for (;;) {
      stream_.next_out = out_;
      stream_.avail_out = sizeof out_;
      const int result = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) {
        return false;
      }
      const size_t produced = sizeof out_ - stream_.avail_out;
      if (produced > 0 && !idat.Add(out_, produced)) {
        return false;
      }
      if (finish ? result == Z_STREAM_END : stream_.avail_out != 0) {
        return true;
      }
    }
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
  uint8_t out_[kStreamOutputBytes];
};

// Deflates each filtered row as it is made.
struct StreamRows {
  Deflater& deflater;
  IdatWriter& idat;
  uint8_t* line;
  uint8_t* Next(size_t) { return line; }
  bool Done(const uint8_t* row, size_t bytes) { return deflater.Push(row, bytes, false, idat); }
};

bool CompressStreaming(const PngScanlines& rows, const PngCompression& compression,
                       PngRowFilter& filter, IdatWriter& idat) {
  // Filtered rows are small numbers with little to match: zlib's filtered strategy leaves short
  // matches for Huffman coding, as libpng asks of it for filtered rows.
  const int strategy =
      compression.filter == PngRowFilter::Mode::kNone ? Z_DEFAULT_STRATEGY : Z_FILTERED;
  auto deflater = std::make_unique<Deflater>(compression.level, strategy);
  if (!deflater->ok()) {
    return false;
  }
  std::vector<uint8_t> line(rows.MaxRowBytes() + 1);
  StreamRows stream{*deflater, idat, line.data()};
  return ForEachFilteredRow(rows, filter, stream) && deflater->Push(nullptr, 0, true, idat);
}

}  // namespace

int LibdeflateLevel(int level) {
  // 7 and 8 are libdeflate's own, 9 its first near-optimal parser (the ones past it take two and
  // four times as long again for 1 to 2 % less). Its 9, the slowest lazy matcher, is left out: on
  // photographs it takes as long as its 10 for 0.2 % fewer bytes than its 8.
  return level <= 8 ? level : 10;
}

bool CompressPngImageData(const PngScanlines& rows, const PngCompression& compression,
                          IdatWriter& idat) {
  if (compression.level >= PngCompression::kFirstSplitLevel &&
      rows.FilteredBytes() > compression.pieceBytes) {
    return CompressPngPieces(rows, compression, idat);
  }
  if (compression.pending != nullptr && !compression.pending->Produce()) {
    return false;
  }
  PngRowFilter filter(compression.filter, rows.MaxRowBytes(), rows.layout().FilterDistance());
  if (rows.FilteredBytes() <= compression.wholeBufferBytes) {
    switch (CompressWhole(rows, compression, filter, idat)) {
      case WholeResult::kDone:
        return true;
      case WholeResult::kFailed:
        return false;
      case WholeResult::kNoBuffers:
        break;  // the streaming way needs only a row
    }
  }
  return CompressStreaming(rows, compression, filter, idat);
}
