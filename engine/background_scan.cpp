#include "engine/background_scan.h"

#include <chrono>
#include <exception>
#include <system_error>
#include <utility>

BackgroundScan::BackgroundScan(Job job) : job_(std::move(job)) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread: the caller's own thread does the work, unbounded by the
    // queue's limit (nobody takes while it runs).
    const PathSink accept = [this](const std::wstring& path) {
      std::lock_guard<std::mutex> hold(mutex_);
      waiting_.push_back(path);
    };
    const ScanTick tick = [] { return true; };
    try {
      job_(accept, tick);
    } catch (const std::exception&) {
      // Memory ran out: the paths so far stand, as from a cancelled scan.
    }
    ended_ = true;
  }
}

BackgroundScan::~BackgroundScan() {
  Cancel();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void BackgroundScan::Run() {
  try {
    job_([this](const std::wstring& path) { Accept(path); }, [this] { return Tick(); });
  } catch (const std::exception&) {
    // Memory ran out: the paths so far stand, as from a cancelled scan. No
    // exception leaves the scan thread.
  }
  std::lock_guard<std::mutex> hold(mutex_);
  ended_ = true;
  changed_.notify_all();
}

void BackgroundScan::Accept(const std::wstring& path) {
  std::unique_lock<std::mutex> hold(mutex_);
  changed_.wait(hold, [this] { return cancelled_ || waiting_.size() < kMaxWaiting; });
  if (cancelled_) {
    return;  // nobody takes it any more
  }
  waiting_.push_back(path);
  changed_.notify_all();
}

bool BackgroundScan::Tick() {
  std::lock_guard<std::mutex> hold(mutex_);
  return !cancelled_;
}

bool BackgroundScan::Take(std::vector<std::wstring>& paths, std::size_t most,
                          unsigned milliseconds) {
  paths.clear();
  std::unique_lock<std::mutex> hold(mutex_);
  changed_.wait_for(hold, std::chrono::milliseconds(milliseconds),
                    [this] { return ended_ || !waiting_.empty(); });
  while (!waiting_.empty() && paths.size() < most) {
    paths.push_back(std::move(waiting_.front()));
    waiting_.pop_front();
  }
  if (!paths.empty()) {
    changed_.notify_all();  // room again for a paused scan
  }
  return !(ended_ && waiting_.empty() && paths.empty());
}

void BackgroundScan::Cancel() {
  std::lock_guard<std::mutex> hold(mutex_);
  cancelled_ = true;
  changed_.notify_all();
}
