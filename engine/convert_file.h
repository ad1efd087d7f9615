// The conversion of one file: read the source, write as the overwrite
// decision says, reducing to 24 bits when asked.
//
// Threads: runs on the calling (worker) thread; any number may run at once
// on distinct files. The options are read at the moment each is needed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/file_identity.h"
#include "engine/output_claims.h"

class OptionSet;

struct ConvertOutcome {
  // The row's new state text ("変換終了", "読込失敗" or "書込失敗"), or none
  // when the row must keep the text it has (no OverWrite selection).
  std::optional<std::wstring> stateText;
  // The file actually written: the output path or a numbered alternative.
  // Empty unless the state is "変換終了".
  std::wstring writtenPath;
  // The stamp of the written file, taken by the safe writer from the file it
  // moved into place; valid when `hasWrittenStamp`.
  kiv::FileStamp writtenStamp;
  bool hasWrittenStamp = false;
  // The written file was put on the storage device by the write itself.
  bool synced = false;
  // The claim the written file was made under: the row's own, or a later
  // number rename mode took when another program had taken the name.
  std::uint64_t ticket = 0;
  // "書込失敗" because of the run itself: the source whose output (or the
  // source itself) stood in the way. Empty otherwise.
  std::wstring blockedBy;
  // Why the row failed, in a few English words (engine/failure_reason.h);
  // for an `unchanged` row why nothing was written; empty otherwise.
  std::wstring reason;
  // "変換終了" without writing: the source is its own output, a PNG that
  // already holds the same pixels and interlacing in fewer bytes than the
  // new PNG would take, and it was left as it was. `writtenPath` is empty.
  bool unchanged = false;
  // What the written PNG lacks of its source (16-bit samples rounded, a
  // truncated file); empty when it holds all of it.
  std::wstring warning;
  // The source holds more than its PNG: it is never deleted for it, also
  // when deleting sources was asked.
  bool keepSource = false;
};

// One row's conversion as the run decided it before the row's worker
// started: the output name was claimed in list order (OutputClaims::Claim).
struct RowJob {
  std::wstring source;
  std::wstring outputPath;  // fixed at registration
  OutputClaims::Decision decision;
  OutputClaims* claims = nullptr;  // the run's claims; never null
  // A plan (a dry run): everything but the writing, ending as the write
  // would when it succeeds.
  bool planOnly = false;
};

// Converts the row of `job`: reads the source, then writes as `job.decision`
// says, reading 24bit, CompressLevel, InterlacePng, spConvertNum and the run
// options KeepOrientation, Strip and Reduce from `options`. The pieces of a
// large image run on the cores other conversions leave idle
// (spare_cores.h), up to spConvertNum at once. A source that can't be read
// ends "読込失敗" and leaves every file as it was, whatever the decision; a
// refused row ends "書込失敗". A source with 16-bit samples is never replaced
// by its 8-bit PNG (the 24bit option): in force mode with the output on the
// source itself, the row fails and the source stays. Before a source can go
// (replaced in place, or DeleteSrcFile on), the written PNG is read back
// from the disk and compared with what was encoded; a difference fails the
// row ("書込失敗") and nothing is replaced. A PNG source converted in place
// whose new PNG, of the same pixels and interlacing, would be larger is
// left as it was (ConvertOutcome::unchanged). Nothing is deleted before writing: the new PNG
// replaces an existing output only once it is complete, so a failed write
// keeps what stood there (also when the output is the source itself). In
// force mode where nothing stood, a file that appears before the move is
// kept ("書込失敗"), unless it is that of a row of the same source; in rename
// mode the next free number is claimed and written instead. Never throws.
ConvertOutcome ConvertRow(const RowJob& job, OptionSet& options);

// The conversion of a file alone: decides the OverWrite selection of
// `options` for `outputPath` (the path fixed at registration) with claims of
// its own, then ConvertRow.
ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options);

// The conversion a worker performs: ConvertRow, or one a test or
// morvane-cli supplies (which may wrap ConvertRow). Called on the worker's
// thread.
using FileConverter = std::function<ConvertOutcome(const RowJob& job, OptionSet& options)>;
