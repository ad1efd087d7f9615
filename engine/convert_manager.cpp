#include "engine/convert_manager.h"

#include "engine/failure_reason.h"

#include <algorithm>
#include <cwchar>
#include <set>
#include <utility>

#include "base/folder_listing.h"
#include "base/temporary_room.h"
#include "base/path.h"
#include "engine/option_set.h"
#include "engine/output_naming.h"
#include "engine/pass_options.h"
#include "engine/remove_source.h"

namespace {

const wchar_t kIdleTitle[] = L"Morvane";
const wchar_t kConvertText[] = L"変換";
const wchar_t kStopText[] = L"中止";

}  // namespace

ConvertManager::ConvertManager(const EngineHost& host)
    : ConvertManager(host, &ConvertRow, &TickMilliseconds) {}

ConvertManager::ConvertManager(const EngineHost& host, FileConverter converter,
                               MillisecondClock clock)
    : host_(host), converter_(std::move(converter)), clock_(std::move(clock)) {
  idle_.Set();
  Start();
}

ConvertManager::~ConvertManager() {
  // The pass may be waiting for work: mark the thread finished, then wake it.
  Finish();
  wake_.Set();
  Stop();
  workers_.clear();  // each waits for its conversion to return
  // A run ended by the close has no EndRun: its rooms go now that no worker writes.
  kiv::temporary_rooms::CloseIdle();
}

void ConvertManager::AddFile(const std::wstring& path, const std::wstring& subfolder) {
  std::vector<PendingFile> one{PendingFile{path, subfolder}};
  AddFiles(one);
}

void ConvertManager::AddFiles(std::vector<PendingFile>& files) {
  if (files.empty()) {
    return;
  }
  bool direct;
  {
    kiv::LockGuard hold(stateLock_);
    direct = IsSuspended() && !ending_;
    if (!direct) {
      kiv::LockGuard pending(pendingLock_);
      unlistedCount_ += static_cast<int>(files.size());
      for (PendingFile& file : files) {
        pendingPaths_.push_back(std::move(file));
      }
      files.clear();
    }
  }
  if (direct) {
    RegisterFiles(files);
  } else {
    wake_.Set();
  }
}

void ConvertManager::RegisterFiles(std::vector<std::wstring>& paths) {
  std::vector<PendingFile> files;
  files.reserve(paths.size());
  for (std::wstring& path : paths) {
    files.push_back(PendingFile{std::move(path), std::wstring()});
  }
  paths.clear();
  RegisterFiles(files);
}

void ConvertManager::RegisterFiles(std::vector<PendingFile>& files, bool makeFolders) {
  if (files.empty()) {
    return;
  }
  OptionSet& options = host_.options;
  const bool besideSource = options.IsOn(Option::kOutSrcDirectory);
  const std::wstring outputText = options.GetOptionText(Option::kOutput);
  const bool upper = options.IsOn(Option::kUpperExtension);
  const std::wstring folder = OutputFolder(besideSource, outputText);
  if (makeFolders && !folder.empty()) {
    CreateFolderChain(folder);
    std::set<std::wstring> made;
    for (const PendingFile& file : files) {
      if (!file.subfolder.empty() && made.insert(file.subfolder).second) {
        CreateFolderChain(RowOutputFolder(folder, file.subfolder));
      }
    }
  }
  for (const PendingFile& file : files) {
    {
      kiv::LockGuard hold(host_.list.GetLock());
      FileEntry* entry = host_.list.AddItem(file.path);
      if (entry == nullptr) {
        continue;  // the list refused the row: nothing of it to convert
      }
      host_.list.SetOutputPath(
          entry, OutputPathFor(file.path, RowOutputFolder(folder, file.subfolder), upper));
      ++remainingCount_;
    }
    // Each new row's source is noted at once: a row registered during a run
    // belongs to it; StartConvert notes the sources again for a new run.
    claims_.AddSource(file.path);
    kiv::LockGuard hold(waitingLock_);
    ++waiting_[file.path];
  }
  files.clear();
}

int ConvertManager::FirstEmptyRow() {
  FileList& list = host_.list;
  kiv::LockGuard hold(list.GetLock());
  const int count = list.GetCount();
  for (int i = 0; i < count; ++i) {
    if (list.GetItemText(list.GetEntry(i), kColumnState).empty()) {
      return i;
    }
  }
  return count;
}

std::vector<std::wstring> ConvertManager::RowSources(int position) {
  std::vector<std::wstring> sources;
  FileList& list = host_.list;
  kiv::LockGuard hold(list.GetLock());
  const int count = list.GetCount();
  for (int i = position < 0 ? 0 : position; i < count; ++i) {
    sources.push_back(list.GetItemText(list.GetEntry(i), kColumnSource));
  }
  return sources;
}

void ConvertManager::BeginRun(const std::vector<std::wstring>& sources) {
  // What stands in the output folders is read afresh for each run.
  kiv::ForgetFolderListings();
  for (const std::wstring& source : sources) {
    claims_.AddSource(source);
  }
  for (const std::wstring& source : otherSources_) {
    claims_.AddSource(source);
  }
  kiv::LockGuard hold(waitingLock_);
  waiting_.clear();
  for (const std::wstring& source : sources) {
    ++waiting_[source];
  }
}

void ConvertManager::ClearStatesFrom(int position) {
  FileList& list = host_.list;
  kiv::LockGuard hold(list.GetLock());
  const int count = list.GetCount();
  for (int i = position < 0 ? 0 : position; i < count; ++i) {
    list.SetItemText(list.GetEntry(i), kStateWaiting, kColumnState);
  }
}

bool ConvertManager::StartConvert() {
  const std::uint64_t stopsBefore = stopRequests_.load();
  {
    kiv::LockGuard hold(timingLock_);
    etaSeconds_ = 0;
    etaCountdown_ = 0;
    finishTimes_.clear();
    intervalSamples_.clear();
  }
  finishedCount_ = 0;
  int firstRow;
  {
    // The pass moves nextRow_ under the list's lock (a stopped run may still
    // be reaping): every change of it is made under that lock.
    kiv::LockGuard hold(host_.list.GetLock());
    if (!running_) {
      nextRow_ = FirstEmptyRow();
    }
    firstRow = nextRow_;
    // Rows not yet handed out, plus the files whose workers are still busy:
    // those are also still to come, and counting them keeps the title from
    // going below zero when a start arrives during a run.
    remainingCount_ = host_.list.GetCount() - firstRow + activeWorkers_;
  }
  const std::vector<std::wstring> sources =
      running_ ? std::vector<std::wstring>() : RowSources(firstRow);
  host_.window.SetConvertButtonText(kStopText);
  host_.list.SetBehaviourFlags(kListFlagsRunning);
  bool started;
  {
    // Under the lock that orders the end of a run: the run's sources are
    // noted after the claims of the run that just ended were settled.
    kiv::LockGuard hold(stateLock_);
    // A stop asked since the start began wins: the pass below then ends
    // the run (or the one still going) and sets the window back.
    started = stopRequests_.load() == stopsBefore;
    if (started) {
      if (!running_) {
        BeginRun(sources);
      }
      running_ = true;
      startedDuringPass_ = true;
    }
    idle_.Reset();
    Resume();
  }
  wake_.Set();
  if (!HasThread()) {
    // The system refused the scheduler a thread: run the passes here rather
    // than leave the run waiting for a thread that does not exist.
    while (!idle_.WaitFor(0)) {
      Run();
    }
  }
  return started;
}

void ConvertManager::ClearRowsForNewRun() {
  if (running_) {
    return;
  }
  kiv::LockGuard hold(host_.list.GetLock());
  ClearStatesFrom(0);
  nextRow_ = 0;
}

void ConvertManager::RequestStop() {
  {
    // After this, StartWorkers starts no worker (it decides under this lock).
    kiv::LockGuard hold(stateLock_);
    running_ = false;
    ++stopRequests_;
  }
  wake_.Set();
}

uint32_t ConvertManager::EtaSeconds() {
  kiv::LockGuard hold(timingLock_);
  return etaSeconds_;
}

void ConvertManager::UpdateTitle(bool finishedOne) {
  if (finishedOne) {
    NoteFinish();
  } else if (running_ && finishedCount_ != 0) {
    kiv::LockGuard hold(timingLock_);
    RecomputeEstimate();
  }
  ShowTitle();
}

void ConvertManager::NoteFinish() {
  if (!running_ || finishedCount_ == 0) {
    return;
  }
  kiv::LockGuard hold(timingLock_);
  finishTimes_.push_back(clock_());
  if (finishTimes_.size() > kMaxFinishTimes) {
    finishTimes_.pop_front();
  }
}

void ConvertManager::RecomputeEstimate() {
  if (finishTimes_.size() <= 1) {
    return;
  }
  const uint32_t n = static_cast<uint32_t>(finishTimes_.size());
  intervalSamples_.push_back((finishTimes_.back() - finishTimes_.front()) / (n - 1));
  if (intervalSamples_.size() > kMaxIntervalSamples) {
    intervalSamples_.pop_front();
  }
  if (etaCountdown_ != 0) {
    if (etaSeconds_ > 1) {
      --etaSeconds_;
    }
    --etaCountdown_;
    return;
  }
  etaCountdown_ = 3;
  // 64-bit: a long list times a slow interval must not wrap around.
  uint64_t sum = 0;
  for (uint32_t sample : intervalSamples_) {
    sum += sample;
  }
  const int remaining = remainingCount_;
  const uint64_t files = remaining > 0 ? static_cast<uint64_t>(remaining) : 0;
  const uint64_t milliseconds = files * sum / intervalSamples_.size();
  const uint64_t seconds = (milliseconds + 999) / 1000;
  etaSeconds_ = seconds > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(seconds);
}

void ConvertManager::ShowTitle() {
  if (!running_ || finishedCount_ == 0) {
    return;
  }
  const int remaining = remainingCount_;
  const uint32_t eta = EtaSeconds();
  wchar_t title[96];
  if (eta != 0) {
    std::swprintf(title, sizeof title / sizeof title[0], L"Morvane - %d (%u:%02u)", remaining,
                  eta / 60, eta % 60);
  } else {
    std::swprintf(title, sizeof title / sizeof title[0], L"Morvane - %d", remaining);
  }
  host_.window.SetTitle(title);
}

bool ConvertManager::PendingEmpty() {
  kiv::LockGuard hold(pendingLock_);
  return pendingPaths_.empty();
}

void ConvertManager::Reap(ConvertThread& worker, OptionSet& options) {
  FileList& list = host_.list;
  FileEntry* entry = worker.Entry();
  const RowJob& job = worker.Job();
  const ConvertOutcome& outcome = worker.Outcome();
  FileReport report;
  report.stateText = list.GetItemText(entry, kColumnState);
  const bool converted = report.stateText == kStateConverted && !outcome.writtenPath.empty();
  if (job.decision.ticket != 0) {
    claims_.Unwritten(job.decision.ticket);  // unless written under it just below
  }
  if (converted && outcome.ticket != 0) {
    claims_.Written(outcome.ticket, outcome.hasWrittenStamp ? &outcome.writtenStamp : nullptr);
  }
  if (options.IsOn(Option::kDeleteSrcFile)) {
    report.sourceFate = SettleSource(worker, converted).value_or(FileReport::SourceFate::kNotAsked);
    if (report.sourceFate == FileReport::SourceFate::kKept &&
        claims_.SpellingsOf(job.source).size() > 1) {
      report.sourceNote = kNoteReachedTwice;
    }
  }
  if (reportListener_) {
    report.row = list.GetIndex(entry);
    report.source = job.source;
    report.outputPath = job.outputPath;
    report.writtenPath = outcome.writtenPath;
    report.blockedBy = outcome.blockedBy;
    report.reason = outcome.reason;
    report.warning = outcome.warning;
    report.keepSource = outcome.keepSource;
    report.unchanged = outcome.unchanged;
    kiv::FileStamp loaded;
    report.bytesIn = worker.SourceStamp(&loaded) ? loaded.size : 0;
    report.bytesOut = outcome.hasWrittenStamp ? outcome.writtenStamp.size : 0;
    report.milliseconds = worker.Milliseconds();
    reportListener_(report);
  }
  if (report.stateText != kStateConverted) {
    return;  // failed rows keep their source and stay in the list
  }
  // A PNG that lacks something of its source, or a source kept against the
  // options, stays in view with its reason: only rows converted whole are
  // taken off the list.
  if (outcome.warning.empty() && report.sourceNote.empty() &&
      options.IsOn(Option::kAutoDeleteItem)) {
    kiv::LockGuard hold(list.GetLock());
    list.RemoveItem(list.GetIndex(entry));
    --nextRow_;
  }
}

std::optional<ConvertManager::FileReport::SourceFate> ConvertManager::SettleSource(
    const ConvertThread& worker, bool converted) {
  const RowJob& job = worker.Job();
  const std::vector<std::wstring> spellings = claims_.SpellingsOf(job.source);
  const std::wstring group = *std::min_element(spellings.begin(), spellings.end());
  std::vector<ReapedRow>& rows = reaped_[group];
  ReapedRow row;
  row.outputPath = job.outputPath;
  row.outcome = worker.Outcome();
  row.hasLoaded = worker.SourceStamp(&row.loaded);
  row.converted = converted;
  rows.push_back(std::move(row));

  // Other rows of this source still to come: the source waits for them.
  bool othersLeft = false;
  {
    kiv::LockGuard hold(waitingLock_);
    for (const std::wstring& spelling : spellings) {
      const auto waiting = waiting_.find(spelling);
      othersLeft = othersLeft || (waiting != waiting_.end() && waiting->second > 0);
    }
  }
  for (const auto& other : workers_) {
    othersLeft =
        othersLeft || (other.get() != &worker && std::find(spellings.begin(), spellings.end(),
                                                           other->Job().source) != spellings.end());
  }
  if (othersLeft) {
    return std::nullopt;
  }

  const std::vector<ReapedRow> settled = std::move(rows);
  reaped_.erase(group);
  const bool anyConverted =
      std::any_of(settled.begin(), settled.end(), [](const ReapedRow& r) { return r.converted; });
  if (!anyConverted) {
    return FileReport::SourceFate::kNotAsked;
  }
  if (spellings.size() > 1) {
    // One file reached by two names (a link, a hard link): which name a
    // deletion removed would depend on which row came last, so neither is.
    return FileReport::SourceFate::kKept;
  }
  for (const ReapedRow& r : settled) {
    if (!r.converted || r.outcome.keepSource || kiv::SamePath(job.source, r.outputPath) ||
        kiv::SamePath(job.source, r.outcome.writtenPath)) {
      // A failed row, one written onto the source, or a source that holds
      // more than its PNG.
      return FileReport::SourceFate::kKept;
    }
  }
  // The output must be on the storage device before its only other copy
  // goes; then it must still be the file written, and the source the file
  // read, at the moment of the deletion.
  for (const ReapedRow& r : settled) {
    if (r.hasLoaded && r.outcome.hasWrittenStamp &&
        (r.outcome.synced || kiv::SyncToDisk(r.outcome.writtenPath)) &&
        MayRemoveSource(job.source, r.loaded, r.outputPath, r.outcome.writtenPath,
                        r.outcome.writtenStamp)) {
      return RemoveSourceFile(job.source, r.loaded) ? FileReport::SourceFate::kDeleted
                                                    : FileReport::SourceFate::kKept;
    }
  }
  return FileReport::SourceFate::kKept;
}

void ConvertManager::StartWorkers(const std::shared_ptr<OptionSet>& options) {
  FileList& list = host_.list;
  while (running_) {
    // The options are read first: in the window each read waits for the
    // user-interface thread, which may serve a stop or a close meanwhile.
    if (static_cast<int>(workers_.size()) >= options->GetConvertCount()) {
      return;
    }
    const int mode = options->GetOverwriteMode();
    const bool deleting = sourcesDeletedInPlan_ || options->IsOn(Option::kDeleteSrcFile);
    FileEntry* entry;
    RowJob job;
    {
      kiv::LockGuard hold(list.GetLock());
      if (nextRow_ >= list.GetCount()) {
        return;
      }
      {
        // A stop asked up to here starts nothing: the row stays the next
        // one. RequestStop sets running_ under this lock, so once it has
        // returned no worker starts.
        kiv::LockGuard state(stateLock_);
        if (!running_) {
          return;
        }
        ++activeWorkers_;
      }
      entry = list.GetEntry(nextRow_);
      ++nextRow_;
      job.source = list.GetItemText(entry, kColumnSource);
      job.outputPath = list.GetOutputPath(entry);
    }
    {
      kiv::LockGuard hold(waitingLock_);
      const auto waiting = waiting_.find(job.source);
      if (waiting != waiting_.end() && --waiting->second <= 0) {
        waiting_.erase(waiting);
      }
    }
    // The row's name is decided here, in list order, before any of its work
    // begins; the disk is read outside the list's lock.
    job.claims = &claims_;
    job.decision = claims_.Claim(mode, job.outputPath, job.source, deleting);
    workers_.push_back(std::make_unique<ConvertThread>(host_, options, entry, std::move(job),
                                                       converter_, &wake_, pool_));
  }
}

void ConvertManager::Run() {
  {
    kiv::LockGuard hold(stateLock_);
    startedDuringPass_ = false;
  }

  std::vector<PendingFile> paths;
  {
    kiv::LockGuard hold(pendingLock_);
    paths.swap(pendingPaths_);
  }
  const int listing = static_cast<int>(paths.size());
  RegisterFiles(paths);
  unlistedCount_ -= listing;

  // The options as this pass sees them, each read at most once.
  const auto options = std::make_shared<PassOptions>(host_.options);
  bool reaped = false;
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (!(*it)->IsFinished()) {
      ++it;
      continue;
    }
    Reap(**it, *options);
    it = workers_.erase(it);
    --activeWorkers_;
    ++finishedCount_;
    --remainingCount_;
    NoteFinish();
    reaped = true;
  }
  if (reaped) {
    // One title for all the files this pass reaped.
    ShowTitle();
  }

  if (running_) {
    StartWorkers(options);
  }

  if (workers_.empty() && PendingEmpty() && EndRun()) {
    return;
  }
  wake_.WaitFor(kPassWaitMilliseconds);
}

bool ConvertManager::EndRun() {
  {
    kiv::LockGuard hold(stateLock_);
    if (startedDuringPass_ || !PendingEmpty()) {
      return false;  // a start or a file came in: serve it first
    }
    running_ = false;
    ending_ = true;
    // Names reserved but never written are free again; written files stay
    // claimed for later runs.
    claims_.EndRun();
  }
  reaped_.clear();  // sources whose other rows were never handed out stay
  // No worker writes any more: the rooms of the run's temporaries go.
  kiv::temporary_rooms::CloseIdle();

  ClearStatesFrom(nextRow_);
  // Every row's last state is drawn before the run is over.
  host_.list.ShowChanges();
  host_.window.EnableConvertButton(true);
  host_.window.SetConvertButtonText(kConvertText);
  host_.list.SetBehaviourFlags(kListFlagsIdle);
  host_.window.SetTitle(kIdleTitle);

  bool restartedRun;
  {
    kiv::LockGuard hold(stateLock_);
    ending_ = false;
    if (!startedDuringPass_ && PendingEmpty()) {
      Suspend();
      idle_.Set();
      return true;
    }
    restartedRun = running_;
  }
  // A start arrived while the run was ending; its button text and flags may
  // have been overwritten just now.
  if (restartedRun) {
    host_.window.SetConvertButtonText(kStopText);
    host_.list.SetBehaviourFlags(kListFlagsRunning);
  }
  return false;
}
