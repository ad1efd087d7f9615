// Which files a registration accepts, shared by the window's registration
// and morvane-cli.
//
// The Filter option is a list of wildcard patterns separated by "|". A
// folder is searched for each pattern in turn and then, when SubDirectory is
// on, each subfolder is searched the same way, depth first; a single file is
// accepted when the search for one of the patterns in its own folder lists it
// under the very name the path uses. Accepted paths go to a sink (the
// scheduler's AddFile) in the order they were found; nothing is sorted and a
// file found twice is accepted twice.
//
// Threads: runs on the calling thread; the options are read at the moment of
// each call.
#pragma once

#include <functional>
#include <string>
#include <vector>

class OptionSet;

using PathSink = std::function<void(const std::wstring& path)>;
// Called for each name a folder scan looks at, accepted or not; false ends
// the scan at once (morvane-cli stopped by a signal, a scan thread whose
// registration is given up: engine/background_scan.h). May be empty.
using ScanTick = std::function<bool()>;
// Told of each folder a scan meets but cannot list (no permission). May be
// empty: the window's registration skips such folders silently.
using FolderSink = std::function<void(const std::wstring& folder)>;

// The Filter text split at every "|", in order. Empty pieces stay (two bars
// in a row give an empty pattern); nothing is trimmed; an empty text gives no
// pattern at all.
std::vector<std::wstring> SplitFilter(const std::wstring& filterText);

// SplitFilter of the current Filter option.
std::vector<std::wstring> RebuildFilterPatterns(OptionSet& options);

// True when the folder search for some pattern in the path's own folder
// lists the file under exactly the name the path uses (case-sensitive
// comparison of the whole path). An empty pattern list accepts nothing.
bool MatchesFilter(const std::vector<std::wstring>& patterns, const std::wstring& path);

// True when registration treats `path` as a folder: it is one, or it cannot
// be examined at all (a scan of it then finds nothing).
bool IsFolderForRegistration(const std::wstring& path);

// Accepts every file of `folder` that a pattern finds, pattern by pattern,
// then, while SubDirectory is on, scans each subfolder whose name does not
// begin with "." at once, depth first. Each folder is scanned once, by file
// identity, however many links or junctions lead to it, and a link that
// leads out of the tree of `folder` is not followed: the work is bounded by
// the folders of that tree (scanning /sys or /proc ends).
void ScanFolder(const std::vector<std::wstring>& patterns, const std::wstring& folder,
                OptionSet& options, const PathSink& accept, const ScanTick& tick = ScanTick(),
                const FolderSink& unreadable = FolderSink());

// One dropped (or command-line) path: a folder is scanned, a file is
// accepted when MatchesFilter holds.
void RegisterDroppedPath(const std::vector<std::wstring>& patterns, const std::wstring& path,
                         OptionSet& options, const PathSink& accept,
                         const ScanTick& tick = ScanTick(),
                         const FolderSink& unreadable = FolderSink());
