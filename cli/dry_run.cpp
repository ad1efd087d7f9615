#include "cli/dry_run.h"

#include <chrono>
#include <map>
#include <mutex>

#include "base/clock.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "cli/json.h"
#include "cli/summary.h"
#include "engine/failure_reason.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "engine/output_claims.h"
#include "image/bitmap.h"

namespace cli {

namespace {

constexpr uint32_t kPollMilliseconds = 100;

// A worker's conversion that only reads: the engine's own conversion of the
// row as decided, but for the writing.
ConvertOutcome Planned(const RowJob& job, OptionSet& options) {
  RowJob plan = job;
  plan.planOnly = true;
  return ConvertRow(plan, options);
}

// True when both paths reach one existing file: converting onto itself, the
// source is never deleted.
bool SameFile(const std::wstring& a, const std::wstring& b) {
  kiv::FileStamp first;
  kiv::FileStamp second;
  return kiv::ReadFileStamp(a, &first) && kiv::ReadFileStamp(b, &second) && first.SameFile(second);
}

// One row of the plan, as the run will end it.
struct PlannedRow {
  MemoryFileList::RowCopy row;
  ConvertManager::FileReport report;
  bool reaped = false;
  bool keepSource = false;
  bool sourceDeleted = false;
};

// Foretells which sources the run deletes, as the scheduler settles them: a
// source goes when every one of its rows converts, none of them onto the
// source itself. Counts the sources deleted and kept into `tally`.
void PlanDeletions(std::vector<PlannedRow>& plan, Tally& tally) {
  std::map<std::wstring, std::vector<PlannedRow*>> groups;
  for (PlannedRow& row : plan) {
    if (!row.reaped) {
      continue;
    }
    kiv::FileStamp stamp;
    const std::wstring& source = row.row.sourcePath;
    groups[kiv::ReadFileStamp(source, &stamp)
               ? std::to_wstring(stamp.volume) + L":" + std::to_wstring(stamp.index)
               : L"|" + source]
        .push_back(&row);
  }
  for (auto& [key, rows] : groups) {
    bool any = false;
    bool all = true;
    for (const PlannedRow* row : rows) {
      const bool converted = row->row.stateText == kStateConverted;
      const std::wstring& source = row->row.sourcePath;
      const std::wstring& written = row->report.writtenPath;
      any = any || converted;
      all = all && converted && !row->keepSource && !kiv::SamePath(source, row->row.outputPath) &&
            !kiv::SamePath(source, written) && !SameFile(source, written);
    }
    if (all) {
      ++tally.sourcesDeleted;
      for (PlannedRow* row : rows) {
        row->sourceDeleted = true;
      }
    } else if (any) {
      ++tally.sourcesKept;
    }
  }
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
  ConvertManager manager(EngineHost{list, options, window}, &Planned, &TickMilliseconds);
  std::mutex mutex;
  std::map<int, ConvertManager::FileReport> reports;
  manager.SetReportListener([&](const ConvertManager::FileReport& report) {
    std::lock_guard<std::mutex> hold(mutex);
    reports[report.row] = report;
  });
  manager.SetOtherSources(otherSources);
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

  std::vector<PlannedRow> plan;
  for (MemoryFileList::RowCopy& row : list.Rows()) {
    PlannedRow planned;
    const auto reported = reports.find(static_cast<int>(plan.size()));
    planned.reaped = reported != reports.end();
    if (planned.reaped) {
      planned.report = reported->second;
      planned.keepSource = planned.report.keepSource;
    }
    planned.row = std::move(row);
    plan.push_back(std::move(planned));
  }
  std::vector<MemoryFileList::RowCopy> rows;
  for (const PlannedRow& planned : plan) {
    rows.push_back(planned.row);
  }
  Tally tally = TallyRows(rows);
  for (const PlannedRow& planned : plan) {
    tally.unchanged += planned.reaped && planned.report.unchanged ? 1 : 0;
  }
  if (deleteSource) {
    tally.deletionAsked = true;
    PlanDeletions(plan, tally);
  }

  const int mode = options.GetOverwriteMode();
  for (const PlannedRow& planned : plan) {
    if (!planned.reaped) {
      continue;  // not read: the run was stopped
    }
    const MemoryFileList::RowCopy& row = planned.row;
    const ConvertManager::FileReport& report = planned.report;
    const std::wstring written = report.writtenPath.empty() ? row.outputPath : report.writtenPath;
    std::wstring line;
    if (row.stateText == kStateReadFailed) {
      line = row.sourcePath + L": " + GlossedState(row.stateText, report.reason);
    } else if (row.stateText == kStateConverted) {
      line = row.sourcePath + L" -> " + written;
      if (kiv::FileExists(written) && !planned.report.writtenPath.empty() &&
          written == row.outputPath && mode == static_cast<int>(OverwriteMode::kForce)) {
        line += L" (replaces the file there)";
      } else if (written != row.outputPath) {
        line += L" (" + row.outputPath + L" is taken)";
      }
      if (report.unchanged) {
        line = row.sourcePath + L": " + GlossedState(row.stateText, report.reason);
      }
      if (planned.sourceDeleted) {
        line += L", source deleted";
      }
    } else if (row.stateText == kStateWriteFailed) {
      line = row.sourcePath + L": " + row.stateText + L" (";
      if (!report.blockedBy.empty()) {
        line += row.outputPath + L" is taken in this run by " + report.blockedBy + L")";
      } else if (report.reason == kReasonNumbersTaken) {
        line += L"every numbered name up to " + std::to_wstring(kMaxRenameCounter) + L" is taken)";
      } else if (report.reason == kReasonExists) {
        line += row.outputPath + L" exists)";
      } else {
        // What the write would meet: the output folder, or a source it must not replace.
        line = row.sourcePath + L": " + GlossedState(row.stateText, report.reason);
      }
    } else {
      line = row.sourcePath + L": not written (no overwrite mode selected)";
    }
    if (request.json) {
      FileReport json;
      json.source = row.sourcePath;
      json.output = written;
      json.stateText = row.stateText;
      json.blockedBy = report.blockedBy;
      json.reason = report.reason;
      json.warning = report.warning;
      json.unchanged = report.unchanged;
      json.bytesIn = report.bytesIn;
      terminal.Out(FileJson(json, true));
    } else if (!request.quiet) {
      terminal.Out(line);
    }
  }

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
