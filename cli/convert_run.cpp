#include "cli/convert_run.h"

#include <chrono>
#include <set>
#include <vector>

#include "base/clock.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "base/replacing_file.h"
#include "cli/json.h"
#include "cli/report.h"
#include "cli/shown_path.h"
#include "cli/summary.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"

namespace cli {

namespace {

constexpr uint32_t kPollMilliseconds = 100;
constexpr double kTickSeconds = 1.0;

// The line a finished file gets on standard output when that is not a
// terminal: its state, and the name written when rename mode chose another.
std::wstring FileLine(const FileReport& file) {
  std::wstring line = QuotedPath(file.source) + L": " + GlossedState(file.stateText, file.reason);
  if (file.stateText == kStateConverted && !file.output.empty()) {
    line += L" -> " + QuotedPath(file.output);
  }
  if (!file.sourceKept.empty()) {
    line += L"; source kept, " + file.sourceKept;
  }
  return line;
}

}  // namespace

void RemoveTemporariesInProgress(const std::vector<MemoryFileList::RowCopy>& rows) {
  std::set<std::wstring> folders;
  for (const MemoryFileList::RowCopy& row : rows) {
    if (row.stateText == kStateConverting) {
      folders.insert(kiv::RemoveFileSpec(row.outputPath));
    }
  }
  for (const std::wstring& folder : folders) {
    kiv::ReplacingFile::RemoveOwnTemporaries(folder);
  }
}

namespace {

// The engine's conversion; with `keepTime` the PNG then gets the source's
// modification time, read before the conversion (which may replace the
// source itself).
FileConverter Conversion(RunLog& log, bool keepTime) {
  if (!keepTime) {
    return &ConvertRow;
  }
  return [&log](const RowJob& job, OptionSet& options) {
    kiv::FileStamp before;
    const bool stamped = kiv::ReadFileStamp(job.source, &before);
    ConvertOutcome outcome = ConvertRow(job, options);
    if (outcome.writtenPath.empty()) {
      return outcome;
    }
    if (!stamped || !kiv::SetModificationTime(outcome.writtenPath, before)) {
      log.TimeLost(outcome.writtenPath);
      return outcome;
    }
    // The PNG's time changed: its stamp is taken again, while it is still
    // the file written.
    kiv::FileStamp now;
    outcome.hasWrittenStamp = outcome.hasWrittenStamp &&
                              kiv::ReadFileStamp(outcome.writtenPath, &now) &&
                              now.SameFile(outcome.writtenStamp);
    if (outcome.hasWrittenStamp) {
      outcome.writtenStamp = now;
    }
    return outcome;
  };
}

}  // namespace

int ConvertFiles(const Request& request, Collected& collected, MemoryOptionSet& options,
                 Terminal& terminal) {
  std::vector<ConvertManager::PendingFile>& files = collected.files;
  const bool deleting = options.IsOn(Option::kDeleteSrcFile);
  MemoryFileList list;
  MemoryWindow window;
  RunLog log;
  list.SetStateListener([&log](const std::wstring& source, const std::wstring& state) {
    if (state == kStateConverting) {
      log.Converting(source);
    }
  });
  ConvertManager manager(EngineHost{list, options, window}, Conversion(log, request.keepTime),
                         &TickMilliseconds);
  manager.SetReportListener(
      [&log](const ConvertManager::FileReport& report) { log.Reaped(report); });
  manager.SetOtherSources(collected.otherSources);
  // The time left is told by the bytes of the sources (files of every size
  // come in any order), added up as they were collected.
  const uint64_t bytesTotal = collected.sourceBytes;
  manager.RegisterFiles(files);

  const double started = terminal.Now();
  // Stopped while registering: nothing starts, and the files found count as not converted.
  bool stopped = terminal.StopRequested();
  ReportUpToDate(request, collected, terminal);
  int timeLost = 0;
  if (list.GetCount() > 0 && !stopped) {
    manager.StartConvert();
    const bool showProgress = !request.quiet && !request.json && terminal.ShowsProgress();
    const bool logFiles = !request.quiet && !request.json && !terminal.OutputIsTerminal();
    double nextTick = started + kTickSeconds;
    auto report = [&] {
      for (FileReport& file : log.TakeFinished()) {
        NoteSourceKept(collected, deleting, file);
        if (request.json) {
          terminal.Out(FileJson(file, false));
        } else if (logFiles && file.stateText != kStateConverting) {
          terminal.Out(FileLine(file));
        }
      }
      for (const std::wstring& warning : log.TakeWarnings()) {
        terminal.Error(L"morvane-cli: warning: " + warning);
      }
      for (const std::wstring& output : log.TakeTimeLost()) {
        terminal.Error(L"morvane-cli: could not give " + QuotedPath(output) +
                       L" its source's modification time");
        ++timeLost;
      }
      if (showProgress) {
        terminal.Progress(
            ProgressText(manager.FinishedCount(), list.GetCount(), log.Failures(),
                         SecondsLeft(terminal.Now() - started, log.BytesDone(), bytesTotal),
                         kiv::FindFileName(log.Current()), stopped));
      }
    };
    while (!manager.WaitUntilIdle(kPollMilliseconds)) {
      if (terminal.StopInsisted()) {
        RemoveTemporariesInProgress(list.Rows());
        terminal.EndAtOnce(kExitInterrupted);
      }
      if (!stopped && terminal.StopRequested()) {
        manager.RequestStop();
        stopped = true;
      }
      if (terminal.Now() >= nextTick) {
        manager.UpdateTitle(false);
        nextTick += kTickSeconds;
      }
      report();
    }
    report();
    if (showProgress) {
      terminal.Progress(std::wstring());
    }
  }
  const double elapsed = terminal.Now() - started;

  const std::vector<MemoryFileList::RowCopy> rows = list.Rows();
  if (request.json) {
    // A stopped run names every file it never came to, so that a script can resume from it.
    for (const MemoryFileList::RowCopy& row : rows) {
      if (row.stateText.empty()) {
        terminal.Out(FileJson(NotConvertedReport(row), false));
      }
    }
  }
  Tally tally = TallyRows(rows);
  tally.upToDate = static_cast<int>(collected.upToDate.size());
  tally.skipped = static_cast<int>(collected.skipped.size());
  tally.deletionAsked = options.IsOn(Option::kDeleteSrcFile);
  log.Into(tally, rows);
  const int missing = collected.missing;
  if (request.json) {
    terminal.Out(SummaryJson(tally, missing, elapsed, stopped, false));
  } else if (!request.quiet) {
    terminal.Out(SummaryText(tally, missing, elapsed));
  }
  for (const Tally::FailedRow& row : tally.failed) {
    terminal.Error(QuotedPath(row.source) + L": " + row.state);
  }
  TellSourcesKept(collected, deleting, terminal);
  const int status = ExitStatusFor(tally, missing, stopped);
  return status == kExitConverted && timeLost > 0 ? kExitFailures : status;
}

}  // namespace cli
