#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "base/clock.h"
#include "base/file.h"
#include "base/file_error.h"
#include "base/file_finder.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "base/process.h"
#include "base/replacing_file.h"
#include "cli/arguments.h"
#include "cli/collect.h"
#include "cli/dry_run.h"
#include "cli/json.h"
#include "cli/report.h"
#include "cli/shown_path.h"
#include "cli/summary.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "engine/failure_reason.h"
#include "engine/output_naming.h"
#include "settings/data_file.h"
#include "settings/data_node.h"

#ifndef MORVANE_VERSION
#define MORVANE_VERSION "unknown"
#endif

namespace cli {

namespace {

constexpr uint32_t kPollMilliseconds = 100;
constexpr double kTickSeconds = 1.0;

std::wstring Widen(const char* text) {
  return std::wstring(text, text + std::char_traits<char>::length(text));
}

int UsageError(Terminal& terminal, const std::wstring& message) {
  terminal.Error(L"morvane-cli: " + message);
  terminal.Error(L"Try \"morvane-cli --help\".");
  return kExitUsage;
}

// Fills `options` from a settings file written by the window. Returns an
// error message, or the empty string.
std::wstring LoadSettings(const std::wstring& path, bool named, MemoryOptionSet& options) {
  if (!kiv::FileExists(path) || kiv::IsDirectory(path)) {
    return named ? L"cannot read the settings file " + path : std::wstring();
  }
  if (kiv::ReadDataFileType(path) < 2) {
    return named ? path + L" is not a Morvane settings file" : std::wstring();
  }
  kiv::DataNode root;
  if (!kiv::LoadDataFile(path, root)) {
    return named ? L"cannot read the settings file " + path : std::wstring();
  }
  options.Load(root.Child(L"PageOption"));
  return std::wstring();
}

void ApplyRequest(const Request& request, Terminal& terminal, MemoryOptionSet& options) {
  if (request.filter) {
    options.SetText(Option::kFilter, *request.filter);
  }
  if (request.noSubdirectories) {
    options.SetOn(Option::kSubDirectory, false);
  }
  if (request.deleteSource) {
    options.SetOn(Option::kDeleteSrcFile, true);
  }
  if (request.jobs) {
    options.SetConvertCount(*request.jobs);
  }
  if (request.outputFolder) {
    options.SetText(Option::kOutput, TidyPath(terminal.FullPath(*request.outputFolder)));
    options.SetOn(Option::kOutSrcDirectory, false);
  }
  if (request.upperExtension) {
    options.SetOn(Option::kUpperExtension, true);
  }
  if (request.overwrite) {
    options.SetOverwriteMode(*request.overwrite);
  }
  if (request.level) {
    options.SetCompressLevel(*request.level);
  }
  if (request.interlace) {
    options.SetOn(Option::kInterlacePng, true);
  }
  if (request.reduceTo24Bit) {
    options.SetOn(Option::k24Bit, true);
  }
  options.SetOn(Option::kKeepOrientation, request.keepOrientation);
  options.SetOn(Option::kStrip, request.strip);
  options.SetOn(Option::kReduce, request.reduce);
  // Rows stay in the list so that the summary can report every file.
  options.SetOn(Option::kAutoDeleteItem, false);
}

// The line a finished file gets on standard output when that is not a
// terminal: its state, and the name written when rename mode chose another.
std::wstring FileLine(const FileReport& file) {
  std::wstring line = QuotedPath(file.source) + L": " + GlossedState(file.stateText, file.reason);
  if (file.stateText == kStateConverted && !file.output.empty()) {
    line += L" -> " + QuotedPath(file.output);
  }
  return line;
}

// Removes this process's temporaries from the output folders of the rows in
// progress: what a second Ctrl+C leaves behind when it ends the run at once.
void RemoveTemporariesInProgress(const std::vector<MemoryFileList::RowCopy>& rows) {
  std::set<std::wstring> folders;
  for (const MemoryFileList::RowCopy& row : rows) {
    if (row.stateText == kStateConverting) {
      folders.insert(kiv::RemoveFileSpec(row.outputPath));
    }
  }
  const std::wstring ours = L".morvane-" + kiv::CurrentProcessOwner() + L"-*";
  for (const std::wstring& folder : folders) {
    const std::wstring base = kiv::AddSeparator(folder.empty() ? std::wstring(L".") : folder);
    std::vector<std::wstring> names;
    kiv::FileFinder finder;
    for (std::wstring name = finder.First(base + ours); !name.empty(); name = finder.Next()) {
      if (!finder.IsDirectory() && kiv::ReplacingFile::IsTemporaryName(name)) {
        names.push_back(name);
      }
    }
    finder.Close();
    for (const std::wstring& name : names) {
      kiv::RemoveFile(base + name);
    }
  }
}

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

int Convert(const Request& request, Collected& collected, MemoryOptionSet& options,
            Terminal& terminal) {
  std::vector<ConvertManager::PendingFile>& files = collected.files;
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
  // come in any order), added up before registration takes the list.
  uint64_t bytesTotal = 0;
  for (const ConvertManager::PendingFile& file : files) {
    kiv::FileStamp stamp;
    bytesTotal += kiv::ReadFileStamp(file.path, &stamp) ? stamp.size : 0;
  }
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
      for (const FileReport& file : log.TakeFinished()) {
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
  const int status = ExitStatusFor(tally, missing, stopped);
  return status == kExitConverted && timeLost > 0 ? kExitFailures : status;
}

}  // namespace

double Terminal::Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int ExitStatusFor(const Tally& tally, int missing, bool stopped) {
  if (stopped) {
    return kExitInterrupted;
  }
  return (tally.Failures() > 0 || missing > 0) ? kExitFailures : kExitConverted;
}

int Run(const std::vector<std::wstring>& arguments, Terminal& terminal,
        const std::wstring& defaultSettingsFile) {
  const ParseResult parsed = ParseArguments(arguments);
  if (!parsed.ok) {
    return UsageError(terminal, parsed.error);
  }
  const Request& request = parsed.request;
  if (request.action == Request::Action::kHelp) {
    terminal.Out(UsageText());
    return kExitConverted;
  }
  if (request.action == Request::Action::kVersion) {
    terminal.Out(L"morvane-cli " + Widen(MORVANE_VERSION));
    return kExitConverted;
  }

  MemoryOptionSet options;
  const bool named = request.settingsFile.has_value();
  const std::wstring settingsPath =
      named ? terminal.FullPath(*request.settingsFile) : defaultSettingsFile;
  if (!settingsPath.empty()) {
    const std::wstring problem = LoadSettings(settingsPath, named, options);
    if (!problem.empty()) {
      return UsageError(terminal, problem);
    }
  }
  ApplyRequest(request, terminal, options);
  // A batch job runs at normal priority unless asked to stay in the
  // background; the window's default is idle.
  kiv::Thread::SetPriority(request.background ? kiv::ThreadPriority::kIdle
                                              : kiv::ThreadPriority::kNormal);
  // An output folder that is a file (or lies below one) fails every row: one usage error
  // instead, before anything is converted.
  const std::wstring outputFolder =
      OutputFolder(options.IsOn(Option::kOutSrcDirectory), options.GetOptionText(Option::kOutput));
  if (!outputFolder.empty() &&
      OutputFolderProblem(outputFolder + L"x") == std::wstring(kReasonFolderIsFile)) {
    return UsageError(terminal, L"the output folder " + QuotedPath(outputFolder) +
                                    L" is a file, or lies below one");
  }
  if (request.keepTree &&
      OutputFolder(options.IsOn(Option::kOutSrcDirectory), options.GetOptionText(Option::kOutput))
          .empty()) {
    return UsageError(terminal, L"--keep-tree needs an output folder (-o DIR)");
  }

  // The paths named on the command line, then those of the lists.
  std::vector<std::wstring> paths = request.paths;
  const std::wstring problem = ReadLists(request, terminal, paths);
  if (!problem.empty()) {
    return UsageError(terminal, problem);
  }

  Collected collected = CollectFiles(request, paths, options, terminal);
  if (request.verbose) {
    for (const std::wstring& skipped : collected.skipped) {
      terminal.Error(L"morvane-cli: skipped, not matched by the filter: " + QuotedPath(skipped));
    }
  }
  if (request.dryRun) {
    return DryRun(request, collected, options, terminal);
  }
  return Convert(request, collected, options, terminal);
}

}  // namespace cli
