#include "engine/convert_thread.h"

#include <utility>

#include "base/clock.h"
#include "engine/option_set.h"
#include "engine/worker_pool.h"

ConvertThread::ConvertThread(const EngineHost& host, std::shared_ptr<OptionSet> options,
                             FileEntry* entry, RowJob job, FileConverter converter,
                             kiv::Event* done, WorkerPool& pool)
    : host_(host),
      options_(std::move(options)),
      entry_(entry),
      job_(std::move(job)),
      converter_(std::move(converter)),
      done_(done) {
  host_.list.SetItemText(entry_, kStateConverting, kColumnState);
  host_.list.EnsureVisible(entry_);
  if (!pool.Run([this] { Convert(); }, [this] { Finish(); })) {
    // No thread could be made: convert right here rather than leave the row
    // waiting for a worker that never runs.
    Convert();
    Finish();
  }
}

ConvertThread::~ConvertThread() {
  ended_.Wait();
}

void ConvertThread::Convert() {
  // Taken before reading: a change made while the file is read or converted
  // then shows as a different stamp when the source is about to be deleted.
  const uint32_t started = TickMilliseconds();
  hasSourceStamp_ = kiv::ReadFileStamp(job_.source, &sourceStamp_);
  outcome_ = converter_(job_, *options_);
  milliseconds_ = TickMilliseconds() - started;
  if (outcome_.stateText) {
    host_.list.SetItemText(entry_, *outcome_.stateText, kColumnState);
  }
}

void ConvertThread::Finish() {
  finished_.store(true, std::memory_order_release);
  // The scheduler's wake event lives as long as the scheduler, which waits
  // for ended_ before it goes: it is set first. The destruction this object
  // waits for may go on once ended_ is set, so nothing of it is used after.
  if (done_ != nullptr) {
    done_->Set();
  }
  ended_.Set();
}
