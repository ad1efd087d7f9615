// ConvertManager: the scheduler of a conversion run.
//
// It registers files into the list (fixing their output paths), hands rows
// in list order to ConvertThread workers (run on the threads of its
// WorkerPool) while fewer than the spConvertNum option are busy, reaps finished workers (deleting
// sources and removing rows when those options are on; a row that failed or converted with a
// warning stays), keeps the remaining count and a time estimate in the window title, and when
// nothing is left ends the run: the title goes back to "Morvane", the button to "変換", and its
// thread suspends itself.
//
// Its thread (at the priority kiv::Thread::SetPriority chose: idle in the
// window, normal in morvane-cli) runs passes while a run is active. A pass that
// finds nothing to do waits on a wake event that a finishing worker, AddFile,
// StartConvert, RequestStop and destruction signal, so waiting for slow
// workers costs no processor time. Each pass reads the options it needs once
// (PassOptions) and hands them to the rows it starts.
//
// Threads: AddFile, StartConvert, ClearRowsForNewRun, RequestStop and the
// one-second UpdateTitle(false) are called from the user-interface thread
// (one thread: they must not be called concurrently with each other). The
// accessors may be called from any thread. Destruction (user-interface
// thread) ends the scheduler's thread first, then waits for each worker in
// progress.
//
// Outcomes never depend on timing. Each row's output name is claimed in the
// scheduler's OutputClaims (engine/output_claims.h) when the row is handed
// out, strictly in list order, before its worker starts: the earlier row
// keeps a name, whatever the worker count or which image loads first. The
// claims live as long as the scheduler (the window's whole life): a file
// written from one source is never replaced by another source's output in a
// later run either.
//
// A source is deleted only when the PNG written is another file by identity
// and the source is unchanged since it was read (remove_source.h); the PNG
// is synced first, then checked, then the source deleted. A source with
// several rows in the run (named twice) is settled when its last row is
// reaped: it goes only when every one of them converted. A source reached by
// two names (a link or a hard link beside the file, both listed) is never
// deleted. Otherwise it stays and its rows still say "変換終了".
//
// Ownership: the list, options and window of `host` are not owned and must
// outlive the scheduler.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/event.h"
#include "base/lock.h"
#include "base/thread.h"
#include "engine/convert_file.h"
#include "engine/convert_thread.h"
#include "engine/file_list.h"
#include "engine/output_claims.h"
#include "engine/worker_pool.h"

class ConvertManager final : public kiv::Thread {
 public:
  // What became of one file, told when its worker is reaped.
  struct FileReport {
    enum class SourceFate {
      kNotAsked,  // no source deletion asked, or the conversion failed
      kDeleted,   // the source was deleted
      kKept,      // deletion was asked but the source stays (see above; also a
                  // source that holds more than its PNG)
    };
    int row = -1;  // the row's index in the list when it was reaped
    std::wstring source;
    std::wstring outputPath;  // the row's output path, fixed at registration
    std::wstring stateText;
    std::wstring writtenPath;  // empty unless written
    std::wstring blockedBy;    // "書込失敗" because of this run: see ConvertOutcome
    std::wstring reason;       // why the row failed: see ConvertOutcome
    std::wstring warning;      // what the row's PNG lacks: see ConvertOutcome
    bool keepSource = false;   // the source holds more than its PNG: see ConvertOutcome
    bool unchanged = false;    // converted in place, left as it was: see ConvertOutcome
    // kNoteReachedTwice when the source stays because the list reaches it by
    // two names (with kKept); empty otherwise.
    std::wstring sourceNote;
    // The source's fate, told with the last row of that source in the run
    // (kNotAsked with the others).
    SourceFate sourceFate = SourceFate::kNotAsked;
    std::uint64_t bytesIn = 0;       // the source's size when it was read
    std::uint64_t bytesOut = 0;      // the written PNG's size
    std::uint64_t milliseconds = 0;  // the time the conversion took
  };
  // Called on the scheduler's thread once per reaped worker, in reap order.
  using ReportListener = std::function<void(const FileReport&)>;

  // The scheduler with the real conversion and the system's tick.
  explicit ConvertManager(const EngineHost& host);
  // With a given conversion and clock (tests; morvane-cli, which plans dry
  // runs with one that only reads).
  ConvertManager(const EngineHost& host, FileConverter converter, MillisecondClock clock);
  ~ConvertManager() override;

  // A path waiting to be registered, with the folder below the output
  // folder its output goes to (see RowOutputFolder; empty for none).
  struct PendingFile {
    std::wstring path;
    std::wstring subfolder;
  };

  // Sets the listener told of each reaped file (none by default).
  // REQUIRES: no run is active.
  void SetReportListener(ReportListener listener) { reportListener_ = std::move(listener); }

  // The outputs the runs have claimed and written.
  OutputClaims& Claims() { return claims_; }

  // Files that are sources of rows converted elsewhere (the other parts of a
  // split run): every run notes them with its own rows' sources, so that no
  // output replaces them. REQUIRES: no run is active.
  void SetOtherSources(std::vector<std::wstring> sources) { otherSources_ = std::move(sources); }

  // A plan of a run (a dry run, whose options delete nothing) that would
  // delete its sources: the rows are decided as such a run decides them.
  // REQUIRES: no run is active.
  void PlanSourceDeletion(bool planned) { sourcesDeletedInPlan_ = planned; }

  // Registers one path: at once while no run is active, otherwise at the
  // scheduler's next pass (rows are then added by the scheduler's thread).
  // `subfolder` places its output below the output folder; the window
  // leaves it empty.
  void AddFile(const std::wstring& path, const std::wstring& subfolder = std::wstring());
  // AddFile for each file, in order, with the options read once for all of
  // them. Empties the argument.
  void AddFiles(std::vector<PendingFile>& files);

  // Appends a row per path, in order, each with its output path computed
  // from the current OutSrcDirectory, Output and UpperExtension options (and
  // the file's subfolder). With `makeFolders` the output folder chain, and
  // that of each distinct subfolder, is created once first; without it the
  // rows are registered and nothing on disk changes (a plan of a run).
  // Empties the argument.
  void RegisterFiles(std::vector<std::wstring>& paths);
  void RegisterFiles(std::vector<PendingFile>& files, bool makeFolders = true);

  // Starts a run at the first row with an empty state text, or, during a
  // run, recounts the remaining files and restarts the estimate. True unless
  // a stop was asked while it was starting (in the window, a close served
  // while it waited for the list's lock): then nothing starts, and a run
  // that was going ends as the stop asks.
  bool StartConvert();

  // What the convert button does before starting a new run: every row's
  // state text becomes empty and rows are handed out from the first again.
  // Does nothing while a run is active.
  void ClearRowsForNewRun();

  // Ends the run early: workers in progress finish, no new one starts, and
  // the run ends when the last of them is reaped.
  void RequestStop();

  // Refreshes the title. With true it first notes one more finished file,
  // as the pass does for each worker it reaps (the pass then shows one title
  // for all it reaped); the window's timer calls it with false once a
  // second, which is when the remaining-time estimate is recomputed or
  // counted down.
  void UpdateTitle(bool finishedOne);

  // True from StartConvert until the run ends or a stop is requested.
  bool IsRunning() const { return running_.load(); }
  // Waits until no run is active and the scheduler's thread has suspended
  // itself (or `milliseconds` passed); true when idle.
  bool WaitUntilIdle(uint32_t milliseconds) { return idle_.WaitFor(milliseconds); }
  // Files still to convert in this run (the number in the title).
  int RemainingCount() const { return remainingCount_.load(); }
  // Paths handed to AddFile or AddFiles during a run that the scheduler has
  // not yet made rows of.
  int UnlistedCount() const { return unlistedCount_.load(); }
  // Workers reaped since StartConvert.
  int FinishedCount() const { return finishedCount_.load(); }
  // The remaining-time estimate in seconds; 0 until one is known.
  uint32_t EtaSeconds();

  // Longest wait of an idle pass; bounds how late a raised worker count is
  // noticed while every worker is busy.
  static constexpr uint32_t kPassWaitMilliseconds = 200;
  // Bounds of the estimate's history.
  static constexpr size_t kMaxFinishTimes = 128;
  static constexpr size_t kMaxIntervalSamples = 16;

 private:
  void Run() override;
  // The parts of UpdateTitle: the time of one more finished file, the
  // estimate (REQUIRES: timingLock_ held), and the title itself.
  void NoteFinish();
  void RecomputeEstimate();
  void ShowTitle();
  void Reap(ConvertThread& worker, OptionSet& options);
  // The source's fate once the last of its rows in the run is reaped (none
  // before). Scheduler thread.
  std::optional<FileReport::SourceFate> SettleSource(const ConvertThread& worker, bool converted);
  // Hands out rows while fewer than spConvertNum workers are busy, each
  // with `options`, the options of this pass.
  void StartWorkers(const std::shared_ptr<OptionSet>& options);
  // Ends the run when nothing came in meanwhile; true when the thread has
  // suspended itself.
  bool EndRun();
  bool PendingEmpty();
  int FirstEmptyRow();
  // The sources of the rows from `position` on.
  std::vector<std::wstring> RowSources(int position);
  // A new run over rows with these sources: notes them in the claims (with
  // the other parts' sources) and counts them as waiting.
  void BeginRun(const std::vector<std::wstring>& sources);
  void ClearStatesFrom(int position);

  EngineHost host_;
  OutputClaims claims_;
  FileConverter converter_;
  ReportListener reportListener_;
  MillisecondClock clock_;
  std::vector<std::wstring> otherSources_;
  bool sourcesDeletedInPlan_ = false;

  kiv::CriticalSection pendingLock_;  // guards pendingPaths_
  kiv::CriticalSection timingLock_;   // guards the estimate's fields
  // Guards the moment a run ends against a start or a new file arriving at
  // that moment: running_, ending_, startedDuringPass_ and the decision to
  // suspend. Held only briefly; nothing else is called while it is held.
  kiv::CriticalSection stateLock_;

  kiv::Event wake_{false};  // auto reset: something for the pass to do
  kiv::Event idle_{true};   // manual reset: set while no run is active

  // The threads the workers convert on; outlives them.
  WorkerPool pool_;
  std::list<std::unique_ptr<ConvertThread>> workers_;  // scheduler thread only
  // Rows registered and not yet handed out, by source spelling.
  kiv::CriticalSection waitingLock_;
  std::map<std::wstring, int> waiting_;
  // Rows reaped of sources whose other rows are still to come, by source
  // (the least of its spellings). Scheduler thread only.
  struct ReapedRow {
    std::wstring outputPath;
    ConvertOutcome outcome;
    kiv::FileStamp loaded;
    bool hasLoaded = false;
    bool converted = false;
  };
  std::map<std::wstring, std::vector<ReapedRow>> reaped_;
  std::vector<PendingFile> pendingPaths_;
  std::deque<uint32_t> finishTimes_;
  std::deque<uint32_t> intervalSamples_;
  uint32_t etaSeconds_ = 0;
  int etaCountdown_ = 0;

  std::atomic<int> nextRow_{0};  // changed only under the list's lock
  std::atomic<int> remainingCount_{0};
  std::atomic<int> unlistedCount_{0};
  std::atomic<int> finishedCount_{0};
  std::atomic<int> activeWorkers_{0};
  std::atomic<bool> running_{false};
  // How many stops were asked: a start that sees it change gives way.
  std::atomic<std::uint64_t> stopRequests_{0};
  bool ending_ = false;
  bool startedDuringPass_ = false;
};
