// Which files a morvane-cli run takes, and where below the output folder
// each one goes: the path lists of --files-from, the parts of --shard and
// the folders of --keep-tree.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>
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

// The text by which a row is assigned to a part: its output path (full, as
// registration fixes it) as the run compares names, before any rename
// number: "/" between names, "." and ".." resolved on the text, a rename
// counter " (N)" taken off the name, letters folded to lower case (on every
// platform, so that Windows and Linux agree). Rows that could end in one
// file, or meet through rename numbers, have one key and so fall in one
// part.
std::wstring ShardKey(const std::wstring& outputPath);

// FNV-1a, 64 bits, over the UTF-8 bytes of `text`.
uint64_t Fnv1a64(const std::wstring& text);

// The part (1 to `count`) of the row whose ShardKey is `shardKey`:
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
