// Replays, through the fuzz targets' own checks, every seed and every saved input that once made
// a target fail (fuzz/regressions/<target>/). A regression aborts the test with the check's
// message, or is caught by the sanitizers of this build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/seeds.h"
#include "fuzz/targets.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class FuzzRegression : public ::testing::TestWithParam<fuzzing::Target> {};

TEST_P(FuzzRegression, SeedsPassEveryCheck) {
  const fuzzing::Target& target = GetParam();
  const std::vector<fuzzing::Seed> seeds = fuzzing::MakeSeeds(target.name);
  ASSERT_FALSE(seeds.empty());
  for (const fuzzing::Seed& seed : seeds) {
    SCOPED_TRACE(seed.name);
    // Seeds are inputs the target is made for: none may be turned away.
    EXPECT_EQ(target.run(seed.bytes.data(), seed.bytes.size()), 0);
  }
}

TEST_P(FuzzRegression, SavedFindingsStayFixed) {
  const fuzzing::Target& target = GetParam();
  const fs::path folder = fs::path(MORVANE_FUZZ_REGRESSIONS_DIR) / target.name;
  if (!fs::is_directory(folder)) {
    GTEST_SKIP() << "no saved findings for " << target.name;
  }
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<uint8_t> bytes = ReadAll(entry.path());
    target.run(bytes.data(), bytes.size());  // aborts on a failed check
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

// Inputs no target wants are turned away, not crashed on.
TEST(FuzzTargets, EmptyAndTinyInputsAreHandled) {
  const uint8_t bytes[] = {'B', 'M', 0x89, 'P', 0xFF, 0xD8};
  for (const fuzzing::Target& target : fuzzing::AllTargets()) {
    SCOPED_TRACE(target.name);
    for (size_t n = 0; n <= sizeof bytes; ++n) {
      const int result = target.run(n == 0 ? nullptr : bytes, n);
      EXPECT_TRUE(result == 0 || result == -1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllTargets, FuzzRegression, ::testing::ValuesIn(fuzzing::AllTargets()),
                         [](const ::testing::TestParamInfo<fuzzing::Target>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
