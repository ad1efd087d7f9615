// morvane-cli --dry-run: what a run would do, without doing it.
//
// The files are registered as a real run registers them (output paths from
// the same options and subfolders) but no folder is made. The engine's
// workers then read each source, as a run reads it, to learn whether it can
// be read; nothing is written, and deleting sources is off. Last, each row
// is decided in list order by the run's OutputClaims, as a real run's workers
// decide it: the overwrite rule with the rename numbers as they would be
// chosen now, and each collision between rows. One line per row on standard
// output:
//
//   SOURCE -> OUTPUT [(note)]       the file would be written there
//   SOURCE: STATE [(why)]           the state the file would end with
//
// then a summary; with --json the objects of cli/json.h instead.
//
// Threads: the calling (main) thread; the reads run on the engine's workers.
#pragma once

#include <vector>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "engine/convert_manager.h"

class MemoryOptionSet;

namespace cli {

// Plans the run of `files` (with `otherSources`, the sources of the other
// parts of a split run, protected as the run protects them) and returns the
// exit status the run would have (130 when stopped while reading). Turns off
// deleting sources in `options`.
int DryRun(const Request& request, std::vector<ConvertManager::PendingFile>& files,
           const std::vector<std::wstring>& otherSources, MemoryOptionSet& options,
           Terminal& terminal, int missing);

}  // namespace cli
