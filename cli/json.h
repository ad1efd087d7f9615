// The objects morvane-cli --json writes: one line of JSON per finished file
// and one with the summary.
//
//   {"type":"file","source":"/in/a.jpg","output":"/out/a.png","state":"converted",
//    "state_text":"変換終了","bytes_in":51234,"bytes_out":80211,"milliseconds":41}
//   {"type":"summary","converted":1,"read_failed":0,"write_failed":0,"kept":0,
//    "not_converted":0,"missing":0,"seconds":0.120,"stopped":false,"dry_run":false}
//
// "state" is "converted", "read-failed", "write-failed", "up-to-date"
// (--update: the output was not older than its source), "not-converted" (a
// stopped run never came to it) or "kept" (nothing was written and the row
// kept its state: no overwrite mode was selected).
// A dry run's objects carry "dry_run":true and the state the file would end
// with; its bytes_out and milliseconds are 0. A file refused because another
// file of the run had its output carries "blocked_by" with that file's
// source. A failed file carries "reason", a few English words on why
// ("permission denied", "disk full", "corrupt: ..."); a converted file whose
// PNG holds less than its source (16-bit samples rounded, a truncated file)
// carries "warning", and its source is never deleted. When deleting sources
// was asked, the summary also counts "sources_deleted" and "sources_kept";
// the summary counts "warnings", "up_to_date" and "skipped" (files a folder
// scan passed over) when there were any.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>
#include <string>

#include "cli/summary.h"

namespace cli {

// `text` as a JSON string, quotes included. Quotes, backslashes and control
// characters are escaped; everything else stays as it is (UTF-8 once
// written). What is not a Unicode scalar value (a lone surrogate, as an odd
// file name gives, or a value above U+10FFFF) becomes U+FFFD, so the result
// is always valid JSON.
std::wstring JsonString(const std::wstring& text);

// One finished file.
struct FileReport {
  std::wstring source;
  std::wstring output;     // the file written, or the output path it was meant for
  std::wstring stateText;  // the row's state text
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
  uint64_t milliseconds = 0;
  std::wstring blockedBy;  // "書込失敗" because of this run: the source in the way
  std::wstring reason;     // why the file failed (engine/failure_reason.h); empty otherwise
  std::wstring warning;    // what the PNG lacks of its source; empty when nothing
  bool unchanged = false;  // converted in place and left as it was (state "unchanged")
  // Why the source stays although its deletion was asked, when the list
  // tells it before the run: "also reached as PATH". Empty otherwise.
  std::wstring sourceKept;
};

// The "state" word for a row's state text (empty: never handed out).
const wchar_t* StateWord(const std::wstring& stateText);

std::wstring FileJson(const FileReport& report, bool dryRun);
std::wstring SummaryJson(const Tally& tally, int missing, double elapsedSeconds, bool stopped,
                         bool dryRun);

}  // namespace cli
