// Helper threads that take pieces of the images being written while cores are idle.
#include "engine/spare_cores.h"

#include <algorithm>
#include <thread>

#include "base/thread.h"

struct SpareCores::Job {
  const std::function<void(size_t, unsigned)>* work = nullptr;
  size_t pieces = 0;
  size_t taken = 0;
  size_t done = 0;
  unsigned limit = 1;
  std::vector<bool> laneInUse;  // lane 0 is the writing thread's
};

class SpareCores::Helper final : public kiv::Thread {
 public:
  explicit Helper(SpareCores& cores) : cores_(cores) {
    Start();
    Resume();
  }
  ~Helper() override { Stop(); }

 private:
  void Run() override {
    cores_.Help();
    Finish();
  }

  SpareCores& cores_;
};

SpareCores::SpareCores(unsigned cores)
    : cores_(std::max(1u, cores != 0 ? cores : std::thread::hardware_concurrency())) {}

SpareCores::~SpareCores() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    ending_ = true;
  }
  work_.notify_all();
  helpers_.clear();  // each joins its thread
}

SpareCores& SpareCores::Shared() {
  static SpareCores* const shared = new SpareCores();
  return *shared;
}

SpareCores::Busy::Busy(SpareCores& cores) : cores_(cores) {
  std::lock_guard<std::mutex> hold(cores_.mutex_);
  ++cores_.busy_;
}

SpareCores::Busy::~Busy() {
  {
    std::lock_guard<std::mutex> hold(cores_.mutex_);
    --cores_.busy_;
  }
  cores_.work_.notify_all();
}

SpareCores::Runner::Runner(SpareCores& cores, int workers)
    : cores_(cores), limit_(std::min(cores.Cores(), static_cast<unsigned>(std::max(1, workers)))) {}

void SpareCores::Runner::Run(size_t pieces, const std::function<void(size_t, unsigned)>& work) {
  if (limit_ <= 1 || pieces <= 1) {
    for (size_t piece = 0; piece < pieces; ++piece) {
      work(piece, 0);
    }
    return;
  }
  Job job;
  job.work = &work;
  job.pieces = pieces;
  job.limit = limit_;
  job.laneInUse.assign(limit_, false);
  job.laneInUse[0] = true;
  std::unique_lock<std::mutex> hold(cores_.mutex_);
  cores_.jobs_.push_back(&job);
  cores_.StartHelpers(limit_ - 1);
  cores_.work_.notify_all();
  while (job.taken < job.pieces) {
    const size_t piece = job.taken++;
    if (job.taken == job.pieces) {
      cores_.jobs_.erase(std::find(cores_.jobs_.begin(), cores_.jobs_.end(), &job));
    }
    hold.unlock();
    work(piece, 0);
    hold.lock();
    ++job.done;
  }
  cores_.done_.wait(hold, [&job] { return job.done == job.pieces; });
}

SpareCores::Job* SpareCores::OpenJob() {
  for (Job* job : jobs_) {
    if (busy_ + helping_ < job->limit &&
        std::find(job->laneInUse.begin(), job->laneInUse.end(), false) != job->laneInUse.end()) {
      return job;
    }
  }
  return nullptr;
}

void SpareCores::StartHelpers(unsigned count) {
  count = std::min(count, cores_ - 1);
  while (helpers_.size() < count) {
    helpers_.push_back(std::make_unique<Helper>(*this));
  }
}

void SpareCores::Help() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    Job* job = nullptr;
    work_.wait(hold, [&] { return ending_ || (job = OpenJob()) != nullptr; });
    if (ending_) {
      return;
    }
    const auto free = std::find(job->laneInUse.begin(), job->laneInUse.end(), false);
    *free = true;
    const unsigned lane = static_cast<unsigned>(free - job->laneInUse.begin());
    const size_t piece = job->taken++;
    if (job->taken == job->pieces) {
      jobs_.erase(std::find(jobs_.begin(), jobs_.end(), job));
    }
    ++helping_;
    hold.unlock();
    (*job->work)(piece, lane);
    hold.lock();
    --helping_;
    job->laneInUse[lane] = false;
    ++job->done;
    done_.notify_all();
    work_.notify_all();  // the core is free again for another job
  }
}
