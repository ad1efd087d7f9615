#include "cli/batch.h"

#include <chrono>

#include "base/path.h"
#include "cli/arguments.h"
#include "cli/collect.h"
#include "cli/convert_run.h"
#include "cli/dry_run.h"
#include "cli/shown_path.h"
#include "cli/summary.h"
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
  return ConvertFiles(request, collected, options, terminal);
}

}  // namespace cli
