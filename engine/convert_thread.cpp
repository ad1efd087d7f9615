#include "engine/convert_thread.h"

#include <utility>

#include "base/clock.h"
#include "base/event.h"
#include "engine/option_set.h"

ConvertThread::ConvertThread(const EngineHost& host, FileEntry* entry, RowJob job,
                             FileConverter converter, kiv::Event* done)
    : host_(host),
      entry_(entry),
      job_(std::move(job)),
      converter_(std::move(converter)),
      done_(done) {
  const bool threaded = Start();
  host_.list.SetItemText(entry_, kStateConverting, kColumnState);
  host_.list.EnsureVisible(entry_);
  if (threaded) {
    Resume();
  } else {
    // No thread could be made: convert right here rather than leave the row
    // waiting for a worker that never runs.
    Run();
  }
}

ConvertThread::~ConvertThread() {
  Stop();
}

void ConvertThread::Run() {
  // Taken before reading: a change made while the file is read or converted
  // then shows as a different stamp when the source is about to be deleted.
  const uint32_t started = TickMilliseconds();
  hasSourceStamp_ = kiv::ReadFileStamp(job_.source, &sourceStamp_);
  outcome_ = converter_(job_, host_.options);
  milliseconds_ = TickMilliseconds() - started;
  if (outcome_.stateText) {
    host_.list.SetItemText(entry_, *outcome_.stateText, kColumnState);
  }

  kiv::Event* done = done_;
  Finish();
  if (done != nullptr) {
    done->Set();
  }
}
