// What identifies a file on disk, apart from how its path is spelled.
//
// Two paths name one file when the file system says so: the same device and
// inode on POSIX, the same volume serial number and file index on Windows.
// Spelling is never identity: "C:/in/a.png" and "C:\IN\A.PNG", "photos/./a.png"
// and "photos/a.png", a link and its target all reach one file. The stamp also
// carries the size and the modification time, so a caller can tell whether a
// file changed since it looked, and the time can be given to another file
// (morvane-cli --keep-time gives a PNG its source's time).
//
// Threads: every function may be called from any thread; each answer is the
// state of the disk at the moment of the call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {

struct FileStamp {
  std::uint64_t volume = 0;  // device (POSIX) or volume serial number (Windows)
  std::uint64_t index = 0;   // inode (POSIX) or file index (Windows)
  std::uint64_t size = 0;    // bytes
  // Last write: seconds since 1970-01-01 UTC (negative before) and the
  // nanoseconds within that second, 0 to 999,999,999 (Windows keeps
  // 100-nanosecond steps).
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
  // The number of names (hard links) the file has; 1 for most files.
  std::uint64_t links = 1;

  // True when both stamps name one file, whatever its contents.
  bool SameFile(const FileStamp& other) const {
    return volume == other.volume && index == other.index;
  }
  // True when both stamps name one file with the same size and write time.
  bool Unchanged(const FileStamp& other) const {
    return SameFile(other) && size == other.size && seconds == other.seconds &&
           nanoseconds == other.nanoseconds;
  }
};

// Reads the stamp of the file or folder at `path` into `stamp`. False (and
// `stamp` untouched) when nothing is there or the system will not tell. On
// Windows an entry of a named folder that is not a link is given its
// folder's volume, which is asked at most once every two seconds.
bool ReadFileStamp(const std::wstring& path, FileStamp* stamp);

// Reads at least the size and the modification time of the file at `path`
// into `stamp` (the rest may stay as it was): a cheaper look than
// ReadFileStamp where the system has one (on Windows no handle is opened,
// and under Wine no call reaches its server). False when nothing is there or
// the system will not tell.
bool ReadSizeAndTime(const std::wstring& path, FileStamp* stamp);

// The identities of several entries of one folder, read in one pass over
// the folder instead of one look per file (under Wine a look costs
// milliseconds, and a run's first claim reads the identity of every source
// in its list). `wanted` maps ComparableName of each name asked for to its
// answer: the entries found are given a stamp of which `volume`, `index`,
// `size` and the time are filled, as ReadFileStamp would give them (`links`
// stays 1: a listing does not tell); a name that is not
// there, an entry that is a link (its stamp is its target's) and one
// of a file system that keeps no file ids stay empty, for the caller to
// read one by one. On Windows an entry is also
// found by its short name. False, with nothing filled, when the folder
// cannot be listed so; always on POSIX, where a look is cheap.
bool ReadFolderIdentities(const std::wstring& folder,
                          std::unordered_map<std::wstring, std::optional<FileStamp>>& wanted);

// The stamps of `paths`, in their order: those ReadFolderIdentities answers
// from one listing of their folder, the rest from ReadFileStamp (empty for a
// file that is not there). `links` is 1 for a stamp a listing gave.
std::vector<std::optional<FileStamp>> ReadFileStamps(const std::vector<std::wstring>& paths);

// Gives the file at `path` the modification time of `stamp` (the rest of the
// stamp is not used; the access time becomes the same). True on success.
bool SetModificationTime(const std::wstring& path, const FileStamp& stamp);

// `name` as the file system compares names: folded to one case on Windows,
// where names differ only in case name one file; unchanged on POSIX. Use it
// as a key; two keys are equal when the file system takes the names as one.
std::wstring ComparableName(const std::wstring& name);

}  // namespace kiv
