// ConvertThread: the worker that converts exactly one row of the file list.
//
// The scheduler creates one per row it hands out, with the overwrite decision
// it took for the row in list order (RowJob). Construction marks the row
// "変換中...", scrolls it into view and lets the worker's thread (idle
// priority in the window, normal in morvane-cli) run once: it stamps the
// source (identity, size, time: see SourceStamp), converts it as decided
// and writes the verdict ("変換終了", "読込失敗", "書込失敗") into the row, then
// sets its `finished` flag and signals the scheduler's wake event. The
// scheduler reaps it once IsFinished() is true; destruction joins the thread.
//
// Threads: construct, read and destroy from the scheduler's thread. The row,
// the list, the options and the wake event must outlive the worker.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_identity.h"
#include "base/thread.h"
#include "engine/convert_file.h"
#include "engine/file_list.h"

namespace kiv {
class Event;
}

class ConvertThread final : public kiv::Thread {
 public:
  // REQUIRES: `entry` is a row of host.list that nobody removes while the
  // worker runs; job.claims outlives the worker. `done` (may be null) is set
  // once the worker has finished.
  ConvertThread(const EngineHost& host, FileEntry* entry, RowJob job, FileConverter converter,
                kiv::Event* done);
  ~ConvertThread() override;

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
  void Run() override;

  EngineHost host_;
  FileEntry* entry_;
  RowJob job_;
  FileConverter converter_;
  kiv::Event* done_;
  ConvertOutcome outcome_;
  uint64_t milliseconds_ = 0;
  kiv::FileStamp sourceStamp_;
  bool hasSourceStamp_ = false;
};
