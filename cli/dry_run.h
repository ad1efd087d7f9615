// morvane-cli --dry-run: what a run would do, without doing it.
//
// The files are registered as a real run registers them (output paths from
// the same options and subfolders) but no folder is made. The engine's
// scheduler then hands the rows out and decides each one's output name in
// list order, exactly as in a run (rename numbers as they would be chosen
// now, each collision between rows, the sources of other parts); its
// workers read each source, as a run reads it, to learn whether it can be
// read. Nothing is written and nothing deleted; which sources a run would
// delete is foretold by the rule the scheduler settles them by. One line per
// row, in list order, on standard output:
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
#include "cli/collect.h"

class MemoryOptionSet;

namespace cli {

// Plans the run of `collected` (its other parts' sources protected as the
// run protects them; its files up to date told first) and returns the exit
// status the run would have (130 when stopped while reading). Turns off
// deleting sources in `options`.
int DryRun(const Request& request, Collected& collected, MemoryOptionSet& options,
           Terminal& terminal);

}  // namespace cli
