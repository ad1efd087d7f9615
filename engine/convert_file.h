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

struct ConvertOutcome {
  // The row's new state text ("変換終了", "読込失敗" or "書込失敗"), or none
  // when the row must keep the text it has (no OverWrite selection).
  std::optional<std::wstring> stateText;
  // The file actually written: the output path or a numbered alternative.
  // Empty unless the state is "変換終了".
  std::wstring writtenPath;
};

// Converts `source` to a PNG at `outputPath` (the path fixed at
// registration), reading OverWrite, 24bit, CompressLevel, InterlacePng and
// the run options KeepOrientation and Strip from `options`. A source that can't be read leaves every file as it was.
// Nothing is deleted before writing: the new PNG replaces an existing output
// only once it is complete, so a failed write keeps what stood there (also
// when the output is the source itself). Never throws.
ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options);

// The conversion a worker performs; ConvertFile unless a test supplies its
// own. Called on the worker's thread.
using FileConverter = std::function<ConvertOutcome(
    const std::wstring& source, const std::wstring& outputPath, OptionSet& options)>;
