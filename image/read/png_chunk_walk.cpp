#include "image/read/png_chunk_walk.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/file.h"
#include "image/byte_order.h"
#include "image/read/image_readers.h"

namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool PngChunkHeader::Is(const char* name) const {
  return std::memcmp(type.data(), name, 4) == 0;
}

PngChunkWalker::PngChunkWalker(kiv::File& stream) : stream_(stream) {}

bool PngChunkWalker::Next(PngChunkHeader& header) {
  const uint64_t size = stream_.size();
  if (ended_ || next_ > size || size - next_ < 12) {
    return false;
  }
  image_readers::SeekTo(stream_, next_);
  uint8_t bytes[8];
  if (stream_.Read(sizeof bytes, bytes) != sizeof bytes) {
    return false;
  }
  header.length = Be32(bytes);
  std::memcpy(header.type.data(), bytes + 4, 4);
  header.offset = next_ + 8;
  if (header.length > kMaxChunkLength ||
      !std::all_of(header.type.begin(), header.type.end(), IsLetter) ||
      size - header.offset - 4 < header.length) {
    ended_ = true;
    return false;
  }
  next_ = header.offset + header.length + 4;
  ended_ = header.Is("IEND");
  return true;
}

bool PngChunkWalker::ReadData(const PngChunkHeader& header, std::vector<uint8_t>& data) {
  data.assign(header.length, 0);
  uint8_t crc[4];
  image_readers::SeekTo(stream_, header.offset);
  if (stream_.Read(header.length, data.data()) != header.length ||
      stream_.Read(sizeof crc, crc) != sizeof crc) {
    data.clear();
    return false;
  }
  uLong sum = crc32(0, reinterpret_cast<const Bytef*>(header.type.data()), 4);
  // A chunk is at most 2^31 - 1 bytes, within what zlib's length type holds. An empty chunk adds
  // nothing: zlib takes a null buffer (an empty vector's data) as asking for the initial value.
  if (!data.empty()) {
    sum = crc32(sum, data.data(), static_cast<uInt>(data.size()));
  }
  if (sum != Be32(crc)) {
    data.clear();
    return false;
  }
  return true;
}
