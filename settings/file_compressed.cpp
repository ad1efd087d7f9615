// The settings file's compressed block on a kiv::File: a length, then a zlib
// stream and its length.
#include "settings/file_compressed.h"

#include <zlib.h>

#include <vector>

#include "settings/little_endian.h"

namespace kiv {
namespace {

// Deflate cannot shrink data by more than about 1032 to 1; a block claiming
// more is damaged, and refusing it keeps the allocation proportional to the
// bytes the file really holds.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kInflateSlack = 64;

}  // namespace

bool WriteCompressed(File& stream, const void* bytes, std::uint32_t length) {
  if (!le::WriteU32(stream, length)) {
    return false;
  }
  if (length == 0) {
    return true;
  }
  uLongf packed_length = compressBound(length);
  std::vector<Bytef> packed(packed_length);
  if (compress2(packed.data(), &packed_length, static_cast<const Bytef*>(bytes), length,
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return false;
  }
  const auto z = static_cast<std::uint32_t>(packed_length);
  return le::WriteU32(stream, z) && stream.Write(z, packed.data()) == z;
}

bool ReadCompressed(File& stream, std::vector<std::uint8_t>& out) {
  out.clear();
  std::uint32_t n = 0;
  if (!le::ReadU32(stream, &n)) {
    return false;
  }
  if (n == 0) {
    return true;
  }
  std::uint32_t z = 0;
  if (!le::ReadU32(stream, &z) || z == 0 || z > stream.Remaining() || n > kMaxCompressedBlock ||
      n > z * kMaxInflateRatio + kInflateSlack) {
    return false;
  }
  std::vector<Bytef> packed(z);
  if (stream.Read(z, packed.data()) != z) {
    return false;
  }
  out.resize(n);
  uLongf inflated = n;
  if (uncompress(out.data(), &inflated, packed.data(), z) != Z_OK || inflated != n) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace kiv
