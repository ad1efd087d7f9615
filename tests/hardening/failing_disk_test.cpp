// Failing disks: a write that fails at any byte, at the flush, at the close or at the final move
// ends as "書込失敗" and leaves no partial PNG and no temporary behind; what stood at the target
// (an earlier output, a source converted in place) stays as it was; a source whose PNG failed is
// never deleted; and the settings file keeps its previous contents when its save fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/file_fault.h"
#include "base/path.h"
#include "base/unicode.h"
#include "engine/convert_file.h"
#include "engine/file_list.h"
#include "engine/memory_options.h"
#include "image/bitmap.h"
#include "settings/data_file.h"
#include "settings/data_node.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/temp_dir.h"

using hardening::AllNames;
using kiv::FaultPlan;
using kiv::FaultStep;

namespace {

// Faults injected over the whole test program, reported at its end (bench/reliability reads it).
int injectedFaults = 0;

class FaultReport : public ::testing::Environment {
 public:
  void TearDown() override { std::printf("faults injected: %d\n", injectedFaults); }
};
const auto* const faultReport = ::testing::AddGlobalTestEnvironment(new FaultReport);

// A fault plan armed for a scope, whose hits are added to the program's count.
class CountedFault {
 public:
  explicit CountedFault(const FaultPlan& plan) : fault_(plan) {}
  ~CountedFault() { injectedFaults += kiv::FaultHits(); }
  CountedFault(const CountedFault&) = delete;
  CountedFault& operator=(const CountedFault&) = delete;

 private:
  kiv::ScopedFault fault_;
};

// The bytes of the PNG that ConvertFile writes for `source` with the default options.
std::vector<uint8_t> ExpectedPng(const std::wstring& source) {
  Bitmap image;
  std::vector<uint8_t> png;
  EXPECT_TRUE(image.Load(source));
  EXPECT_TRUE(image.EncodePng(png, kDefaultCompressLevel, false));
  return png;
}

enum class Target { kFresh, kReplaced };

// Every way the disk can refuse a PNG of `size` bytes: at its first, second, middle and last
// byte, at the close, at the move into place, when the temporary cannot even be created, and,
// where the PNG replaces a file (only then is it flushed before the move), at the flush.
std::vector<FaultPlan> EveryFailure(uint64_t size, const std::wstring& where, Target target) {
  std::vector<FaultPlan> plans;
  for (uint64_t budget : {uint64_t{0}, uint64_t{1}, size / 2, size - 1}) {
    plans.push_back(FaultPlan{FaultStep::kWrite, budget, where});
  }
  for (FaultStep step : {FaultStep::kClose, FaultStep::kMove, FaultStep::kOpenWrite}) {
    plans.push_back(FaultPlan{step, 0, where});
  }
  if (target == Target::kReplaced) {
    plans.push_back(FaultPlan{FaultStep::kFlush, 0, where});
  }
  return plans;
}

std::string Describe(const FaultPlan& plan) {
  const char* steps[] = {"open", "write", "flush", "close", "move"};
  return std::string(steps[static_cast<int>(plan.step)]) + " after " +
         std::to_string(plan.after_bytes) + " bytes";
}

class FailingDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kiv::MakeDirectory(out));
    source = dir / L"写真.bmp";
    ASSERT_TRUE(testimg::WriteFileBytes(source, hardening::NoiseBmp(40, 30, 5)));
    sourceBytes = testimg::ReadFileBytes(source);
    png = ExpectedPng(source);
    ASSERT_GT(png.size(), 1000u);
  }

  testimg::TempDir dir;
  const std::wstring out = dir / L"出力";
  std::wstring source;
  std::vector<uint8_t> sourceBytes;
  std::vector<uint8_t> png;
  MemoryOptionSet options;
};

TEST_F(FailingDiskTest, EveryFailurePointLeavesNoFileAndReportsWriteFailure) {
  const std::wstring target = kiv::AddSeparator(out) + L"写真.png";
  for (const FaultPlan& plan : EveryFailure(png.size(), out, Target::kFresh)) {
    SCOPED_TRACE(Describe(plan));
    CountedFault fault(plan);
    const ConvertOutcome outcome = ConvertFile(source, target, options);
    EXPECT_GT(kiv::FaultHits(), 0);
    ASSERT_TRUE(outcome.stateText.has_value());
    EXPECT_EQ(*outcome.stateText, kStateWriteFailed);
    EXPECT_TRUE(outcome.writtenPath.empty());
    EXPECT_EQ(AllNames(out), std::vector<std::wstring>{});
    EXPECT_EQ(testimg::ReadFileBytes(source), sourceBytes);
  }
  // With room for exactly the whole PNG the same conversion succeeds: the budgets above were
  // really cut inside the file.
  CountedFault exact(FaultPlan{FaultStep::kWrite, png.size(), out});
  const ConvertOutcome outcome = ConvertFile(source, target, options);
  ASSERT_TRUE(outcome.stateText.has_value());
  EXPECT_EQ(*outcome.stateText, kStateConverted);
  EXPECT_EQ(testimg::ReadFileBytes(target), png);
}

TEST_F(FailingDiskTest, FailingAtEachSingleByteNeverLeavesAPartialPng) {
  const std::wstring small = dir / L"small.bmp";
  ASSERT_TRUE(testimg::WriteFileBytes(small, hardening::NoiseBmp(6, 5, 9)));
  const std::vector<uint8_t> expected = ExpectedPng(small);
  const std::wstring target = kiv::AddSeparator(out) + L"small.png";
  for (uint64_t budget = 0; budget < expected.size(); ++budget) {
    CountedFault fault(FaultPlan{FaultStep::kWrite, budget, out});
    const ConvertOutcome outcome = ConvertFile(small, target, options);
    ASSERT_TRUE(outcome.stateText.has_value());
    ASSERT_EQ(*outcome.stateText, kStateWriteFailed) << "budget " << budget;
    ASSERT_EQ(AllNames(out), std::vector<std::wstring>{}) << "budget " << budget;
  }
}

// Converts `from` onto `target`, where `earlier` already stands, under every failure of `kind`:
// each ends "書込失敗" and leaves the folder holding only `target` with its earlier bytes.
void ExpectEveryFailureKeepsTheEarlierFile(const std::wstring& from, const std::wstring& target,
                                           const std::vector<uint8_t>& earlier, uint64_t size,
                                           Target kind, MemoryOptionSet& options) {
  const std::wstring folder = kiv::RemoveFileSpec(target);
  for (const FaultPlan& plan : EveryFailure(size, folder, kind)) {
    SCOPED_TRACE(Describe(plan));
    CountedFault fault(plan);
    const ConvertOutcome outcome = ConvertFile(from, target, options);
    ASSERT_TRUE(outcome.stateText.has_value());
    EXPECT_EQ(*outcome.stateText, kStateWriteFailed);
    EXPECT_EQ(AllNames(folder), std::vector<std::wstring>{kiv::FindFileName(target)});
    EXPECT_EQ(testimg::ReadFileBytes(target), earlier);
  }
}

TEST_F(FailingDiskTest, ForceModeKeepsTheEarlierOutputWhateverFails) {
  const std::wstring target = kiv::AddSeparator(out) + L"写真.png";
  const std::vector<uint8_t> earlier = hardening::NoisePng(3, 3, 77);
  ASSERT_TRUE(testimg::WriteFileBytes(target, earlier));
  options.SetOverwriteMode(static_cast<int>(OverwriteMode::kForce));
  ExpectEveryFailureKeepsTheEarlierFile(source, target, earlier, png.size(), Target::kReplaced,
                                        options);
}

TEST_F(FailingDiskTest, RenameModeLeavesNoNumberedFileBehind) {
  const std::wstring target = kiv::AddSeparator(out) + L"写真.png";
  const std::vector<uint8_t> earlier = hardening::NoisePng(3, 3, 78);
  ASSERT_TRUE(testimg::WriteFileBytes(target, earlier));
  options.SetOverwriteMode(static_cast<int>(OverwriteMode::kRename));
  ExpectEveryFailureKeepsTheEarlierFile(source, target, earlier, png.size(), Target::kFresh,
                                        options);
}

TEST_F(FailingDiskTest, PngConvertedOntoItselfSurvivesEveryFailure) {
  const std::wstring self = kiv::AddSeparator(out) + L"self.png";
  const std::vector<uint8_t> original = hardening::NoisePng(30, 20, 3);
  ASSERT_TRUE(testimg::WriteFileBytes(self, original));
  options.SetOverwriteMode(static_cast<int>(OverwriteMode::kForce));
  ExpectEveryFailureKeepsTheEarlierFile(self, self, original, original.size(), Target::kReplaced,
                                        options);
}

// A run with DeleteSrcFile and AutoDeleteItem on, where some outputs cannot be moved into place:
// the run goes on, every failed source is still there with its row, the others are converted,
// their sources deleted and their rows removed.
TEST(FailingDiskRun, FailedWritesKeepTheirSourcesAndRowsWhileTheRunGoesOn) {
  testimg::TempDir dir;
  const std::wstring out = dir / L"out";
  hardening::Run run;
  run.options.SetOn(Option::kDeleteSrcFile, true);
  run.options.SetOn(Option::kAutoDeleteItem, true);
  run.options.SetOn(Option::kOutSrcDirectory, false);
  run.options.SetText(Option::kOutput, out);
  run.options.SetConvertCount(4);
  std::vector<std::wstring> good;
  std::vector<std::wstring> bad;
  std::vector<std::wstring> all;
  for (int i = 0; i < 12; ++i) {
    const bool fails = i % 3 == 1;
    const std::wstring path = dir / ((fails ? L"bad" : L"good") + std::to_wstring(i) + L".bmp");
    ASSERT_TRUE(testimg::WriteFileBytes(path, hardening::NoiseBmp(20, 10, i)));
    (fails ? bad : good).push_back(path);
    all.push_back(path);
  }
  run.Register(all);
  {
    CountedFault fault(FaultPlan{FaultStep::kMove, 0, L"bad"});
    ASSERT_TRUE(run.Convert());
    EXPECT_EQ(kiv::FaultHits(), static_cast<int>(bad.size()));
  }
  for (const std::wstring& path : bad) {
    EXPECT_TRUE(kiv::FileExists(path)) << kiv::WideToUtf8(path);
    EXPECT_EQ(run.StateOf(path), kStateWriteFailed);
  }
  for (const std::wstring& path : good) {
    EXPECT_FALSE(kiv::FileExists(path));
    EXPECT_EQ(run.StateOf(path), L"(no row)");
    const std::wstring png =
        kiv::AddSeparator(out) + kiv::FindFileName(kiv::RenameExtension(path, L".png"));
    EXPECT_TRUE(hardening::IsCompletePng(testimg::ReadFileBytes(png)));
  }
  EXPECT_EQ(AllNames(out).size(), good.size());  // no temporary, no partial file
  EXPECT_EQ(run.list.GetCount(), static_cast<int>(bad.size()));
}

// A full disk during a whole run: every file fails, no source is deleted, nothing is left.
TEST(FailingDiskRun, DiskFullForTheWholeRunDeletesNothing) {
  testimg::TempDir dir;
  hardening::Run run;
  run.options.SetOn(Option::kDeleteSrcFile, true);
  std::vector<std::wstring> all;
  for (int i = 0; i < 6; ++i) {
    all.push_back(dir / (L"f" + std::to_wstring(i) + L".bmp"));
    ASSERT_TRUE(testimg::WriteFileBytes(all.back(), hardening::NoiseBmp(9, 9, i)));
  }
  run.Register(all);
  {
    CountedFault fault(FaultPlan{FaultStep::kWrite, 100, dir.path()});
    ASSERT_TRUE(run.Convert());
  }
  for (const std::wstring& path : all) {
    EXPECT_TRUE(kiv::FileExists(path));
    EXPECT_EQ(run.StateOf(path), kStateWriteFailed);
  }
  EXPECT_EQ(AllNames(dir.path()).size(), all.size());
}

// ---- the settings file ------------------------------------------------------------------------

kiv::DataNode SettingsTree(const std::wstring& folder) {
  kiv::DataNode root(2);
  root.Child(L"TabControl").SetInt(L"Index", 2);
  root.Child(L"PageOption").Child(L"Output").SetString(L"Text", folder);
  root.SetString(L"DefaultDirectory", folder + L"/画像");
  return root;
}

TEST(FailingDiskSettings, AFailedSaveAtAnyPointKeepsThePreviousFile) {
  testimg::TempDir dir;
  const std::wstring path = dir / L"Morvane.dat";
  ASSERT_TRUE(kiv::SaveDataFile(SettingsTree(L"before"), path));
  const std::vector<uint8_t> previous = testimg::ReadFileBytes(path);
  ASSERT_FALSE(previous.empty());

  const kiv::DataNode next = SettingsTree(L"after");
  const std::wstring probe = dir / L"probe.dat";
  ASSERT_TRUE(kiv::SaveDataFile(next, probe));
  const uint64_t size = testimg::ReadFileBytes(probe).size();
  ASSERT_TRUE(kiv::RemoveFile(probe));

  std::vector<FaultPlan> plans;
  for (uint64_t budget = 0; budget < size; ++budget) {
    plans.push_back(FaultPlan{FaultStep::kWrite, budget, dir.path()});
  }
  for (FaultStep step :
       {FaultStep::kFlush, FaultStep::kClose, FaultStep::kMove, FaultStep::kOpenWrite}) {
    plans.push_back(FaultPlan{step, 0, dir.path()});
  }
  for (const FaultPlan& plan : plans) {
    CountedFault fault(plan);
    ASSERT_FALSE(kiv::SaveDataFile(next, path)) << Describe(plan);
    ASSERT_EQ(testimg::ReadFileBytes(path), previous) << Describe(plan);
    ASSERT_EQ(AllNames(dir.path()), std::vector<std::wstring>{L"Morvane.dat"}) << Describe(plan);
  }
  kiv::DataNode loaded;
  ASSERT_TRUE(kiv::LoadDataFile(path, loaded));
  EXPECT_EQ(loaded.Child(L"PageOption").Child(L"Output").GetString(L"Text"), L"before");

  // Room for the whole file: the save goes through.
  CountedFault room(FaultPlan{FaultStep::kWrite, size, dir.path()});
  ASSERT_TRUE(kiv::SaveDataFile(next, path));
  kiv::DataNode saved;
  ASSERT_TRUE(kiv::LoadDataFile(path, saved));
  EXPECT_EQ(saved.Child(L"PageOption").Child(L"Output").GetString(L"Text"), L"after");
}

}  // namespace
