// Every fuzz target in one list, for the seed maker and the regression test.
#include "fuzz/targets.h"

namespace fuzzing {

const std::vector<Target>& AllTargets() {
  static const std::vector<Target> targets = [] {
    std::vector<Target> all = ImageTargets();
    const std::vector<Target>& inputs = InputTargets();
    all.insert(all.end(), inputs.begin(), inputs.end());
    return all;
  }();
  return targets;
}

}  // namespace fuzzing
