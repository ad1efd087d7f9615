// The libFuzzer entry of one fuzz target; the build compiles this file once per target with
// MORVANE_FUZZ_TARGET set to the target's name and MORVANE_FUZZ_LIST to the function that lists
// it (ImageTargets or InputTargets), so that each executable links only the code it fuzzes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/targets.h"

#ifndef MORVANE_FUZZ_TARGET
#error "MORVANE_FUZZ_TARGET names the target this executable runs"
#endif
#ifndef MORVANE_FUZZ_LIST
#error "MORVANE_FUZZ_LIST names the list that holds the target"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzzing::Target* const target =
      fuzzing::FindTarget(fuzzing::MORVANE_FUZZ_LIST(), MORVANE_FUZZ_TARGET);
  if (target == nullptr) {
    std::fprintf(stderr, "unknown fuzz target %s\n", MORVANE_FUZZ_TARGET);
    std::abort();
  }
  return target->run(data, size);
}
