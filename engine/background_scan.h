// BackgroundScan: runs a registration's folder searches on a thread of their
// own and hands the accepted paths to the caller in the order they were
// found, so that a window's thread registers them without ever waiting for a
// whole folder listing (a search of a folder with 150,000 files takes about a
// second under Wine).
//
// The job is one of registration's scans (ScanFolder, RegisterDroppedPath,
// MatchesFilter over chosen files) given the sink and the tick of the scan
// thread. Accepted paths wait in a queue of at most kMaxWaiting; the scan
// thread pauses while it is full. Take moves them to the caller. The paths,
// their order and their number are exactly those of the job run on the
// caller's own thread.
//
// Threads: the constructor starts the scan thread (a plain thread at normal
// priority: a registration is the user's interactive work, not background
// conversion). Take, Cancel and destruction are called from the thread that
// made the object. The job runs on the scan thread and must read nothing that
// belongs to the caller's thread (options are read before, into a copy).
// When no thread can be had, the job runs to its end inside the constructor
// and Take hands its paths over all the same.
//
// Errors: the job's own (an unreadable folder) are its return values and
// sinks; should memory run out, the job ends there, its paths so far stand,
// and no exception leaves the scan thread.
//
// Ownership: the object owns the scan thread; destruction cancels the job
// (its tick answers false from then on, so a scan ends at its next name) and
// waits for the thread to end.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/registration.h"

class BackgroundScan {
 public:
  // Most accepted paths waiting for Take before the scan thread pauses.
  static constexpr std::size_t kMaxWaiting = 4096;

  using Job = std::function<void(const PathSink& accept, const ScanTick& tick)>;

  explicit BackgroundScan(Job job);
  ~BackgroundScan();
  BackgroundScan(const BackgroundScan&) = delete;
  BackgroundScan& operator=(const BackgroundScan&) = delete;

  // Waits at most `milliseconds` for paths, then replaces the contents of
  // `paths` with at most `most` of the waiting ones, the oldest first.
  // Returns false once the job has ended and every path was taken (`paths`
  // is then empty); true otherwise, also when the wait ended with none.
  // REQUIRES: most > 0.
  bool Take(std::vector<std::wstring>& paths, std::size_t most, unsigned milliseconds);

  // Ends the job at its next tick; paths accepted before stay to be taken.
  void Cancel();

 private:
  void Run();
  void Accept(const std::wstring& path);
  bool Tick();

  Job job_;
  std::mutex mutex_;
  std::condition_variable changed_;  // a path came or went, the job ended or was cancelled
  std::deque<std::wstring> waiting_;
  bool ended_ = false;
  bool cancelled_ = false;
  std::thread thread_;
};
