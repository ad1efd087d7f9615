#include "cli/report.h"

#include <set>

#include "base/file_identity.h"
#include "base/path.h"
#include "cli/shown_path.h"

namespace cli {

FileReport ReportOf(const ConvertManager::FileReport& reaped) {
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
  return report;
}

FileReport UpToDateReport(const std::wstring& source, const std::wstring& output) {
  FileReport report;
  report.source = source;
  report.output = output;
  report.stateText = kStateUpToDate;
  kiv::FileStamp stamp;
  report.bytesIn = kiv::ReadFileStamp(source, &stamp) ? stamp.size : 0;
  return report;
}

FileReport NotConvertedReport(const MemoryFileList::RowCopy& row) {
  FileReport report;
  report.source = row.sourcePath;
  report.output = row.outputPath;
  return report;
}

void NoteSourceKept(const Collected& collected, bool deleting, FileReport& report) {
  const auto other = collected.alsoNamed.find(report.source);
  if (deleting && other != collected.alsoNamed.end()) {
    report.sourceKept = L"also reached as " + other->second;
  }
}

void TellSourcesKept(const Collected& collected, bool deleting, Terminal& terminal) {
  if (!deleting) {
    return;
  }
  std::set<std::wstring> told;
  for (const auto& [source, other] : collected.alsoNamed) {
    if (told.insert(other).second && told.insert(source).second) {
      terminal.Error(L"morvane-cli: " + QuotedPath(source) +
                     L" is kept: the list also reaches it as " + QuotedPath(other));
    }
  }
}

void ReportUpToDate(const Request& request, const Collected& collected, Terminal& terminal) {
  for (const Collected::UpToDate& file : collected.upToDate) {
    const FileReport report = UpToDateReport(file.source, file.output);
    if (request.json) {
      terminal.Out(FileJson(report, request.dryRun));
    } else if (request.dryRun && !request.quiet) {
      terminal.Out(report.source + L": up to date (" + report.output + L")");
    } else if (!request.quiet && !terminal.OutputIsTerminal()) {
      terminal.Out(QuotedPath(report.source) + L": up to date");
    }
  }
}

std::wstring BlockedText(const std::wstring& output, const std::wstring& blockedBy,
                         bool blockerEarlier) {
  kiv::FileStamp a;
  kiv::FileStamp b;
  const bool itself =
      kiv::SamePath(output, blockedBy) ||
      (kiv::ReadFileStamp(output, &a) && kiv::ReadFileStamp(blockedBy, &b) && a.SameFile(b));
  if (itself) {
    return QuotedPath(output) + L" is itself a source " + (blockerEarlier ? L"earlier" : L"later") +
           L" in this list; --update converts only the files changed since their PNG";
  }
  return QuotedPath(output) + L" is taken in this run by " + QuotedPath(blockedBy);
}

bool SourceBefore(const std::vector<MemoryFileList::RowCopy>& rows, const std::wstring& source,
                  size_t row) {
  for (size_t i = 0; i < row && i < rows.size(); ++i) {
    if (rows[i].sourcePath == source) {
      return true;
    }
  }
  return false;
}

void RunLog::Converting(const std::wstring& source) {
  std::lock_guard<std::mutex> hold(mutex_);
  current_ = source;
}

void RunLog::Reaped(const ConvertManager::FileReport& reaped) {
  FileReport report = ReportOf(reaped);
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

void RunLog::TimeLost(const std::wstring& output) {
  std::lock_guard<std::mutex> hold(mutex_);
  timeLost_.push_back(output);
}

int RunLog::Failures() {
  std::lock_guard<std::mutex> hold(mutex_);
  return failures_;
}

uint64_t RunLog::BytesDone() {
  std::lock_guard<std::mutex> hold(mutex_);
  return bytesDone_;
}

std::vector<FileReport> RunLog::TakeFinished() {
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<FileReport> ready;
  for (auto it = finished_.begin(); it != finished_.end() && it->first == next_;
       it = finished_.erase(it), ++next_) {
    ready.push_back(std::move(it->second));
  }
  return ready;
}

std::vector<std::wstring> RunLog::TakeTimeLost() {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::exchange(timeLost_, {});
}

std::wstring RunLog::Current() {
  std::lock_guard<std::mutex> hold(mutex_);
  return current_;
}

std::vector<std::wstring> RunLog::TakeWarnings() {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::exchange(warned_, {});
}

void RunLog::Into(Tally& tally, const std::vector<MemoryFileList::RowCopy>& rows) {
  std::lock_guard<std::mutex> hold(mutex_);
  tally.warnings = warnings_;
  tally.unchanged = unchanged_;
  tally.sourcesDeleted = deleted_;
  tally.sourcesKept = kept_;
  for (Tally::FailedRow& row : tally.failed) {
    const auto blocked = blockedBy_.find({row.source, row.output});
    if (blocked != blockedBy_.end()) {
      row.state =
          std::wstring(kStateWriteFailed) + L" (" +
          BlockedText(row.output, blocked->second, SourceBefore(rows, blocked->second, row.index)) +
          L")";
      continue;
    }
    const auto reason = reasons_.find({row.source, row.output});
    if (row.state == kStateReadFailed || row.state == kStateWriteFailed) {
      row.state =
          GlossedState(row.state, reason != reasons_.end() ? reason->second : std::wstring());
    }
  }
}

}  // namespace cli
