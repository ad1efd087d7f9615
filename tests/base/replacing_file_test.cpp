// kiv::ReplacingFile: a target is replaced only by a complete file, and no
// temporary survives, whatever step fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "base/file_fault.h"
#include "base/file_identity.h"
#include "base/path.h"
#include "base/process.h"
#include "base/replacing_file.h"
#include "base/temporary_room.h"
#include "base/unicode.h"
#include "tests/support/exited_process.h"
#include "tests/support/temp_dir.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testimg::TempDir;

const std::wstring kName = L"出力\U00020B9F.png";

bool WriteAll(ReplacingFile& out, const Bytes& bytes) {
  const auto size = static_cast<std::uint32_t>(bytes.size());
  return out.stream().Write(size, bytes.data()) == size;
}

// Names in the folder other than `keep`: leftovers a failed write must not leave.
std::vector<std::wstring> Others(const TempDir& dir, const std::wstring& keep) {
  std::vector<std::wstring> names = testimg::ListNames(dir / L"*");
  std::vector<std::wstring> others;
  for (const std::wstring& name : names) {
    if (name != keep) {
      others.push_back(name);
    }
  }
  return others;
}

TEST(ReplacingFile, CommitReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  const std::wstring target = dir / kName;
  ASSERT_TRUE(testimg::WriteFileBytes(target, {9, 9, 9, 9, 9, 9}));
  ReplacingFile out(target);
  ASSERT_TRUE(out.IsOpen());
  EXPECT_TRUE(ReplacingFile::IsTemporaryName(FindFileName(out.temporary_path())));
  EXPECT_EQ(RemoveFileSpec(out.temporary_path()), dir.path());
  ASSERT_TRUE(WriteAll(out, {1, 2, 3}));
  EXPECT_EQ(testimg::ReadFileBytes(target), (Bytes{9, 9, 9, 9, 9, 9}));  // untouched until commit
  EXPECT_TRUE(out.Commit());
  EXPECT_FALSE(out.Commit());  // once only
  EXPECT_EQ(testimg::ReadFileBytes(target), (Bytes{1, 2, 3}));

  // A reader that holds the target for a moment (an indexer, a virus
  // scanner, another thread's look) does not make the replacement fail.
  ReplacingFile again(target);
  ASSERT_TRUE(WriteAll(again, {4, 5}));
  auto reader = std::make_unique<File>();
  ASSERT_TRUE(reader->OpenRead(target));
  std::thread release([&reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    reader.reset();
  });
  EXPECT_TRUE(again.Commit());
  release.join();
  EXPECT_EQ(testimg::ReadFileBytes(target), (Bytes{4, 5}));
  EXPECT_TRUE(Others(dir, kName).empty());
}

TEST(ReplacingFile, UncommittedWriterRemovesItsTemporary) {
  TempDir dir;
  {
    ReplacingFile out(dir / kName);
    ASSERT_TRUE(WriteAll(out, {1, 2, 3}));
  }
  EXPECT_FALSE(FileExists(dir / kName));
  EXPECT_TRUE(testimg::ListNames(dir / L"*").empty());
  ReplacingFile nowhere(dir / L"missing" + kPathSeparator + L"x.png");
  EXPECT_FALSE(nowhere.IsOpen());
  EXPECT_FALSE(nowhere.Commit());
}

TEST(ReplacingFile, EveryFailingStepKeepsTheOldFileAndRemovesTheTemporary) {
  for (const FaultStep step :
       {FaultStep::kWrite, FaultStep::kFlush, FaultStep::kClose, FaultStep::kMove}) {
    SCOPED_TRACE(static_cast<int>(step));
    TempDir dir;
    const std::wstring target = dir / kName;
    ASSERT_TRUE(testimg::WriteFileBytes(target, {7, 7}));
    ReplacingFile out(target);
    ASSERT_TRUE(out.IsOpen());
    ScopedFault fault({step, 2, L""});
    WriteAll(out, {1, 2, 3, 4});
    EXPECT_FALSE(out.Commit());
    EXPECT_GE(FaultHits(), 1);
    EXPECT_EQ(testimg::ReadFileBytes(target), (Bytes{7, 7}));
    EXPECT_TRUE(Others(dir, kName).empty());
  }
}

TEST(ReplacingFile, FailedOpenIsReportedAndLeavesNothing) {
  TempDir dir;
  ScopedFault fault({FaultStep::kOpenWrite, 0, L""});
  ReplacingFile out(dir / kName);
  EXPECT_FALSE(out.IsOpen());
  EXPECT_FALSE(out.Commit());
  EXPECT_TRUE(testimg::ListNames(dir / L"*").empty());
}

TEST(ReplacingFile, ReplacesAReadOnlyTarget) {
  TempDir dir;
  const std::wstring target = dir / kName;
  ASSERT_TRUE(testimg::WriteFileBytes(target, {7}));
  ASSERT_TRUE(testimg::SetReadOnly(target, true));
  ReplacingFile out(target);
  ASSERT_TRUE(WriteAll(out, {1, 2}));
  EXPECT_TRUE(out.Commit());
  EXPECT_EQ(testimg::ReadFileBytes(target), (Bytes{1, 2}));
}

// Also where the file system has neither hard links nor a move that refuses
// to replace (POSIX): the name is then taken by an exclusive placeholder.
// A commit notes the stamp of the very file it moved into place.
TEST(ReplacingFile, ExclusiveCommitNeverReplaces) {
  for (const bool noLinks : {false, true}) {
    SCOPED_TRACE(noLinks ? "without links" : "with links");
    std::unique_ptr<ScopedFault> fault;
    if (noLinks) {
      fault = std::make_unique<ScopedFault>(FaultPlan{FaultStep::kNoLinks, 0, L""});
    }
    TempDir dir;
    const std::wstring target = dir / kName;
    ASSERT_TRUE(testimg::WriteFileBytes(target, {7}));
    ReplacingFile out(target);
    ASSERT_TRUE(WriteAll(out, {1}));
    EXPECT_EQ(out.CommitExclusive(), ReplacingFile::Result::kExists);
    EXPECT_EQ(testimg::ReadFileBytes(target), (Bytes{7}));
    EXPECT_TRUE(Others(dir, kName).empty());

    ReplacingFile fresh(dir / L"new.png");
    ASSERT_TRUE(WriteAll(fresh, {5}));
    EXPECT_EQ(fresh.CommitExclusive(), ReplacingFile::Result::kDone);
    EXPECT_EQ(testimg::ReadFileBytes(dir / L"new.png"), (Bytes{5}));
    FileStamp written;
    FileStamp now;
    ASSERT_TRUE(fresh.WrittenStamp(&written));
    ASSERT_TRUE(ReadFileStamp(dir / L"new.png", &now));
    EXPECT_TRUE(now.Unchanged(written));
    EXPECT_EQ(testimg::ListNames(dir / L"*"), (std::vector<std::wstring>{L"new.png", kName}));
  }
}

TEST(ReplacingFile, RacingExclusiveWritersGetOneNameEach) {
  TempDir dir;
  constexpr int kWriters = 8;
  std::atomic<int> done{0};
  std::atomic<int> exists{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kWriters; ++i) {
    threads.emplace_back([&, i] {
      ReplacingFile out(dir / L"same.png");
      const std::uint8_t byte = static_cast<std::uint8_t>(i);
      if (out.stream().Write(1, &byte) != 1) {
        return;
      }
      const ReplacingFile::Result result = out.CommitExclusive();
      (result == ReplacingFile::Result::kDone ? done : exists)++;
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(done, 1);
  EXPECT_EQ(exists, kWriters - 1);
  EXPECT_EQ(testimg::ListNames(dir / L"*"), std::vector<std::wstring>{L"same.png"});
}

// A killed writer leaves its temporary; the next process to write into that folder removes it,
// but never a temporary whose owner may still be writing, nor anything else.
TEST(ReplacingFile, NextWriterRemovesOnlyTemporariesOfEndedProcesses) {
  const unsigned long ended = testimg::ExitedProcessNumber();
  ASSERT_NE(ended, 0u);
  const std::wstring me = CurrentProcessOwner();
  const std::wstring here = L"@" + MachineName();
  const std::wstring gone = std::wstring(1, me[0]) + std::to_wstring(ended) + here;
  const std::wstring otherPlatform = (me[0] == L'w' ? L"p" : L"w") + std::to_wstring(ended) + here;
  // Another machine sharing the folder: its process numbers mean nothing here.
  const std::wstring otherMachine =
      std::wstring(1, me[0]) + std::to_wstring(ended) + L"@x" + here.substr(1);
  EXPECT_TRUE(IsOwnerGone(gone));
  EXPECT_EQ(me.substr(me.find(L'@')), here);
  for (const std::wstring& odd :
       {me, otherPlatform, otherMachine, gone.substr(0, gone.find(L'@')),
        std::wstring(L"p0") + here, std::wstring(L"p01") + here, std::wstring(L"pabc") + here,
        std::wstring(L"p-1") + here, std::wstring(L"p99999999999") + here,
        std::wstring(L"p4294967295") + here, here}) {
    EXPECT_FALSE(IsOwnerGone(odd)) << kiv::WideToUtf8(odd);
  }

  TempDir dir;
  const std::vector<std::wstring> kept = {
      L".morvane-" + me + L"-00000001.tmp",             // this process may be writing it
      L".morvane-" + otherPlatform + L"-00000002.tmp",  // a process number of the other world
      L".morvane-" + otherMachine + L"-00000006.tmp",   // another machine's writer
      L".morvane-" + gone.substr(0, gone.find(L'@')) + L"-00000007.tmp",  // no machine named
      L".morvane-0123abcd.tmp",                                           // no owner named
      L".morvane-" + gone + L"-00000003.png",                             // not a temporary
      L"photo.png",
  };
  const Bytes bytes = {1, 2, 3};
  for (const std::wstring& name : kept) {
    ASSERT_TRUE(testimg::WriteFileBytes(dir / name, bytes));
  }
  ASSERT_TRUE(testimg::WriteFileBytes(dir / (L".morvane-" + gone + L"-00000004.tmp"), bytes));
  ASSERT_TRUE(testimg::WriteFileBytes(dir / (L".morvane-" + gone + L"-00000005.tmp"), bytes));
  // Rooms: a gone writer's goes with what it holds; another machine's stays.
  const std::wstring goneRoom = dir / (L".morvane-" + gone + L"-room.tmp");
  const std::wstring keptRoom = L".morvane-" + otherMachine + L"-room.tmp";
  ASSERT_TRUE(MakeDirectory(goneRoom) && MakeDirectory(dir / keptRoom));
  ASSERT_TRUE(
      testimg::WriteFileBytes(goneRoom + kPathSeparator + L".morvane-" + gone + L"-8.tmp", bytes));

  {
    ReplacingFile out(dir / kName);  // the first writer in the folder sweeps it
    ASSERT_TRUE(out.IsOpen());
    ASSERT_TRUE(WriteAll(out, bytes));
    ASSERT_TRUE(out.Commit());
  }
  std::vector<std::wstring> expected = kept;
  expected.push_back(kName);
  expected.push_back(keptRoom);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(testimg::ListNames(dir / L"*"), expected);
}

// A write in a room makes its temporary there and moves it into place; the
// room goes when the run closes it, or with the temporaries of a run ended at
// once.
TEST(ReplacingFile, WritesInARoomThatGoesWhenTheRunEnds) {
  TempDir dir;
  const std::wstring room = dir / temporary_rooms::OwnRoomName();
  {
    ReplacingFile out(dir / kName, ReplacingFile::Place::kInRoom);
    ASSERT_TRUE(out.IsOpen());
    EXPECT_EQ(RemoveFileSpec(out.temporary_path()), room);
    ReplacingFile busy(dir / L"b.png", ReplacingFile::Place::kInRoom);
    ASSERT_TRUE(WriteAll(out, {1, 2}) && out.Commit());
    temporary_rooms::CloseIdle();  // `busy` still writes there: the room stays
    EXPECT_TRUE(IsDirectory(room));
  }
  temporary_rooms::CloseIdle();
  EXPECT_EQ(testimg::ListNames(dir / L"*"), std::vector<std::wstring>{kName});
  EXPECT_EQ(testimg::ReadFileBytes(dir / kName), (Bytes{1, 2}));

  auto stopped = std::make_unique<ReplacingFile>(dir / L"c.png", ReplacingFile::Place::kInRoom);
  ASSERT_TRUE(stopped->IsOpen() && WriteAll(*stopped, {3}));
  stopped->stream().Close();
  ReplacingFile::RemoveOwnTemporaries(dir.path());
  EXPECT_EQ(testimg::ListNames(dir / L"*"), std::vector<std::wstring>{kName});
  stopped.reset();
  temporary_rooms::CloseIdle();
}

TEST(ReplacingFile, RecognisesOnlyItsOwnTemporaryNames) {
  EXPECT_TRUE(ReplacingFile::IsTemporaryName(L".morvane-0123abcd.tmp"));
  EXPECT_FALSE(ReplacingFile::IsTemporaryName(L".morvane-.tmp"));
  EXPECT_FALSE(ReplacingFile::IsTemporaryName(L"morvane-1.tmp"));
  EXPECT_FALSE(ReplacingFile::IsTemporaryName(L".morvane-1.png"));
}

}  // namespace
}  // namespace kiv
