// The conversion of a morvane-cli run, and what the terminal shows of it
// while it runs: the engine's scheduler converts the collected files over an
// in-memory list, options and window; the main thread polls it, shows the
// progress line (with the time left, estimated from the source bytes), a
// line or a JSON object per finished file in list order, and the warnings;
// a stop (Ctrl+C) lets the files in progress finish, a second one removes
// their temporaries and ends at once. Then the summary.
//
// Threads: the calling (main) thread; the engine's threads report back
// through the in-memory list and the scheduler's report listener.
#pragma once

#include <vector>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/collect.h"
#include "engine/memory_host.h"

class MemoryOptionSet;

namespace cli {

// Converts the files of `collected` (empties its list of files) with the
// options and returns the run's exit status.
int ConvertFiles(const Request& request, Collected& collected, MemoryOptionSet& options,
                 Terminal& terminal);

// Removes this process's temporaries from the output folders of the rows in
// progress (state "変換中"): what a second Ctrl+C would leave behind when it
// ends the run at once. Other processes' temporaries, other files and the
// folders of rows not in progress are left alone.
void RemoveTemporariesInProgress(const std::vector<MemoryFileList::RowCopy>& rows);

}  // namespace cli
