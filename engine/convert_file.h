// The conversion of one file: read the source, apply the overwrite rule,
// reduce to 24 bits when asked, write the PNG.
//
// Threads: runs on the calling (worker) thread; any number may run at once
// on distinct files. The options are read at the moment each is needed.
#pragma once

#include <functional>
#include <optional>
#include <string>

class OptionSet;
class OutputClaims;

struct ConvertOutcome {
  // The row's new state text ("変換終了", "読込失敗" or "書込失敗"), or none
  // when the row must keep the text it has (no OverWrite selection).
  std::optional<std::wstring> stateText;
  // The file actually written: the output path or a numbered alternative.
  // Empty unless the state is "変換終了".
  std::wstring writtenPath;
  // "書込失敗" because of the run itself: the source whose output (or the
  // source itself) stood in the way. Empty otherwise.
  std::wstring blockedBy;
  // Why the row failed, in a few English words (engine/failure_reason.h);
  // empty unless the state is "読込失敗" or "書込失敗".
  std::wstring reason;
  // What the written PNG lacks of its source (16-bit samples rounded, a
  // truncated file); empty when it holds all of it.
  std::wstring warning;
  // The source holds more than its PNG: it is never deleted for it, also
  // when deleting sources was asked.
  bool keepSource = false;
};

// Converts `source` to a PNG at `outputPath` (the path fixed at
// registration), reading OverWrite, 24bit, CompressLevel, InterlacePng,
// spConvertNum and the run options KeepOrientation, Strip and Reduce from
// `options`. The pieces of a large image run on the cores other conversions
// leave idle (spare_cores.h), up to spConvertNum at once. A source that can't
// be read leaves every file as it was. A source with 16-bit samples is never replaced by its 8-bit
// PNG: in force mode with the output on the source itself, the row fails and the source stays.
// Nothing is deleted before writing: the new PNG replaces an existing output only once it is
// complete, so a failed write keeps what stood there (also when the output is the source itself).
// Never throws. `claims` (may be null: the file is then alone in its run) holds the outputs of the
// run the file belongs to: the output name is claimed there before writing, so no other row of the
// run ends in the same file.
ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options, OutputClaims* claims = nullptr);

// The conversion a worker performs: ConvertFile, or one a test or
// morvane-cli supplies (which may wrap ConvertFile). `claims` are the outputs
// of the run the file belongs to, as ConvertFile takes them. Called on the
// worker's thread.
using FileConverter =
    std::function<ConvertOutcome(const std::wstring& source, const std::wstring& outputPath,
                                 OptionSet& options, OutputClaims* claims)>;
