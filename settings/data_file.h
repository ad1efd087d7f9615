// The settings file: one settings tree behind a small header, the tree's
// serialised bytes compressed with zlib.
//
//   int32  root tag (the program writes 2)
//   uint32 N, the serialised tree's length
//   uint32 Z and Z bytes of zlib stream, present only when N > 0
//
// All integers are little endian. Names and strings are UTF-16LE code units
// on every platform. The functions run on the calling thread (the window
// thread in the program) and never throw.
#pragma once

#include <cstdint>
#include <string>

#include "settings/data_node.h"

namespace kiv {

// Saves `root` to `path` through a temporary file that replaces the old file
// only when it is complete, so a failed save keeps the previous file.
// A file at `path` that the user made read-only is left as it is, attribute
// and contents (a way to freeze the settings): the save then returns false.
// Returns true when the new file is in place; false when the folder cannot
// be written, a write fails or the compression fails.
bool SaveDataFile(const DataNode& root, const std::wstring& path);

// Loads `path` into `root`: the root's tag from the header, then the values
// and children of the stored tree (added to what `root` holds). Returns
// false, leaving `root` as it was, when the file cannot be opened; otherwise
// true. A damaged compressed block loads as an empty tree; a damaged tree
// loads as far as it is sound.
bool LoadDataFile(const std::wstring& path, DataNode& root);

// The file's first four bytes as a signed integer, or 0 when the file cannot
// be opened or is shorter than four bytes. Callers load only when it is 2 or
// more.
std::int32_t ReadDataFileType(const std::wstring& path);

// The settings file's path for the running program: the executable's path
// with the extension ".dat".
std::wstring DefaultDataFilePath();

}  // namespace kiv
