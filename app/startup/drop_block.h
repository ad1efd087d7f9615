// The dropped-files block: the byte layout in which the shell hands dropped
// paths to a window (a DROPFILES record followed by the paths), made and read
// here without the platform so that start-up and the single-instance hand-off
// can build it and check it.
//
// Layout (integers 32-bit little-endian): offset of the path list (20), drop
// point x and y (0), non-client flag (0), wide flag (1); then from offset 20
// each path's UTF-16 code units followed by a 0 unit, and one more 0 unit that
// ends the list.
//
// Portable: no platform headers. Any thread may call these functions.
#ifndef MORVANE_APP_STARTUP_DROP_BLOCK_H
#define MORVANE_APP_STARTUP_DROP_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// Offset of the path list in a block made by PackDropBlock: the size of the
// DROPFILES record.
constexpr std::uint32_t kDropBlockHeaderBytes = 20;

// Largest block ReadDropBlock accepts. A block comes from another process, so
// its size is checked before anything is copied out of it.
constexpr std::size_t kMaxDropBlockBytes = 16u * 1024u * 1024u;

// Packs paths into a dropped-files block.
//
// Empty paths are left out: in the block an empty path would read as the end
// of the list and hide every path after it. Returns the block's bytes, or an
// empty vector when no path is left to pack (no block is made then). With n
// packed paths of lengths L1..Ln (in UTF-16 code units) the block holds
// 22 + sum(2 * Li + 2) bytes.
std::vector<std::uint8_t> PackDropBlock(const std::vector<std::wstring>& paths);

// Reads the paths of a dropped-files block that arrived from elsewhere and must
// not be trusted.
//
// REQUIRES: data points to size readable bytes (data may be null when size is 0).
// Returns the paths in block order, up to the first empty one, or nothing when
// the block is malformed: smaller than its header, larger than
// kMaxDropBlockBytes, a path-list offset outside the block or before the end of
// the header, a wide flag of 0 (paths in a narrow code page), or a path or the
// list not terminated inside the block.
std::optional<std::vector<std::wstring>> ReadDropBlock(const std::uint8_t* data, std::size_t size);

}  // namespace morvane

#endif  // MORVANE_APP_STARTUP_DROP_BLOCK_H
