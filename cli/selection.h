// Which files a morvane-cli run takes, and where below the output folder
// each one goes: the path lists of --files-from, the parts of --shard and
// the folders of --keep-tree.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"

namespace cli {

// The largest list --files-from reads (a file or standard input).
inline constexpr size_t kMaxListBytes = size_t{256} << 20;

// The paths of a list: one a line (a CR before the line end is dropped) or,
// with `nulSeparated`, one before each NUL. UTF-8; a byte order mark at the
// start is skipped; empty entries are skipped; nothing else is trimmed.
std::vector<std::wstring> SplitPathList(const std::string& bytes, bool nulSeparated);

// A path folded the way parts compare names: "/" between names, "." and
// ".." resolved on the text, a rename counter " (N)" taken off the last
// name, letters folded to lower case by a fixed table (on every platform,
// so that Windows and Linux agree; on Windows also by the system's own
// table first, so that two names the file system takes as one fold alike).
// Names that could end in one file, or meet through rename numbers, fold
// alike.
std::wstring ShardKey(const std::wstring& path);

// The key by which a row is assigned to a part, never the spelling of its
// paths: two names of one folder (a link, a bind mount, a junction, a short
// name) give one key, and so does every machine that reaches the tree, at
// whatever path it is mounted.
//   - A PNG written into the run's output folder: its path below that
//     folder (`subfolder` and `pngName`), through ShardKey. Every row of the
//     run writes below that one folder, so the folder itself is left out.
//   - A PNG written beside its source: "#" and the file number of the
//     folder it is written into (inode; file index on Windows) in hex, then
//     "/" and ShardKey(pngName). The device is left out: it differs between
//     machines that share one tree. Two folders of different devices with
//     one number share a key, which only puts their rows in one part.
// `folderNumber` is empty for a PNG in the output folder.
std::wstring PartKey(const std::optional<std::uint64_t>& folderNumber,
                     const std::wstring& subfolder, const std::wstring& pngName);

// FNV-1a, 64 bits, over the UTF-8 bytes of `text`.
uint64_t Fnv1a64(const std::wstring& text);

// The part (1 to `count`) of the row whose PartKey is `shardKey`:
// 1 + floor(Fnv1a64(shardKey) * count / 2^64). The product's high half is
// taken rather than the hash modulo `count`: FNV-1a's low bits depend only
// on the low bits of each byte, so names such as "a.png", "e.png", "i.png"
// would all fall into one part of a power of two.
// REQUIRES: 1 <= count <= kMaxShardCount.
int PartOf(const std::wstring& shardKey, int count);

// True when PartOf(shardKey, shard.count) is shard.part.
bool InShard(const Shard& shard, const std::wstring& shardKey);

// The last folder name of `folder` after "." and ".." are resolved on the
// text alone ("a/b/.." -> "a", "photos/" -> "photos"); empty for a root or
// when nothing is left, so that it never leads out of the output folder.
std::wstring TreeName(const std::wstring& folder);

// The subfolder below the output folder of a file found at `below` (the
// path below the given folder, e.g. "sub/x.jpg") in a folder named
// `treeName`: "treeName/sub", "treeName" for a file at the top, "sub" when
// treeName is empty.
std::wstring TreeSubfolder(const std::wstring& treeName, const std::wstring& below);

}  // namespace cli
