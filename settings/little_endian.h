// Little-endian integer fields on a kiv::File, shared by the settings tree's
// encoding and the settings file. Internal to settings/.
//
// Each read returns true only when all four bytes were there; on false the
// value is left as it was. Each write returns true when all four bytes were
// written. Thread: the stream's.
#pragma once

#include <cstdint>

#include "base/file.h"

namespace kiv {
namespace le {

inline bool WriteU32(File& stream, std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return stream.Write(4, bytes) == 4;
}

inline bool WriteI32(File& stream, std::int32_t value) {
  return WriteU32(stream, static_cast<std::uint32_t>(value));
}

inline bool ReadU32(File& stream, std::uint32_t* value) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  if (stream.Read(4, bytes) != 4) {
    return false;
  }
  *value = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
  return true;
}

inline bool ReadI32(File& stream, std::int32_t* value) {
  std::uint32_t raw = 0;
  if (!ReadU32(stream, &raw)) {
    return false;
  }
  *value = static_cast<std::int32_t>(raw);
  return true;
}

}  // namespace le
}  // namespace kiv
