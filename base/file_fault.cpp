#include "base/file_fault.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace kiv {
namespace {

std::atomic<bool> g_armed{false};

struct FaultState {
  std::mutex mutex;
  FaultPlan plan;
  std::uint64_t budget = 0;
  int hits = 0;
};

FaultState& State() {
  static FaultState state;
  return state;
}

bool Matches(const FaultPlan& plan, const std::wstring& path) {
  return plan.path_contains.empty() || path.find(plan.path_contains) != std::wstring::npos;
}

}  // namespace

void ArmFault(const FaultPlan& plan) {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.plan = plan;
  state.budget = plan.after_bytes;
  state.hits = 0;
  g_armed.store(true, std::memory_order_release);
}

void DisarmFault() {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  g_armed.store(false, std::memory_order_release);
}

int FaultHits() {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.hits;
}

namespace fault {

bool ShouldFail(FaultStep step, const std::wstring& path) {
  if (!g_armed.load(std::memory_order_relaxed)) {
    return false;
  }
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!g_armed.load(std::memory_order_relaxed) || state.plan.step != step ||
      !Matches(state.plan, path)) {
    return false;
  }
  ++state.hits;
  return true;
}

std::uint32_t AllowedWrite(const std::wstring& path, std::uint32_t count) {
  if (!g_armed.load(std::memory_order_relaxed)) {
    return count;
  }
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!g_armed.load(std::memory_order_relaxed) || state.plan.step != FaultStep::kWrite ||
      !Matches(state.plan, path)) {
    return count;
  }
  const auto allowed = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, state.budget));
  state.budget -= allowed;
  if (allowed < count) {
    ++state.hits;
  }
  return allowed;
}

}  // namespace fault
}  // namespace kiv
