// The settings file's compressed block on a kiv::File.
//
// Threads: the stream's (see base/file.h).
#pragma once

#include <cstdint>
#include <vector>

#include "base/file.h"

namespace kiv {

// Largest inflated block ReadCompressed accepts (64 MiB); a settings tree is a
// few kilobytes.
constexpr std::uint32_t kMaxCompressedBlock = 64u << 20;

// Writes the block: the length N as uint32 (little endian); when N > 0, the
// zlib-compressed length Z as uint32 and the Z bytes of the zlib stream
// (default level). True when the compression succeeded and every byte was
// written.
// REQUIRES: `bytes` points at `length` readable bytes (may be null when
// `length` is 0).
bool WriteCompressed(File& stream, const void* bytes, std::uint32_t length);

// Reads one block written by WriteCompressed and replaces `out` with the
// inflated bytes. Returns true with the N bytes, or true with `out` empty for
// a block with N = 0. Returns false with `out` empty when the block is
// damaged: cut short, longer than the data that remains, larger than
// kMaxCompressedBlock, or not inflating to exactly N bytes. Never allocates
// more than the remaining data can account for.
bool ReadCompressed(File& stream, std::vector<std::uint8_t>& out);

}  // namespace kiv
