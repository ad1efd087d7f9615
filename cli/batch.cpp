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
#include "base/file_identity.h"
#include "base/path.h"
#include "cli/arguments.h"
#include "cli/dry_run.h"
#include "cli/json.h"
#include "cli/selection.h"
#include "cli/shown_path.h"
#include "cli/summary.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "engine/output_naming.h"
#include "engine/registration.h"
#include "settings/data_file.h"
#include "settings/data_node.h"

#ifndef MORVANE_VERSION
#define MORVANE_VERSION "unknown"
#endif

namespace cli {

namespace {

constexpr uint32_t kPollMilliseconds = 100;
constexpr auto kTickPeriod = std::chrono::seconds(1);

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

// Reads the --files-from lists (all of them before anything is converted).
// Returns an error message, or the empty string.
std::wstring ReadLists(const Request& request, Terminal& terminal,
                       std::vector<std::wstring>& paths) {
  for (const std::wstring& list : request.filesFrom) {
    std::string bytes;
    if (list == L"-") {
      if (!terminal.ReadInput(&bytes, kMaxListBytes)) {
        return L"cannot read the list of paths from standard input";
      }
    } else {
      kiv::File file;
      if (!file.OpenRead(terminal.FullPath(list)) || file.size() > kMaxListBytes) {
        return L"cannot read the list of paths " + list;
      }
      bytes.resize(static_cast<size_t>(file.size()));
      for (size_t done = 0; done < bytes.size();) {
        const uint32_t got = file.Read(static_cast<uint32_t>(bytes.size() - done), &bytes[done]);
        if (got == 0) {
          return L"cannot read the list of paths " + list;
        }
        done += got;
      }
    }
    for (std::wstring& path : SplitPathList(bytes, request.nullSeparated)) {
      paths.push_back(std::move(path));
    }
  }
  return std::wstring();
}

// The files the paths named reach, as a drop on the window registers them,
// each with its subfolder (--keep-tree): those of this part (--shard) to
// convert, and the sources of the other parts, which this part must neither
// write over nor delete. Reports missing and unmatched paths (a missing
// path in the part its output name would have).
struct Collected {
  std::vector<ConvertManager::PendingFile> files;
  std::vector<std::wstring> otherSources;
};

// Rows that could meet go to one part: those whose output names share a
// ShardKey, and those of one source (named twice), which a run settles
// together. Such linked rows take the part of the first of them in the list,
// by that row's output name. Every part computes the same links from the
// same list.
std::vector<int> PartsOf(const std::vector<std::wstring>& outputKeys,
                         const std::vector<std::wstring>& sourceKeys, int count) {
  std::vector<size_t> first(outputKeys.size());
  std::function<size_t(size_t)> root = [&](size_t i) {
    return first[i] == i ? i : first[i] = root(first[i]);
  };
  std::map<std::wstring, size_t> byOutput;
  std::map<std::wstring, size_t> bySource;
  for (size_t i = 0; i < outputKeys.size(); ++i) {
    first[i] = i;
    for (auto [key, index] :
         {std::make_pair(&outputKeys[i], &byOutput), std::make_pair(&sourceKeys[i], &bySource)}) {
      const auto known = index->emplace(*key, i);
      const size_t a = root(known.first->second);
      const size_t b = root(i);
      first[std::max(a, b)] = std::min(a, b);  // the earlier row leads
    }
  }
  std::vector<int> parts;
  for (size_t i = 0; i < outputKeys.size(); ++i) {
    parts.push_back(PartOf(outputKeys[root(i)], count));
  }
  return parts;
}

Collected CollectFiles(const Request& request, const std::vector<std::wstring>& named,
                       MemoryOptionSet& options, Terminal& terminal, int& missing) {
  const std::vector<std::wstring> patterns = RebuildFilterPatterns(options);
  const std::wstring folder =
      OutputFolder(options.IsOn(Option::kOutSrcDirectory), options.GetOptionText(Option::kOutput));
  const bool upper = options.IsOn(Option::kUpperExtension);
  auto outputKey = [&](const std::wstring& path, const std::wstring& subfolder) {
    return ShardKey(OutputPathFor(path, RowOutputFolder(folder, subfolder), upper));
  };
  auto mine = [&](const std::wstring& path) {
    return !request.shard || InShard(*request.shard, outputKey(path, std::wstring()));
  };
  // The scan of a folder that holds the output folder leaves that out (and what lies below it):
  // an earlier run's PNGs there are not sources of this one. An output folder that is the
  // scanned folder itself leaves nothing out.
  const std::wstring outputFolderKey = kiv::ComparableName(folder);
  auto inOutput = [&](const std::wstring& scanned, const std::wstring& path) {
    const std::wstring key = kiv::ComparableName(scanned);
    return outputFolderKey.size() > key.size() &&
           outputFolderKey.compare(0, key.size(), key) == 0 &&
           kiv::ComparableName(path).compare(0, outputFolderKey.size(), outputFolderKey) == 0;
  };
  // A stop asked while registering ends the scan at once.
  const ScanTick tick = [&terminal] { return !terminal.StopRequested(); };
  // A folder that cannot be listed is told once and fails the run.
  std::set<std::wstring> unreadableSeen;
  const FolderSink unreadable = [&](const std::wstring& folder) {
    if (unreadableSeen.insert(folder).second) {
      terminal.Error(L"morvane-cli: cannot read folder " + QuotedPath(folder) +
                     L": permission denied");
      ++missing;
    }
  };
  std::vector<ConvertManager::PendingFile> all;
  for (const std::wstring& given : named) {
    if (terminal.StopRequested()) {
      break;
    }
    const std::wstring full = TidyPath(terminal.FullPath(given));
    if (!kiv::FileExists(full)) {
      const kiv::FileError why = kiv::LastPlatformFileError();
      if (mine(full)) {
        terminal.Error(why == kiv::FileError::kAccessDenied
                           ? L"morvane-cli: cannot read " + QuotedPath(given) +
                                 L": permission denied"
                           : L"morvane-cli: no such file or folder: " + QuotedPath(given));
        ++missing;
      }
      continue;
    }
    const bool isFolder = IsFolderForRegistration(full);
    const size_t before = all.size();
    const std::wstring top = kiv::AddSeparator(full);
    const std::wstring treeName = request.keepTree ? TreeName(full) : std::wstring();
    RegisterDroppedPath(
        patterns, full, options,
        [&](const std::wstring& accepted) {
          if (!isFolder) {
            all.push_back({accepted, std::wstring()});
            return;
          }
          if (inOutput(top, accepted)) {
            return;
          }
          // Found by the scan of `full`, so its path starts with the folder's.
          const std::wstring below = accepted.substr(top.size());
          all.push_back(
              {accepted, request.keepTree ? TreeSubfolder(treeName, below) : std::wstring()});
        },
        tick, unreadable);
    if (!isFolder && all.size() == before && !terminal.StopRequested() && mine(full)) {
      terminal.Error(L"morvane-cli: skipped, not matched by the filter: " + QuotedPath(given));
    }
  }

  Collected collected;
  if (!request.shard) {
    collected.files = std::move(all);
    return collected;
  }
  std::vector<std::wstring> outputKeys;
  std::vector<std::wstring> sourceKeys;
  for (const ConvertManager::PendingFile& file : all) {
    outputKeys.push_back(outputKey(file.path, file.subfolder));
    sourceKeys.push_back(ShardKey(file.path));
  }
  const std::vector<int> parts = PartsOf(outputKeys, sourceKeys, request.shard->count);
  for (size_t i = 0; i < all.size(); ++i) {
    if (parts[i] == request.shard->part) {
      collected.files.push_back(std::move(all[i]));
    } else {
      collected.otherSources.push_back(std::move(all[i].path));
    }
  }
  return collected;
}

// What the run reports, collected for the main thread: the row being
// converted, each reaped row (handed on in list order, so that the lines
// are the same at every worker count), the sources deleted and kept, the
// warnings, and why rows failed.
class RunLog {
 public:
  void Converting(const std::wstring& source) {
    std::lock_guard<std::mutex> hold(mutex_);
    current_ = source;
  }
  void Reaped(const ConvertManager::FileReport& reaped) {
    FileReport report;
    report.source = reaped.source;
    report.output = reaped.writtenPath.empty() ? reaped.outputPath : reaped.writtenPath;
    report.stateText = reaped.stateText;
    report.bytesIn = reaped.bytesIn;
    report.bytesOut = reaped.bytesOut;
    report.milliseconds = reaped.milliseconds;
    report.blockedBy = reaped.blockedBy;
    report.reason = reaped.reason;
    report.warning = reaped.warning;
    report.unchanged = reaped.unchanged;
    std::lock_guard<std::mutex> hold(mutex_);
    unchanged_ += report.unchanged ? 1 : 0;
    if (report.stateText == kStateReadFailed || report.stateText == kStateWriteFailed) {
      ++failures_;
    }
    if (!report.reason.empty()) {
      reasons_[{report.source, reaped.outputPath}] = report.reason;
    }
    bytesDone_ += report.bytesIn;
    if (!report.warning.empty()) {
      ++warnings_;
      warned_.push_back(QuotedPath(report.source) + L": " + report.warning);
    }
    if (reaped.sourceFate == ConvertManager::FileReport::SourceFate::kDeleted) {
      ++deleted_;
    } else if (reaped.sourceFate == ConvertManager::FileReport::SourceFate::kKept) {
      ++kept_;
    }
    if (!reaped.blockedBy.empty()) {
      blockedBy_[{reaped.source, reaped.outputPath}] = reaped.blockedBy;
    }
    finished_[reaped.row] = std::move(report);
  }
  void TimeLost(const std::wstring& output) {
    std::lock_guard<std::mutex> hold(mutex_);
    timeLost_.push_back(output);
  }
  int Failures() {
    std::lock_guard<std::mutex> hold(mutex_);
    return failures_;
  }
  // The source bytes of the files finished so far.
  uint64_t BytesDone() {
    std::lock_guard<std::mutex> hold(mutex_);
    return bytesDone_;
  }
  // The reports of the rows from the first not yet taken on, up to the
  // first row still converting.
  std::vector<FileReport> TakeFinished() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<FileReport> ready;
    for (auto it = finished_.begin(); it != finished_.end() && it->first == next_;
         it = finished_.erase(it), ++next_) {
      ready.push_back(std::move(it->second));
    }
    return ready;
  }
  std::vector<std::wstring> TakeTimeLost() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(timeLost_, {});
  }
  std::wstring Current() {
    std::lock_guard<std::mutex> hold(mutex_);
    return current_;
  }
  // The lines of the warnings told since the last call.
  std::vector<std::wstring> TakeWarnings() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(warned_, {});
  }
  // Counts the warnings and the sources into `tally` and adds each failed
  // row's reason to its failure text, naming for a row refused because of
  // another row's output the source whose output was in the way. A row is
  // known by its source and output path together: one source may have
  // several rows.
  void Into(Tally& tally) {
    std::lock_guard<std::mutex> hold(mutex_);
    tally.warnings = warnings_;
    tally.unchanged = unchanged_;
    tally.sourcesDeleted = deleted_;
    tally.sourcesKept = kept_;
    for (Tally::FailedRow& row : tally.failed) {
      const auto blocked = blockedBy_.find({row.source, row.output});
      if (blocked != blockedBy_.end()) {
        row.state = std::wstring(kStateWriteFailed) + L" (" + QuotedPath(row.output) +
                    L" is taken in this run by " + QuotedPath(blocked->second) + L")";
        continue;
      }
      const auto reason = reasons_.find({row.source, row.output});
      if (row.state == kStateReadFailed || row.state == kStateWriteFailed) {
        row.state =
            GlossedState(row.state, reason != reasons_.end() ? reason->second : std::wstring());
      }
    }
  }

 private:
  std::mutex mutex_;
  std::wstring current_;
  std::map<std::pair<std::wstring, std::wstring>, std::wstring> reasons_;
  std::map<std::pair<std::wstring, std::wstring>, std::wstring> blockedBy_;
  std::vector<std::wstring> warned_;
  int warnings_ = 0;
  int unchanged_ = 0;
  int deleted_ = 0;
  int kept_ = 0;
  uint64_t bytesDone_ = 0;
  std::map<int, FileReport> finished_;  // by row
  int next_ = 0;
  std::vector<std::wstring> timeLost_;
  int failures_ = 0;
};

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

int Convert(const Request& request, std::vector<ConvertManager::PendingFile>& files,
            const std::vector<std::wstring>& otherSources, MemoryOptionSet& options,
            Terminal& terminal, int missing) {
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
  manager.SetOtherSources(otherSources);
  manager.RegisterFiles(files);

  const auto started = std::chrono::steady_clock::now();
  // Stopped while registering: nothing starts, and the files found count as not converted.
  bool stopped = terminal.StopRequested();
  // The time left is told by the bytes of the sources: files of every size come in any order.
  uint64_t bytesTotal = 0;
  for (const ConvertManager::PendingFile& file : files) {
    kiv::FileStamp stamp;
    bytesTotal += kiv::ReadFileStamp(file.path, &stamp) ? stamp.size : 0;
  }
  int timeLost = 0;
  if (list.GetCount() > 0 && !stopped) {
    manager.StartConvert();
    const bool showProgress = !request.quiet && !request.json && terminal.ShowsProgress();
    const bool logFiles = !request.quiet && !request.json && !terminal.OutputIsTerminal();
    auto nextTick = started + kTickPeriod;
    auto report = [&] {
      for (const FileReport& file : log.TakeFinished()) {
        if (request.json) {
          terminal.Out(FileJson(file, false));
        } else if (logFiles && file.stateText != kStateConverting) {
          terminal.Out(QuotedPath(file.source) + L": " + GlossedState(file.stateText, file.reason));
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
        terminal.Progress(ProgressText(
            manager.FinishedCount(), list.GetCount(), log.Failures(),
            SecondsLeft(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                log.BytesDone(), bytesTotal),
            kiv::FindFileName(log.Current()), stopped));
      }
    };
    while (!manager.WaitUntilIdle(kPollMilliseconds)) {
      if (!stopped && terminal.StopRequested()) {
        manager.RequestStop();
        stopped = true;
      }
      if (std::chrono::steady_clock::now() >= nextTick) {
        manager.UpdateTitle(false);
        nextTick += kTickPeriod;
      }
      report();
    }
    report();
    if (showProgress) {
      terminal.Progress(std::wstring());
    }
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  const std::vector<MemoryFileList::RowCopy> rows = list.Rows();
  Tally tally = TallyRows(rows);
  tally.deletionAsked = options.IsOn(Option::kDeleteSrcFile);
  log.Into(tally);
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

  int missing = 0;
  Collected collected = CollectFiles(request, paths, options, terminal, missing);
  if (request.dryRun) {
    return DryRun(request, collected.files, collected.otherSources, options, terminal, missing);
  }
  return Convert(request, collected.files, collected.otherSources, options, terminal, missing);
}

}  // namespace cli
