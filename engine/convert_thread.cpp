#include "engine/convert_thread.h"

#include <utility>

#include "base/event.h"
#include "engine/option_set.h"

ConvertThread::ConvertThread(const EngineHost& host, FileEntry* entry, FileConverter converter,
                             OutputClaims* claims, kiv::Event* done)
    : host_(host), entry_(entry), converter_(std::move(converter)), claims_(claims), done_(done) {
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
  const std::wstring source = host_.list.GetItemText(entry_, kColumnSource);
  const std::wstring output = host_.list.GetOutputPath(entry_);
  // Taken before reading: a change made while the file is read or converted
  // then shows as a different stamp when the source is about to be deleted.
  hasSourceStamp_ = kiv::ReadFileStamp(source, &sourceStamp_);
  ConvertOutcome outcome = converter_(source, output, host_.options, claims_);
  if (outcome.stateText) {
    host_.list.SetItemText(entry_, *outcome.stateText, kColumnState);
  }
  writtenPath_ = std::move(outcome.writtenPath);
  hasWrittenStamp_ = !writtenPath_.empty() && kiv::ReadFileStamp(writtenPath_, &writtenStamp_);
  blockedBy_ = std::move(outcome.blockedBy);
  keepsSource_ = outcome.keepSource;

  kiv::Event* done = done_;
  Finish();
  if (done != nullptr) {
    done->Set();
  }
}
