// RunOutputs: the output files the rows of one run write, and the one place
// where a row's output is decided against the rows before it in the run.
//
// A plan of a run (morvane-cli --dry-run) walks the rows in list order and
// asks Decide for each row whose source can be read. Decide applies the
// overwrite rule (DecideOverwrite) with one difference from a lone file: a
// file that an earlier row of the run writes counts as standing there
// already, as it does when the rows are converted one after the other. So a
// rename number already taken by an earlier row moves on to the next, fail
// mode refuses a name an earlier row writes, and force mode replaces it.
// Decide also names the earlier row whose output a row's registered output
// path is, so that a plan can show every collision between rows.
//
// Names are compared as the file system compares them: exactly on Linux,
// without regard to case on Windows (by kiv::FoldCase, then SamePath).
//
// Threads: one object belongs to one thread.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "engine/output_naming.h"

class RunOutputs {
 public:
  struct RowDecision {
    OverwriteDecision decision;
    // The earlier row whose written file is this row's registered output
    // path, or -1 when no earlier row writes it.
    int earlierRow = -1;
  };

  RunOutputs() = default;
  RunOutputs(const RunOutputs&) = delete;
  RunOutputs& operator=(const RunOutputs&) = delete;

  // The decision for row `row` (rows asked in list order), whose output
  // path fixed at registration is `output`, under the OverWrite selection
  // `mode`. When the decision is to write, the row's file is recorded for
  // the rows after it.
  RowDecision Decide(int row, int mode, const std::wstring& output);

  // The row that writes `path` (the latest, when force mode let several
  // write it), or -1.
  int WriterOf(const std::wstring& path) const;

 private:
  std::unordered_map<std::wstring, std::vector<std::pair<std::wstring, int>>> written_;
};
