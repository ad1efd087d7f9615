// SpareCores: the processor cores that the conversions leave idle, lent to the pieces of the
// images being written (see image/piece_runner.h and image/png_deflate.h).
//
// A conversion in progress holds a Busy token. A Runner, made by a conversion for its image,
// lets helper threads take pieces of that image while fewer conversions and working helpers than
// its limit are running: the limit is the smaller of the machine's cores and the run's worker
// count, so the last images of a run, or a single image, get the cores their finished neighbours
// left, and a run that keeps every worker busy gets no help and no extra threads at work. The
// writing thread itself runs pieces too, so every piece runs even when no helper ever comes. Which
// thread runs a piece never changes what the piece produces.
//
// Helper threads are started when first wanted (up to one less than the cores) at the priority
// of the engine's threads, and wait for work without using the processor.
//
// Threads: Busy and Runner may be made and used on any thread; a Runner belongs to the thread
// that made it. The object must outlive every Busy and Runner made from it; its destruction ends
// the helper threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "image/png/piece_runner.h"

class SpareCores {
 public:
  // `cores`: the processor cores to count on; 0 asks the system.
  explicit SpareCores(unsigned cores = 0);
  ~SpareCores();
  SpareCores(const SpareCores&) = delete;
  SpareCores& operator=(const SpareCores&) = delete;

  // The one the conversions of this process share. Never destroyed.
  static SpareCores& Shared();

  unsigned Cores() const { return cores_; }

  // Counts one conversion in progress for as long as it lives.
  class Busy {
   public:
    explicit Busy(SpareCores& cores);
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    SpareCores& cores_;
  };

  // Runs the pieces of one image on the calling thread and on the helpers that the limit lets in.
  class Runner final : public PieceRunner {
   public:
    // `workers`: the run's worker count (at least 1).
    Runner(SpareCores& cores, int workers);
    unsigned Lanes() override { return limit_; }
    void Run(size_t pieces, const std::function<void(size_t, unsigned)>& work) override;

   private:
    SpareCores& cores_;
    unsigned limit_;
  };

 private:
  struct Job;
  class Helper;
  friend class Helper;

  // The helper's loop: takes pieces while there are any it may take, waits otherwise. Returns
  // when the object is being destroyed.
  void Help();
  // A job whose pieces a helper may take now, or null. Called with mutex_ held.
  Job* OpenJob();
  // Starts helpers until there are `count` (at most cores - 1). Called with mutex_ held.
  void StartHelpers(unsigned count);

  const unsigned cores_;
  std::mutex mutex_;
  std::condition_variable work_;  // a job came, a conversion ended, or the end
  std::condition_variable done_;  // a piece of some job is done
  std::vector<Job*> jobs_;        // jobs with pieces not yet taken
  unsigned busy_ = 0;             // conversions in progress
  unsigned helping_ = 0;          // helpers running a piece
  bool ending_ = false;
  std::vector<std::unique_ptr<Helper>> helpers_;
};
