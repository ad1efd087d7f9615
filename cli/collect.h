// The files a morvane-cli run converts: the paths named and listed
// (--files-from), registered as a drop on the window registers them, each
// with its subfolder below the output folder (--keep-tree), split into the
// parts of --shard, and with --update the files already up to date set
// apart.
//
// Threads: the calling (main) thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "engine/convert_manager.h"

class MemoryOptionSet;

namespace cli {

// Reads the --files-from lists of `request` (all of them before anything is
// converted) and appends their paths to `paths`. Returns an error message,
// or the empty string.
std::wstring ReadLists(const Request& request, Terminal& terminal,
                       std::vector<std::wstring>& paths);

struct Collected {
  // The files of this part to convert, in list order.
  std::vector<ConvertManager::PendingFile> files;
  // The sources of the other parts, which this part must neither write over
  // nor delete.
  std::vector<std::wstring> otherSources;
  // With --update: the files of this part whose output is up to date, with
  // that output, in list order. They are not converted.
  struct UpToDate {
    std::wstring source;
    std::wstring output;
  };
  std::vector<UpToDate> upToDate;
  // The sources of `files` that the list reaches by two names (a link beside
  // the file, a folder named again through a link or a mount), each with
  // another of its names in the list. Such a source is never deleted.
  std::map<std::wstring, std::wstring> alsoNamed;
  // The bytes of the sources of `files` (those whose size could be read).
  uint64_t sourceBytes = 0;
  // Files a folder scan passed over (the filter does not match them).
  std::vector<std::wstring> skipped;
  // Named paths that do not exist or cannot be read (told on the terminal).
  int missing = 0;
};

// Collects the files `named` reaches under the options and the request.
// Reports missing and unmatched paths on the terminal (a missing path in the
// part its output name would have).
Collected CollectFiles(const Request& request, const std::vector<std::wstring>& named,
                       MemoryOptionSet& options, Terminal& terminal);

// Which rows could meet and so go to one part: rows whose outputs could be
// one file (`partKeys` equal: see PartKey) and rows of one source file
// (`sourceLinks` equal: its identity on this machine). Each group of linked
// rows takes the part of its smallest key, whatever the order of the list
// and whichever of its rows an earlier part has already converted and
// deleted. Returns each row's part, 1 to `count`; every part computes the
// same parts from the same list.
std::vector<int> PartsOf(const std::vector<std::wstring>& partKeys,
                         const std::vector<std::wstring>& sourceLinks, int count);

// True when the PNG at `output` is up to date for `source`: it is the
// source itself, or it exists and was last written no earlier than the
// source.
bool IsUpToDate(const std::wstring& source, const std::wstring& output);

}  // namespace cli
