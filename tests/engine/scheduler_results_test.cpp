// What the scheduler does with each finished file: rows removed or kept,
// sources deleted only when their output is safely in place, and the title's
// count and time estimate.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/file_fault.h"
#include "base/path.h"
#include "engine/convert_manager.h"
#include "tests/engine/scheduler_fixture.h"
#include "tests/support/wait_until.h"

using morvane_test::WaitUntil;
using scheduler_test::SchedulerTest;
using namespace std::chrono_literals;

namespace {

TEST_F(SchedulerTest, AutoDeleteRemovesConvertedRowsAndStillHandsOutTheRest) {
  options.SetOn(Option::kAutoDeleteItem, true);
  options.SetConvertCount(3);
  MakeManager();
  const auto paths = Sources(30);
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(fake.Started().size(), 30u);
  for (const auto& path : paths) {
    EXPECT_EQ(fake.Counts()[path], 1);
  }
  ExpectIdleWindow();
}

TEST_F(SchedulerTest, FailedFilesKeepTheirSourcesAndRows) {
  options.SetOn(Option::kAutoDeleteItem, true);
  options.SetOn(Option::kDeleteSrcFile, true);
  options.SetConvertCount(2);
  MakeManager();
  const std::vector<std::wstring> paths = {dir / L"good1.bmp", dir / L"unreadable.bmp",
                                           dir / L"good2.bmp", dir / L"unwritable.bmp"};
  for (const auto& path : paths) {
    ASSERT_TRUE(testimg::WriteFileBytes(path, {'B', 'M'}));
  }
  AddAll(paths);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());

  const auto rows = list.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].sourcePath, paths[1]);
  EXPECT_EQ(rows[0].stateText, kStateReadFailed);
  EXPECT_EQ(rows[1].sourcePath, paths[3]);
  EXPECT_EQ(rows[1].stateText, kStateWriteFailed);
  EXPECT_FALSE(kiv::FileExists(paths[0]));
  EXPECT_TRUE(kiv::FileExists(paths[1]));
  EXPECT_FALSE(kiv::FileExists(paths[2]));
  EXPECT_TRUE(kiv::FileExists(paths[3]));
  EXPECT_TRUE(kiv::FileExists(dir / L"good1.png"));
}

TEST_F(SchedulerTest, SourceConvertedOntoItselfIsNeverDeleted) {
  options.SetOn(Option::kDeleteSrcFile, true);
  MakeManager();
  const std::wstring source = dir / L"picture.png";
  ASSERT_TRUE(testimg::WriteFileBytes(source, {1, 2, 3}));
  manager->AddFile(source);
  ASSERT_EQ(list.Rows()[0].outputPath, source);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(States(), std::vector<std::wstring>{kStateConverted});
  EXPECT_TRUE(kiv::FileExists(source));
}

TEST_F(SchedulerTest, SourceIsKeptWhenTheReportedOutputIsMissing) {
  options.SetOn(Option::kDeleteSrcFile, true);
  // A conversion that claims success but whose output is not on the disk.
  manager = std::make_unique<ConvertManager>(
      host,
      [](const RowJob& job, OptionSet&) {
        ConvertOutcome outcome;
        outcome.stateText = kStateConverted;
        outcome.writtenPath = job.outputPath;
        return outcome;
      },
      [] { return 0u; });
  const std::wstring source = dir / L"photo.jpg";
  ASSERT_TRUE(testimg::WriteFileBytes(source, {1}));
  manager->AddFile(source);
  manager->StartConvert();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(kiv::FileExists(source));
}

TEST_F(SchedulerTest, SourceIsKeptWhenItsOutputCannotBeMadeDurable) {
  options.SetOn(Option::kDeleteSrcFile, true);
  MakeManager();
  const std::wstring source = dir / L"photo.bmp";
  ASSERT_TRUE(testimg::WriteFileBytes(source, {'B', 'M'}));
  const std::wstring output = kiv::RenameExtension(source, L".png");
  manager->AddFile(source);
  {
    kiv::FaultPlan plan;
    plan.step = kiv::FaultStep::kFlush;
    plan.path_contains = output;
    kiv::ScopedFault fault(plan);
    manager->StartConvert();
    ASSERT_TRUE(WaitIdle());
  }
  EXPECT_EQ(States(), std::vector<std::wstring>{kStateConverted});
  EXPECT_TRUE(kiv::FileExists(output));
  EXPECT_TRUE(kiv::FileExists(source));
}

TEST_F(SchedulerTest, TitleCountsDownAndShowsTheEstimate) {
  fake.UseGates();
  options.SetConvertCount(1);
  MakeManager();
  const auto paths = Sources(5);
  AddAll(paths);
  manager->StartConvert();

  // Lets file `index` finish at time `at` and waits until the pass has
  // reaped it and shown `title`.
  auto finish = [&](int index, uint32_t at, const std::wstring& title) {
    now = at;
    fake.Open(paths[index]);
    ASSERT_TRUE(WaitUntil([&] { return window.Title() == title; })) << index;
  };
  auto tick = [&] { manager->UpdateTitle(false); };

  tick();  // nothing finished yet: the title stays as it is
  EXPECT_TRUE(titles.empty());
  finish(0, 1000, L"Morvane - 4");
  tick();  // one completion timed: no estimate yet
  EXPECT_EQ(window.Title(), L"Morvane - 4");
  finish(1, 3000, L"Morvane - 3");
  tick();  // (3000 - 1000) / 1 = 2000 ms per file, 3 files: 6 s
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:06)");
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:05)");
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:04)");
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 3 (0:03)");
  finish(2, 4000, L"Morvane - 2 (0:03)");  // a completion keeps the estimate shown
  tick();  // recomputed: intervals 2000 x4 and (4000 - 1000) / 2: 2 x 9500 / 5 ms -> 4 s
  EXPECT_EQ(window.Title(), L"Morvane - 2 (0:04)");
  finish(3, 64000, L"Morvane - 1 (0:04)");
  tick();
  tick();
  tick();
  EXPECT_EQ(window.Title(), L"Morvane - 1 (0:01)");  // never counts below one second
  tick();  // recomputed: 1 x (8000 + 1500 + 4 x 21000) / 9 ms -> 11 s
  EXPECT_EQ(window.Title(), L"Morvane - 1 (0:11)");
  now = 65000;
  fake.Open(paths[4]);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(window.Title(), L"Morvane");
  tick();  // after the run: unchanged
  EXPECT_EQ(window.Title(), L"Morvane");
}

TEST_F(SchedulerTest, EstimateOfALongRunDoesNotWrapAround) {
  fake.UseGates();
  options.SetConvertCount(1);
  MakeManager();
  const auto paths = Sources(6);
  AddAll(paths);
  manager->StartConvert();
  now = 0;
  fake.Open(paths[0]);
  ASSERT_TRUE(WaitUntil([&] { return window.Title() == L"Morvane - 5"; }));
  now = 3000000000u;  // one file in 3,000,000 s
  fake.Open(paths[1]);
  ASSERT_TRUE(WaitUntil([&] { return window.Title() == L"Morvane - 4"; }));
  manager->UpdateTitle(false);
  // 4 files x 3e9 ms is past 32 bits of milliseconds.
  EXPECT_EQ(manager->EtaSeconds(), 12000000u);
  EXPECT_EQ(window.Title(), L"Morvane - 4 (200000:00)");
  manager->RequestStop();
  fake.OpenAll();
  ASSERT_TRUE(WaitIdle());
}

}  // namespace
