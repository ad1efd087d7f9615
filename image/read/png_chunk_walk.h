// PngChunkWalker: walks the chunks of a PNG file one by one, by their headers, reading a chunk's
// data only when asked. The libpng reader decodes the pixels; this finds what it leaves aside
// (the metadata chunks, an animation's frames).
//
// Every length is checked against the stream's end before anything is read or allocated for it.
//
// Threads: an object belongs to one thread; any number may exist at once on distinct streams.
// Ownership: borrows the stream, which must outlive it. The walker moves the stream's position.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace kiv {
class File;
}

struct PngChunkHeader {
  std::array<char, 4> type{};
  uint32_t length = 0;  // of its data
  uint64_t offset = 0;  // of its data, from the stream's start

  bool Is(const char* name) const;
  // The first letter upper-case: a decoder must know the chunk.
  bool Critical() const { return (type[0] & 0x20) == 0; }
  // The fourth letter lower-case: an editor may copy it, unknown, into a changed file.
  bool SafeToCopy() const { return (type[3] & 0x20) != 0; }
};

class PngChunkWalker {
 public:
  // The longest data a chunk may declare.
  static constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;

  // REQUIRES: the stream holds a PNG file from its start (its signature is not checked here).
  explicit PngChunkWalker(kiv::File& stream);
  PngChunkWalker(const PngChunkWalker&) = delete;
  PngChunkWalker& operator=(const PngChunkWalker&) = delete;

  // The next chunk's header. False at the file's end, after IEND, or at a header that is not one
  // (a type of other than letters, a length past kMaxChunkLength or past the file's end).
  bool Next(PngChunkHeader& header);

  // Reads the data of `header` (the chunk Next returned last, or any earlier one) into `data`.
  // False, `data` then empty, when the file ends early or the chunk's CRC does not match.
  bool ReadData(const PngChunkHeader& header, std::vector<uint8_t>& data);

 private:
  kiv::File& stream_;
  uint64_t next_ = 8;  // where the next header starts
  bool ended_ = false;
};
