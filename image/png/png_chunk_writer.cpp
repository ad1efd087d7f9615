// The PNG byte structure: signature, chunks with their CRC, and the IDAT chunking.
#include "image/png/png_chunk_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

#include "base/file.h"
#include "image/byte_order.h"

namespace {

constexpr size_t kOutputBufferBytes = 256 * 1024;
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

PngChunkWriter::PngChunkWriter(kiv::File& stream) : stream_(stream) {
  buffer_.reserve(kOutputBufferBytes);
}

bool PngChunkWriter::Signature() {
  return Append(kSignature, sizeof kSignature);
}

bool PngChunkWriter::Chunk(const char* type, const uint8_t* data, size_t length) {
  uint8_t head[8];
  PutBe32(head, static_cast<uint32_t>(length));
  std::memcpy(head + 4, type, 4);
  // The CRC covers the type and the data, not the length.
  uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  if (length > 0) {
    crc = libdeflate_crc32(crc, data, length);
  }
  uint8_t tail[4];
  PutBe32(tail, crc);
  if (record_ != nullptr && (type[0] & 0x20) != 0 && std::memcmp(type, "tRNS", 4) != 0 &&
      std::memcmp(type, "fdAT", 4) != 0) {
    PngChunk chunk;
    std::memcpy(chunk.type.data(), type, 4);
    chunk.data.assign(data, data + length);
    record_->push_back(std::move(chunk));
  }
  return Append(head, sizeof head) && (length == 0 || Append(data, length)) &&
         Append(tail, sizeof tail);
}

bool PngChunkWriter::Finish() {
  return Drain();
}

bool PngChunkWriter::Append(const uint8_t* data, size_t length) {
  if (!ok_) {
    return false;
  }
  if (buffer_.size() + length > kOutputBufferBytes && !Drain()) {
    return false;
  }
  if (length >= kOutputBufferBytes) {
    return WriteAll(data, length);
  }
  buffer_.insert(buffer_.end(), data, data + length);
  return true;
}

bool PngChunkWriter::Drain() {
  const bool whole = WriteAll(buffer_.data(), buffer_.size());
  buffer_.clear();
  return whole;
}

bool PngChunkWriter::WriteAll(const uint8_t* data, size_t length) {
  while (ok_ && length > 0) {
    const auto piece = static_cast<uint32_t>(std::min<size_t>(length, size_t{1} << 30));
    ok_ = stream_.Write(piece, data) == piece;
    data += piece;
    length -= piece;
  }
  return ok_;
}

bool IdatWriter::Add(const uint8_t* data, size_t length) {
  if (!pending_.empty()) {
    const size_t take = std::min(length, kIdatChunkBytes - pending_.size());
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    length -= take;
    if (pending_.size() < kIdatChunkBytes) {
      return chunks_.ok();
    }
    if (!Write(pending_.data(), pending_.size())) {
      return false;
    }
    pending_.clear();
  }
  // Whole chunks go straight from the caller's bytes.
  for (; length >= kIdatChunkBytes; data += kIdatChunkBytes, length -= kIdatChunkBytes) {
    if (!Write(data, kIdatChunkBytes)) {
      return false;
    }
  }
  pending_.assign(data, data + length);
  return chunks_.ok();
}

bool IdatWriter::Finish() {
  if (!pending_.empty() && !Write(pending_.data(), pending_.size())) {
    return false;
  }
  pending_.clear();
  return chunks_.ok();
}

bool IdatWriter::Write(const uint8_t* data, size_t length) {
  if (sequence_ == nullptr) {
    return chunks_.Chunk("IDAT", data, length);
  }
  frameData_.resize(4);
  PutBe32(frameData_.data(), (*sequence_)++);
  frameData_.insert(frameData_.end(), data, data + length);
  return chunks_.Chunk("fdAT", frameData_.data(), frameData_.size());
}
