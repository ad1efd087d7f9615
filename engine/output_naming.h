// Output naming and the overwrite rule.
//
// Every source gets one output path, fixed when the file is registered from
// the options of that moment (OutputFolder, OutputPathFor). What happens when
// a file already stands there is decided when the worker is about to write,
// from the OverWrite selection of that moment (DecideOverwrite).
//
// Threads: every function may be called from any thread. The file-system
// answers are those of the moment of the call.
#pragma once

#include <functional>
#include <string>

// The folder outputs go to, with a trailing separator, or the empty string
// when outputs go beside their sources: empty when `outSrcDirectory` is on;
// otherwise `outputText` with a separator appended unless it already ends in
// one (an empty text stays empty).
std::wstring OutputFolder(bool outSrcDirectory, const std::wstring& outputText);

// The output path of `source`: the extension ".PNG" when `upperExtension`,
// else ".png", replaces the file name's extension (or is appended when it has
// none); the name goes into `folder`, or stays beside the source when
// `folder` is empty. Only the extension's case is chosen; the rest of the
// name keeps its own.
std::wstring OutputPathFor(const std::wstring& source, const std::wstring& folder,
                           bool upperExtension);

// The folder of one row's output: `folder` (as OutputFolder gives it) with
// the row's own `subfolder` below it, with a trailing separator. `subfolder`
// is a relative path of folder names (no "." or "..", no trailing
// separator), or empty for none. Outputs that go beside their sources (an
// empty `folder`) take no subfolder: the result is then empty too.
std::wstring RowOutputFolder(const std::wstring& folder, const std::wstring& subfolder);

// Creates each folder along `folder`: at every separator, the text before it
// is made a folder. Failures (folders that exist, roots, unreachable places)
// are ignored; a folder that still doesn't exist makes the later write fail.
void CreateFolderChain(const std::wstring& folder);

struct OverwriteDecision {
  enum class Action {
    kWrite,    // write the PNG at `path`
    kRefuse,   // write nothing; the file counts as "書込失敗"
    kNothing,  // no OverWrite selection: write nothing, leave the row as it is
  };
  Action action = Action::kNothing;
  std::wstring path;
  // True when `path` must be created new: the decision relied on nothing
  // standing there, so a file that appears in the meantime must not be
  // replaced (the writer then reports that the target exists).
  bool createNew = false;
};

// Rename mode's highest counter: "name (1).png" to "name (999).png".
inline constexpr int kMaxRenameCounter = 999;

// The overwrite decision for the output path `output` under the OverWrite
// selection `mode` (0 force, 1 fail, 2 rename, anything else none):
//   force:  write `output`, replacing what stands there once the new file is
//           complete;
//   fail:   refuse when something exists at `output`, else create it new;
//   rename: create `output` new when nothing stands there; otherwise strip a
//           counter " (N)" from the file name without its extension (the
//           folder is never changed) and take the first of "base (1)ext" ..
//           "base (999)ext" that doesn't exist; refuse when all are taken.
OverwriteDecision DecideOverwrite(int mode, const std::wstring& output);

// The same decision with `taken` telling whether a path is in use (for fail
// and rename mode): DecideOverwrite above asks whether a file exists; the
// claims of a run (engine/output_claims.h) also count the names its other
// rows are writing.
OverwriteDecision DecideOverwrite(int mode, const std::wstring& output,
                                  const std::function<bool(const std::wstring&)>& taken);

// The text with the last " (digits)" counter removed (text after the counter
// stays): "cat (7)" -> "cat", "x (2) y" -> "x y". It works on whatever it is
// given; DecideOverwrite gives it the file name only.
std::wstring StripRenameCounter(const std::wstring& pathWithoutExtension);
