#include "cli/batch.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>

#include "base/path.h"
#include "cli/arguments.h"
#include "cli/summary.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
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
    options.SetText(Option::kOutput, terminal.FullPath(*request.outputFolder));
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
  // Rows stay in the list so that the summary can report every file.
  options.SetOn(Option::kAutoDeleteItem, false);
}

// State changes reported by the workers, collected for the main thread.
class StateLog {
 public:
  void Add(const std::wstring& source, const std::wstring& state) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (state == kStateConverting) {
      current_ = source;
    } else if (!state.empty()) {
      finished_.emplace_back(source, state);
      if (state != kStateConverted) {
        ++failures_;
      }
    }
  }
  int Failures() {
    std::lock_guard<std::mutex> hold(mutex_);
    return failures_;
  }
  std::deque<std::pair<std::wstring, std::wstring>> TakeFinished() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(finished_, {});
  }
  std::wstring Current() {
    std::lock_guard<std::mutex> hold(mutex_);
    return current_;
  }

 private:
  std::mutex mutex_;
  std::wstring current_;
  std::deque<std::pair<std::wstring, std::wstring>> finished_;
  int failures_ = 0;
};

}  // namespace

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

  MemoryFileList list;
  MemoryWindow window;
  StateLog log;
  list.SetStateListener(
      [&log](const std::wstring& source, const std::wstring& state) { log.Add(source, state); });
  ConvertManager manager(EngineHost{list, options, window});

  // Registration, as a drop on the window registers its paths.
  int missing = 0;
  const std::vector<std::wstring> patterns = RebuildFilterPatterns(options);
  for (const std::wstring& path : request.paths) {
    const std::wstring full = terminal.FullPath(path);
    if (!kiv::FileExists(full)) {
      terminal.Error(L"morvane-cli: no such file or folder: " + path);
      ++missing;
      continue;
    }
    const int before = list.GetCount();
    const bool folder = IsFolderForRegistration(full);
    RegisterDroppedPath(patterns, full, options,
                        [&manager](const std::wstring& accepted) { manager.AddFile(accepted); });
    if (!folder && list.GetCount() == before) {
      terminal.Error(L"morvane-cli: skipped, not matched by the filter: " + path);
    }
  }

  const auto started = std::chrono::steady_clock::now();
  bool stopped = false;
  if (list.GetCount() > 0) {
    manager.StartConvert();
    const bool showProgress = !request.quiet && terminal.ShowsProgress();
    const bool logFiles = !request.quiet && !terminal.OutputIsTerminal();
    auto nextTick = started + kTickPeriod;
    auto report = [&] {
      for (const auto& [source, state] : log.TakeFinished()) {
        if (logFiles) {
          terminal.Out(source + L": " + state);
        }
      }
      if (showProgress) {
        terminal.Progress(ProgressText(manager.FinishedCount(), list.GetCount(), log.Failures(),
                                       manager.EtaSeconds(), kiv::FindFileName(log.Current()),
                                       stopped));
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

  const Tally tally = TallyRows(list.Rows());
  if (!request.quiet) {
    terminal.Out(SummaryText(tally, missing, elapsed));
  }
  for (const auto& [source, state] : tally.failed) {
    terminal.Error(source + L": " + state);
  }
  if (stopped) {
    return kExitInterrupted;
  }
  return (tally.Failures() > 0 || missing > 0) ? kExitFailures : kExitConverted;
}

}  // namespace cli
