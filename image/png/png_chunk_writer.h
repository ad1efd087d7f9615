// PngChunkWriter: writes the byte structure of a PNG file to a stream: the signature, then
// chunks, each as its length, type, data and CRC. Output is gathered in a buffer and handed to
// the stream in large writes; every write is checked, and after the first one that falls short
// every later call does nothing and returns false.
//
// IdatWriter sits on top of it and cuts a zlib stream that arrives in pieces of any size into
// IDAT chunks of at most kIdatChunkBytes bytes, or, for a later frame of an animated PNG, into
// fdAT chunks, each starting with the animation's next sequence number.
//
// Threads: an object belongs to one thread; any number may exist at once.
// Ownership: both borrow what they write to; it must outlive them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/png/png_chunk.h"

namespace kiv {
class File;
}

class PngChunkWriter {
 public:
  // The largest data a chunk may hold: the length field is a 31-bit number.
  static constexpr uint64_t kMaxChunkData = 0x7FFFFFFF;

  explicit PngChunkWriter(kiv::File& stream);
  PngChunkWriter(const PngChunkWriter&) = delete;
  PngChunkWriter& operator=(const PngChunkWriter&) = delete;

  // Writes the eight-byte PNG signature.
  bool Signature();

  // Writes one chunk of `length` bytes of `data`.
  // REQUIRES: `type` points at four bytes; length <= kMaxChunkData.
  bool Chunk(const char* type, const uint8_t* data, size_t length);

  // Hands everything still buffered to the stream. True when every write so far was whole.
  bool Finish();

  bool ok() const { return ok_; }

  // From now on, every ancillary chunk written goes to `into` too (type and data), except tRNS,
  // which belongs to the pixels, and fdAT, an animation frame's image data: the chunks a
  // read-back of the file expects (png_read_back.h). Null stops recording. Not owned.
  void RecordAncillary(std::vector<PngChunk>* into) { record_ = into; }

 private:
  bool Append(const uint8_t* data, size_t length);
  bool Drain();
  bool WriteAll(const uint8_t* data, size_t length);

  kiv::File& stream_;
  std::vector<uint8_t> buffer_;
  bool ok_ = true;
  std::vector<PngChunk>* record_ = nullptr;
};

class IdatWriter {
 public:
  static constexpr size_t kIdatChunkBytes = 64 * 1024;

  explicit IdatWriter(PngChunkWriter& chunks) : chunks_(chunks) {}
  // Writes fdAT chunks numbered from *sequence on, which it advances (not owned); IDAT chunks
  // when `sequence` is null.
  IdatWriter(PngChunkWriter& chunks, uint32_t* sequence) : chunks_(chunks), sequence_(sequence) {}
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;

  // Adds bytes of the zlib stream; full chunks are written as they fill.
  bool Add(const uint8_t* data, size_t length);

  // Writes the last, partly filled chunk. Returns false when any chunk could not be written.
  bool Finish();

 private:
  bool Write(const uint8_t* data, size_t length);

  PngChunkWriter& chunks_;
  uint32_t* sequence_ = nullptr;    // fdAT when set
  std::vector<uint8_t> pending_;    // less than one chunk
  std::vector<uint8_t> frameData_;  // an fdAT chunk's data being put together
};
