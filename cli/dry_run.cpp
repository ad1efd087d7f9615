#include "cli/dry_run.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include "base/clock.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "cli/json.h"
#include "cli/report.h"
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

// True when writing `written` would leave `source` reaching the new file:
// both paths are one entry of one folder (converting onto itself), not two
// names (hard links) of one file, of which the write replaces only one.
bool SameEntry(const std::wstring& source, const std::wstring& written) {
  kiv::FileStamp first;
  kiv::FileStamp second;
  if (!kiv::ReadFileStamp(source, &first) || !kiv::ReadFileStamp(written, &second) ||
      !first.SameFile(second)) {
    return false;
  }
  if (first.links <= 1) {
    return true;
  }
  kiv::FileStamp folderA;
  kiv::FileStamp folderB;
  auto folderOf = [](const std::wstring& path) {
    const std::wstring folder = kiv::RemoveFileSpec(path);
    return folder.empty() ? std::wstring(L".") : folder;
  };
  return kiv::ReadFileStamp(folderOf(source), &folderA) &&
         kiv::ReadFileStamp(folderOf(written), &folderB) && folderA.SameFile(folderB) &&
         kiv::ComparableName(kiv::FindFileName(source)) ==
             kiv::ComparableName(kiv::FindFileName(written));
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
    // One file reached by two names is never deleted.
    bool all = std::all_of(rows.begin(), rows.end(), [&](const PlannedRow* row) {
      return row->row.sourcePath == rows.front()->row.sourcePath;
    });
    for (const PlannedRow* row : rows) {
      const bool converted = row->row.stateText == kStateConverted;
      const std::wstring& source = row->row.sourcePath;
      const std::wstring& written = row->report.writtenPath;
      any = any || converted;
      all = all && converted && !row->keepSource && !kiv::SamePath(source, row->row.outputPath) &&
            !kiv::SamePath(source, written) && !SameEntry(source, written);
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

int DryRun(const Request& request, Collected& collected, MemoryOptionSet& options,
           Terminal& terminal) {
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
  manager.SetOtherSources(collected.otherSources);
  manager.PlanSourceDeletion(deleteSource);
  manager.RegisterFiles(collected.files, false);
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
  ReportUpToDate(request, collected, terminal);

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
  tally.upToDate = static_cast<int>(collected.upToDate.size());
  tally.skipped = static_cast<int>(collected.skipped.size());
  for (const PlannedRow& planned : plan) {
    if (planned.reaped && planned.row.stateText == kStateConverted &&
        !planned.report.warning.empty()) {
      ++tally.warnings;  // as the run counts them
    }
    tally.unchanged += planned.reaped && planned.report.unchanged ? 1 : 0;
  }
  if (deleteSource) {
    tally.deletionAsked = true;
    PlanDeletions(plan, tally);
  }

  const int mode = options.GetOverwriteMode();
  for (size_t index = 0; index < plan.size(); ++index) {
    const PlannedRow& planned = plan[index];
    if (!planned.reaped) {
      if (request.json) {
        terminal.Out(FileJson(NotConvertedReport(planned.row), true));  // the run was stopped
      }
      continue;
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
      FileReport kept;
      kept.source = row.sourcePath;
      NoteSourceKept(collected, deleteSource, kept);
      if (!kept.sourceKept.empty()) {
        line += L", source kept, " + kept.sourceKept;
      }
    } else if (row.stateText == kStateWriteFailed) {
      line = row.sourcePath + L": " + row.stateText + L" (";
      if (!report.blockedBy.empty()) {
        line += BlockedText(row.outputPath, report.blockedBy,
                            SourceBefore(rows, report.blockedBy, index)) +
                L")";
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
      FileReport json = ReportOf(report);
      NoteSourceKept(collected, deleteSource, json);
      json.stateText = row.stateText;
      json.bytesOut = 0;
      json.milliseconds = 0;
      terminal.Out(FileJson(json, true));
    } else if (!request.quiet) {
      terminal.Out(line);
    }
  }

  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const int missing = collected.missing;
  if (request.json) {
    terminal.Out(SummaryJson(tally, missing, elapsed, stopped, true));
  } else if (!request.quiet) {
    terminal.Out(L"dry run, nothing written: " + SummaryText(tally, missing, elapsed));
  }
  TellSourcesKept(collected, deleteSource, terminal);
  return ExitStatusFor(tally, missing, stopped);
}

}  // namespace cli
