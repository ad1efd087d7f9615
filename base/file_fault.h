// A process-wide fault seam for tests: once armed, disk operations of
// kiv::File and kiv::ReplacingFile fail as if the disk were full or the
// file system refused, so that tests can check that nothing is lost when a
// write fails.
//
// Disarmed (the normal state) the seam costs one relaxed atomic load per
// disk operation. Arm, Disarm and the checks are thread-safe; the plan
// applies to every thread's streams at once.
#pragma once

#include <cstdint>
#include <string>

namespace kiv {

enum class FaultStep {
  kOpenWrite,  // opening a file for writing fails (OpenWrite, OpenCreateNew)
  kWrite,      // writes succeed for `after_bytes` bytes in total, then fail
  kFlush,      // flushing a file fails
  kClose,      // closing a file that was opened for writing fails
  kMove,       // moving a finished temporary over its target fails
  kNoLinks,    // POSIX: the file system has neither hard links nor a move that
               // refuses to replace (the exclusive move takes its other way)
  kCorrupt,    // a finished temporary of kiv::ReplacingFile silently holds other bytes
               // than were written (one byte in its middle flipped), as a failing disk
               // or cable would leave it; matched against the temporary's path
};

struct FaultPlan {
  FaultStep step = FaultStep::kWrite;
  // kWrite only: bytes that may still be written (summed over every
  // matching stream) before writes fail; a write that crosses the budget
  // writes the part that fits and then fails, like a full disk.
  std::uint64_t after_bytes = 0;
  // Only paths containing this text are affected; empty: every path. For
  // kMove the target's path is matched.
  std::wstring path_contains;
};

// Arms `plan`, replacing any plan armed before, and resets the hit count.
void ArmFault(const FaultPlan& plan);

// Disarms the seam; disk operations behave normally again.
void DisarmFault();

// How many operations the armed plan has failed since it was armed.
int FaultHits();

// Arms a plan for the lifetime of the object (tests).
class ScopedFault {
 public:
  explicit ScopedFault(const FaultPlan& plan) { ArmFault(plan); }
  ~ScopedFault() { DisarmFault(); }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;
};

namespace fault {
// Called by the stream, the replacing writer and SyncToDisk (not by other
// code).
// Returns true when the operation on `path` must fail.
bool ShouldFail(FaultStep step, const std::wstring& path);
// For kWrite: how many of `count` bytes may be written to `path`; fewer than
// `count` means the write must fail after that many bytes.
std::uint32_t AllowedWrite(const std::wstring& path, std::uint32_t count);
}  // namespace fault

}  // namespace kiv
