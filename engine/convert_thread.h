// ConvertThread: the worker that converts exactly one row of the file list.
//
// The scheduler creates one per row it hands out, with the overwrite decision
// it took for the row in list order (RowJob) and the options of its pass.
// Construction marks the row "変換中...", scrolls it into view and hands the
// conversion to a thread of the scheduler's WorkerPool (idle priority in the
// window, normal in morvane-cli): it stamps the source (identity, size, time:
// see SourceStamp), converts it as decided and writes the verdict
// ("変換終了", "読込失敗", "書込失敗") into the row, then sets its `finished`
// flag and signals the scheduler's wake event. The scheduler reaps it once
// IsFinished() is true; destruction waits for the conversion to end.
//
// Threads: construct, read and destroy from the scheduler's thread. The row,
// the list, the pool and the wake event must outlive the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/event.h"
#include "base/file_identity.h"
#include "engine/convert_file.h"
#include "engine/file_list.h"

class WorkerPool;

class ConvertThread final {
 public:
  // REQUIRES: `entry` is a row of host.list that nobody removes while the
  // worker runs; job.claims outlives the worker. `done` (may be null) is set
  // once the worker has finished. Converts on the calling thread when the
  // pool can run nothing.
  ConvertThread(const EngineHost& host, std::shared_ptr<OptionSet> options, FileEntry* entry,
                RowJob job, FileConverter converter, kiv::Event* done, WorkerPool& pool);
  ~ConvertThread();
  ConvertThread(const ConvertThread&) = delete;
  ConvertThread& operator=(const ConvertThread&) = delete;

  bool IsFinished() const { return finished_.load(std::memory_order_acquire); }
  FileEntry* Entry() const { return entry_; }
  const RowJob& Job() const { return job_; }
  // What the conversion ended in. REQUIRES: IsFinished().
  const ConvertOutcome& Outcome() const { return outcome_; }
  // The time the conversion took. REQUIRES: IsFinished().
  uint64_t Milliseconds() const { return milliseconds_; }
  // The source's stamp taken just before it was read; false when the source
  // could not be examined then. REQUIRES: IsFinished().
  bool SourceStamp(kiv::FileStamp* stamp) const {
    *stamp = sourceStamp_;
    return hasSourceStamp_;
  }

 private:
  void Convert();
  void Finish();

  EngineHost host_;
  std::shared_ptr<OptionSet> options_;
  FileEntry* entry_;
  RowJob job_;
  FileConverter converter_;
  kiv::Event* done_;
  ConvertOutcome outcome_;
  uint64_t milliseconds_ = 0;
  kiv::FileStamp sourceStamp_;
  bool hasSourceStamp_ = false;
  kiv::Event ended_{true};  // manual reset: set once Finish has run
  std::atomic<bool> finished_{false};
};
