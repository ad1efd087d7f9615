// The texts morvane-cli shows: the progress line and the final summary.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/memory_host.h"

namespace cli {

// The state text of a row --update found up to date: its output is not older
// than its source (or is the source itself), so nothing is written.
inline constexpr wchar_t kStateUpToDate[] = L"変換済み";

// The rows of a finished run, counted by their state text.
struct Tally {
  int converted = 0;    // "変換終了"
  int readFailed = 0;   // "読込失敗"
  int writeFailed = 0;  // "書込失敗"
  int unwritten = 0;    // still "変換中...": no overwrite mode was selected
  int upToDate = 0;     // --update: the output was newer than its source
  int waiting = 0;      // empty: never handed out (the run was stopped)
  // With --delete-source: converted files whose source was deleted, and
  // those whose source stays (its own output, or changed meanwhile).
  bool deletionAsked = false;
  int sourcesDeleted = 0;
  int sourcesKept = 0;
  // Every row that failed, in list order.
  struct FailedRow {
    std::wstring source;
    std::wstring output;  // the row's output path
    std::wstring state;   // its state text, or why nothing was written
    size_t index = 0;     // its place in the list
  };
  std::vector<FailedRow> failed;
  // Converted rows whose PNG holds less than their source (see ConvertOutcome::warning).
  int warnings = 0;
  // Files a folder scan passed over: not matched by the filter.
  int skipped = 0;
  // Converted rows left as they were: in place, the source already smaller (among `converted`).
  int unchanged = 0;

  int Failures() const { return readFailed + writeFailed + unwritten; }
};

Tally TallyRows(const std::vector<MemoryFileList::RowCopy>& rows);

// A row's state text with a short English gloss and, when known, the
// reason: "書込失敗 (write failed: disk full)".
std::wstring GlossedState(const std::wstring& stateText, const std::wstring& reason);

// The seconds a run is likely still to take, from the source bytes done
// and in all after `elapsedSeconds`: 0 (not known yet) until a second has
// passed and some bytes are done.
uint32_t SecondsLeft(double elapsedSeconds, uint64_t bytesDone, uint64_t bytesTotal);

// The columns of the progress line: it must not wrap in an 80-column
// terminal, whose last column would move the cursor on.
inline constexpr size_t kProgressColumns = 79;

// The columns `text` takes in a terminal: East Asian wide and full-width
// characters take two, combining marks none, every other character one.
// (On Windows a surrogate pair is one character.)
size_t DisplayWidth(const std::wstring& text);

// `text` cut in the middle, with "…" where the cut is, to at most `columns`
// columns (DisplayWidth); `text` itself when it fits. Never splits a
// surrogate pair.
std::wstring FitColumns(const std::wstring& text, size_t columns);

// "[done/total]", the failures so far, the remaining-time estimate (when
// known) and the name of the file converted last, or a note that the run is
// stopping; at most kProgressColumns columns, the name cut to fit.
std::wstring ProgressText(int done, int total, int failures, uint32_t etaSeconds,
                          const std::wstring& currentName, bool stopping);

// One line: the counts of the run (with the deleted and kept sources when
// deletion was asked, and the warnings), paths that did not exist, and the
// time it took.
std::wstring SummaryText(const Tally& tally, int missing, double elapsedSeconds);

}  // namespace cli
