#include "cli/dry_run.h"

#include <chrono>

#include "base/clock.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "cli/json.h"
#include "cli/summary.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "engine/output_claims.h"
#include "image/bitmap.h"

namespace cli {

namespace {

constexpr uint32_t kPollMilliseconds = 100;

// A worker's conversion that only reads: an unreadable source ends as a
// read failure; a readable one leaves its row "変換中...", written nowhere.
ConvertOutcome ReadOnly(const std::wstring& source, const std::wstring&, OptionSet&,
                        OutputClaims*) {
  ConvertOutcome outcome;
  Bitmap image;
  if (!image.Load(source)) {
    outcome.stateText = kStateReadFailed;
  }
  return outcome;
}

// True when both paths reach one existing file: converting onto itself, the
// source is never deleted.
bool SameFile(const std::wstring& a, const std::wstring& b) {
  kiv::FileStamp first;
  kiv::FileStamp second;
  return kiv::ReadFileStamp(a, &first) && kiv::ReadFileStamp(b, &second) && first.SameFile(second);
}

}  // namespace

int DryRun(const Request& request, std::vector<ConvertManager::PendingFile>& files,
           const std::vector<std::wstring>& otherSources, MemoryOptionSet& options,
           Terminal& terminal, int missing) {
  const bool deleteSource = options.IsOn(Option::kDeleteSrcFile);
  options.SetOn(Option::kDeleteSrcFile, false);
  const auto started = std::chrono::steady_clock::now();

  MemoryFileList list;
  MemoryWindow window;
  ConvertManager manager(EngineHost{list, options, window}, &ReadOnly, &TickMilliseconds);
  manager.RegisterFiles(files, false);
  bool stopped = false;
  if (list.GetCount() > 0) {
    manager.StartConvert();
    while (!manager.WaitUntilIdle(kPollMilliseconds)) {
      if (!stopped && terminal.StopRequested()) {
        manager.RequestStop();
        stopped = true;
      }
    }
  }

  std::vector<MemoryFileList::RowCopy> rows = list.Rows();
  const int mode = options.GetOverwriteMode();
  // The run's claims, asked in list order, each kept as written and never
  // released: each row meets the names the rows before it take, as in a
  // real run.
  OutputClaims claims;
  for (const MemoryFileList::RowCopy& row : rows) {
    claims.AddSource(row.sourcePath);
  }
  for (const std::wstring& source : otherSources) {
    claims.AddSource(source);
  }
  for (MemoryFileList::RowCopy& row : rows) {
    if (row.stateText.empty()) {
      continue;  // not read: the run was stopped
    }
    std::wstring line;
    std::wstring written = row.outputPath;
    std::wstring blockedBy;
    if (row.stateText == kStateReadFailed) {
      line = row.sourcePath + L": " + row.stateText;
    } else {
      const OutputClaims::Decision claimed = claims.Claim(mode, row.outputPath, row.sourcePath);
      const OverwriteDecision& decision = claimed.overwrite;
      blockedBy = claimed.blockedBy;
      if (decision.action == OverwriteDecision::Action::kWrite) {
        // As a finished row of a real run: the name stays taken.
        claims.Written(claimed.ticket, decision.path);
        row.stateText = kStateConverted;
        written = decision.path;
        line = row.sourcePath + L" -> " + written;
        if (!decision.createNew && kiv::FileExists(written)) {
          line += L" (replaces the file there)";
        } else if (written != row.outputPath) {
          line += L" (" + row.outputPath + L" is taken)";
        }
        if (deleteSource && !SameFile(row.sourcePath, written)) {
          line += L", source deleted";
        }
      } else if (decision.action == OverwriteDecision::Action::kRefuse) {
        row.stateText = kStateWriteFailed;
        line = row.sourcePath + L": " + row.stateText + L" (";
        if (!blockedBy.empty()) {
          line += row.outputPath + L" is taken in this run by " + blockedBy + L")";
        } else if (mode == static_cast<int>(OverwriteMode::kRename)) {
          line +=
              L"every numbered name up to " + std::to_wstring(kMaxRenameCounter) + L" is taken)";
        } else {
          line += row.outputPath + L" exists)";
        }
      } else {
        line = row.sourcePath + L": not written (no overwrite mode selected)";
      }
    }
    if (request.json) {
      FileReport report;
      report.source = row.sourcePath;
      report.output = written;
      report.stateText = row.stateText;
      report.blockedBy = blockedBy;
      kiv::FileStamp stamp;
      report.bytesIn = kiv::ReadFileStamp(row.sourcePath, &stamp) ? stamp.size : 0;
      terminal.Out(FileJson(report, true));
    } else if (!request.quiet) {
      terminal.Out(line);
    }
  }

  const Tally tally = TallyRows(rows);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (request.json) {
    terminal.Out(SummaryJson(tally, missing, elapsed, stopped, true));
  } else if (!request.quiet) {
    terminal.Out(L"dry run, nothing written: " + SummaryText(tally, missing, elapsed));
  }
  return ExitStatusFor(tally, missing, stopped);
}

}  // namespace cli
