// ConvertThread: the worker that converts exactly one row of the file list.
//
// The scheduler creates one per row it hands out. Construction marks the row
// "変換中...", scrolls it into view and lets the worker's thread (idle
// priority in the window, normal in morvane-cli) run once: it stamps the
// source (identity, size, time: see SourceStamp), converts it to its output
// path and writes the verdict ("変換終了", "読込失敗", "書込失敗") into the row, then
// sets its `finished` flag and signals the scheduler's wake event. The
// scheduler reaps it once IsFinished() is true; destruction joins the thread.
//
// Threads: construct, read and destroy from the scheduler's thread. The row,
// the list, the options and the wake event must outlive the worker.
#pragma once

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
  // worker runs; `claims` (may be null) outlives the worker. `done` (may be
  // null) is set once the worker has finished.
  ConvertThread(const EngineHost& host, FileEntry* entry, FileConverter converter,
                OutputClaims* claims, kiv::Event* done);
  ~ConvertThread() override;

  FileEntry* Entry() const { return entry_; }
  // The file the worker wrote; empty unless it wrote one.
  // REQUIRES: IsFinished().
  const std::wstring& WrittenPath() const { return writtenPath_; }
  // The source's stamp taken just before it was read; false when the source
  // could not be examined then. REQUIRES: IsFinished().
  bool SourceStamp(kiv::FileStamp* stamp) const {
    *stamp = sourceStamp_;
    return hasSourceStamp_;
  }
  // The written PNG's stamp taken right after it was written; false when
  // nothing was written or it could not be examined. REQUIRES: IsFinished().
  bool WrittenStamp(kiv::FileStamp* stamp) const {
    *stamp = writtenStamp_;
    return hasWrittenStamp_;
  }
  // For "書込失敗" caused by the run itself: the source whose output (or the
  // source itself) was in the way. REQUIRES: IsFinished().
  const std::wstring& BlockedBy() const { return blockedBy_; }
  // The source holds more than the PNG written of it (ConvertOutcome::
  // keepSource): it must not be deleted. REQUIRES: IsFinished().
  bool KeepsSource() const { return keepsSource_; }

 private:
  void Run() override;

  EngineHost host_;
  FileEntry* entry_;
  FileConverter converter_;
  OutputClaims* claims_;
  kiv::Event* done_;
  std::wstring writtenPath_;
  std::wstring blockedBy_;
  kiv::FileStamp sourceStamp_;
  bool hasSourceStamp_ = false;
  kiv::FileStamp writtenStamp_;
  bool hasWrittenStamp_ = false;
  bool keepsSource_ = false;
};
