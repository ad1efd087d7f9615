// PieceRunner: how the PNG writer has the pieces of one image compressed, one after another on
// the calling thread or side by side on other threads.
//
// The image codecs start no thread of their own. A caller that has processor cores to spare
// passes a PieceRunner that spreads the pieces over them (engine/spare_cores.h); without one, the
// writer runs every piece itself, in order. What each piece produces depends on the piece alone,
// so the output is the same whoever runs it.
//
// Threads: Run is called by the thread that writes the image and returns only when every piece
// has been run; `work` is then called on that thread and on others, never twice with one lane at
// once.
#pragma once

#include <cstddef>
#include <functional>

class PieceRunner {
 public:
  PieceRunner() = default;
  PieceRunner(const PieceRunner&) = delete;
  PieceRunner& operator=(const PieceRunner&) = delete;
  virtual ~PieceRunner() = default;

  // The pieces of one Run are worked on by at most this many threads at once (at least 1).
  virtual unsigned Lanes() = 0;

  // Calls work(piece, lane) once for every piece from 0 to pieces - 1, with a lane below Lanes()
  // that no other call in progress has: state kept per lane is never shared. Pieces start in
  // order (the call for a piece starts only once the calls for all lower pieces have started),
  // so a piece may wait for one below it. Returns when every call has returned.
  // REQUIRES: `work` does not throw.
  virtual void Run(size_t pieces, const std::function<void(size_t piece, unsigned lane)>& work) = 0;
};

// Runs every piece on the calling thread, in order, with lane 0.
class SerialPieceRunner final : public PieceRunner {
 public:
  unsigned Lanes() override { return 1; }
  void Run(size_t pieces, const std::function<void(size_t piece, unsigned lane)>& work) override {
    for (size_t piece = 0; piece < pieces; ++piece) {
      work(piece, 0);
    }
  }
};
