// What morvane-cli reports of its files: the lines a run and a dry run give
// each file, built in one place from what the engine's scheduler told of it,
// and the log in which a run collects those reports for the main thread.
//
// Threads: RunLog may be called from any thread (the scheduler's thread
// adds, the main thread takes); the functions are pure.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/collect.h"
#include "cli/json.h"
#include "cli/summary.h"
#include "engine/convert_manager.h"

namespace cli {

// The report of a reaped row: its source, the file written (or the output
// path it was meant for), its state and what the engine said of it.
FileReport ReportOf(const ConvertManager::FileReport& reaped);

// The report of a file --update found up to date (nothing written).
FileReport UpToDateReport(const std::wstring& source, const std::wstring& output);

// The report of a row never handed out: the run was stopped first.
FileReport NotConvertedReport(const MemoryFileList::RowCopy& row);

// With `deleting` (--delete-source), notes in `report` why its source stays
// when the list reaches that file by two names (Collected::alsoNamed).
void NoteSourceKept(const Collected& collected, bool deleting, FileReport& report);

// With `deleting`, tells on the terminal's error stream each source kept
// because the list reaches it by two names, once per file.
void TellSourcesKept(const Collected& collected, bool deleting, Terminal& terminal);

// Tells the files --update set apart (before those a run converts): a JSON
// line each, or with a dry run a line each, or a line each on standard
// output when that is not a terminal.
void ReportUpToDate(const Request& request, const Collected& collected, Terminal& terminal);

// Why a row was refused for another row's output: "OUTPUT is taken in this
// run by SOURCE", or, when that source is the output file itself (a PNG of
// an earlier run, found again as a source), that it is a source earlier or
// later in this list.
std::wstring BlockedText(const std::wstring& output, const std::wstring& blockedBy,
                         bool blockerEarlier);

// True when `source`, in `rows`, stands before the row at `row`.
bool SourceBefore(const std::vector<MemoryFileList::RowCopy>& rows, const std::wstring& source,
                  size_t row);

// What a run reports, collected for the main thread: the row being
// converted, each reaped row (handed on in list order, so that the lines
// are the same at every worker count), the sources deleted and kept, the
// warnings, and why rows failed.
class RunLog {
 public:
  void Converting(const std::wstring& source);
  void Reaped(const ConvertManager::FileReport& reaped);
  void TimeLost(const std::wstring& output);
  int Failures();
  // The source bytes of the files finished so far.
  uint64_t BytesDone();
  // The reports of the rows from the first not yet taken on, up to the
  // first row still converting.
  std::vector<FileReport> TakeFinished();
  std::vector<std::wstring> TakeTimeLost();
  std::wstring Current();
  // The lines of the warnings told since the last call.
  std::vector<std::wstring> TakeWarnings();
  // Counts the warnings and the sources into `tally` and adds each failed
  // row's reason to its failure text, naming for a row refused because of
  // another row's output the source whose output was in the way. A row is
  // known by its source and output path together: one source may have
  // several rows. `rows` are the list's rows, in order.
  void Into(Tally& tally, const std::vector<MemoryFileList::RowCopy>& rows);

 private:
  std::mutex mutex_;
  std::wstring current_;
  std::map<std::pair<std::wstring, std::wstring>, std::wstring> reasons_;
  std::map<std::pair<std::wstring, std::wstring>, std::wstring> blockedBy_;
  std::vector<std::wstring> warned_;
  int warnings_ = 0;
  int unchanged_ = 0;
  int deleted_ = 0;
  int kept_ = 0;
  uint64_t bytesDone_ = 0;
  std::map<int, FileReport> finished_;  // by row
  int next_ = 0;
  std::vector<std::wstring> timeLost_;
  int failures_ = 0;
};

}  // namespace cli
