// kiv::File over byte vectors and disk files, and kiv::FileFinder, with
// Japanese and astral-plane names on disk.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/file.h"
#include "base/file_fault.h"
#include "base/file_finder.h"
#include "base/path.h"
#include "tests/support/temp_dir.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testimg::TempDir;

const std::wstring kJapanese = L"画像\U0001F5BC変換";  // with U+1F5BC, outside the BMP

TEST(FileOnVector, ReadsStopAtTheEndAndLeaveTheRestOfTheDestination) {
  Bytes data(12, 7);
  File stream;
  ASSERT_TRUE(stream.AttachVector(data));
  std::uint8_t out[4];
  EXPECT_EQ(stream.Read(4, out), 4u);
  EXPECT_EQ(stream.Read(4, out), 4u);
  EXPECT_EQ(stream.Read(4, out), 4u);
  EXPECT_EQ(stream.Read(4, out), 0u);

  Bytes two = {1, 2};
  stream.AttachVector(two);
  std::uint8_t field[4] = {9, 9, 9, 9};
  EXPECT_EQ(stream.Read(4, field), 2u);
  EXPECT_EQ(field[0], 1);
  EXPECT_EQ(field[1], 2);
  EXPECT_EQ(field[2], 9);
  EXPECT_EQ(field[3], 9);
}

TEST(FileOnVector, WritesGrowTheVectorAndReadBackAfterReattaching) {
  Bytes data;
  File stream;
  stream.AttachVector(data);
  const std::uint8_t ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(stream.Write(10, ten), 10u);
  EXPECT_EQ(data.size(), 10u);
  std::uint8_t out[10] = {};
  EXPECT_EQ(stream.Read(10, out), 0u);  // the position is at the end
  stream.AttachVector(data);
  EXPECT_EQ(stream.Read(10, out), 10u);
  EXPECT_EQ(Bytes(out, out + 10), Bytes(ten, ten + 10));

  // Writing inside the vector overwrites; past its end grows with zeros between.
  stream.AttachVector(data);
  stream.Seek(8);
  EXPECT_EQ(stream.Write(4, ten), 4u);
  EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(FileOnVector, SeekStaysInsideTheData) {
  Bytes data(4, 0);
  File stream;
  stream.AttachVector(data);
  stream.Seek(10);
  EXPECT_EQ(stream.position(), 4u);
  stream.Seek(-100);
  EXPECT_EQ(stream.position(), 0u);
  stream.Close();
  std::uint8_t out[4];
  EXPECT_EQ(stream.Read(4, out), 0u);
  EXPECT_EQ(stream.Write(4, out), 0u);
  EXPECT_EQ(data.size(), 4u);  // the vector outlives the stream untouched
}

TEST(FileOnDisk, ReadsWritesAndSeeksWithJapaneseNames) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::wstring folder = dir / kJapanese;
  ASSERT_TRUE(MakeDirectory(folder));
  const std::wstring path = AddSeparator(folder) + kJapanese + L".bin";

  File stream;
  ASSERT_TRUE(stream.OpenWrite(path));
  const std::uint8_t two[2] = {0xAB, 0xCD};
  EXPECT_EQ(stream.Write(2, two), 2u);
  std::uint8_t out[4] = {0, 0, 0, 0};
  EXPECT_EQ(stream.Read(4, out), 0u);  // a file opened for writing reads nothing
  EXPECT_EQ(stream.size(), 2u);
  EXPECT_TRUE(stream.Close());
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(IsDirectory(path));
  EXPECT_TRUE(IsDirectory(folder));

  ASSERT_TRUE(stream.OpenRead(path));
  EXPECT_EQ(stream.size(), 2u);
  EXPECT_EQ(stream.Read(4, out), 2u);
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(out[1], 0xCD);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(stream.Read(4, out), 0u);
  stream.Seek(-2);
  EXPECT_EQ(stream.Read(1, out), 1u);
  EXPECT_EQ(out[0], 0xAB);
}

TEST(FileOnDisk, FailedOpensLeaveAStreamThatReadsAndWritesNothing) {
  TempDir dir;
  File stream;
  std::uint8_t out[4];
  EXPECT_FALSE(stream.OpenRead(dir / L"missing"));
  EXPECT_EQ(stream.kind(), File::Kind::kNone);
  EXPECT_EQ(stream.Read(4, out), 0u);
  EXPECT_EQ(stream.Write(4, out), 0u);
  EXPECT_FALSE(stream.OpenRead(dir.path()));  // a folder is not a file
  EXPECT_FALSE(stream.OpenWrite(dir / L"no-such-folder" + kPathSeparator + L"f"));

  // Creating exclusively refuses an existing file and leaves it whole.
  const std::wstring path = dir / L"kept";
  ASSERT_TRUE(testimg::WriteFileBytes(path, {1, 2, 3}));
  EXPECT_FALSE(stream.OpenCreateNew(path));
  EXPECT_EQ(testimg::ReadFileBytes(path), (Bytes{1, 2, 3}));
}

TEST(FileOnDisk, FaultSeamFailsWritesLikeAFullDisk) {
  TempDir dir;
  const std::wstring path = dir / L"full.bin";
  File stream;
  ASSERT_TRUE(stream.OpenWrite(path));
  const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  {
    ScopedFault fault({FaultStep::kWrite, 5, L"full.bin"});
    EXPECT_EQ(stream.Write(4, data), 4u);
    EXPECT_FALSE(stream.HasWriteError());
    EXPECT_EQ(stream.Write(4, data), 1u);  // one byte fits, then the disk is full
    EXPECT_TRUE(stream.HasWriteError());
    EXPECT_EQ(stream.Write(4, data), 0u);
    EXPECT_EQ(FaultHits(), 2);
  }
  EXPECT_EQ(stream.Write(2, data), 2u);  // disarmed again
  EXPECT_EQ(stream.size(), 7u);
  stream.Close();

  // A plan limited to other paths leaves this one alone.
  ScopedFault other({FaultStep::kOpenWrite, 0, L"elsewhere"});
  EXPECT_TRUE(stream.OpenWrite(path));
  EXPECT_EQ(FaultHits(), 0);
}

class FinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    for (const std::wstring& name : std::vector<std::wstring>{
             L"a.bmp", L"B.BMP", L"c.png", L"d.jpeg", L"noext", kJapanese + L".jpg"}) {
      ASSERT_TRUE(testimg::WriteFileBytes(dir_ / name, {0}));
    }
    ASSERT_TRUE(MakeDirectory(dir_ / (kJapanese + L"フォルダ")));
  }
  std::wstring Pattern(const std::wstring& wildcard) const { return dir_ / wildcard; }
  TempDir dir_;
};

TEST_F(FinderTest, ListsMatchingNamesInEitherCase) {
  EXPECT_EQ(testimg::ListNames(Pattern(L"*.bmp")), (std::vector<std::wstring>{L"B.BMP", L"a.bmp"}));
  EXPECT_EQ(testimg::ListNames(Pattern(L"*.JPG")),
            (std::vector<std::wstring>{kJapanese + L".jpg"}));
  EXPECT_EQ(testimg::ListNames(Pattern(kJapanese + L".*")),
            (std::vector<std::wstring>{kJapanese + L".jpg"}));
  EXPECT_EQ(testimg::ListNames(Pattern(L"*.*")).size(), 7u);
}

TEST_F(FinderTest, ReportsFoldersAndTheDotEntries) {
  FileFinder finder;
  bool saw_dot = false;
  bool saw_folder = false;
  for (std::wstring name = finder.First(Pattern(L"*.*")); !name.empty(); name = finder.Next()) {
    saw_dot = saw_dot || name == L".";
    if (name == kJapanese + L"フォルダ") {
      saw_folder = true;
      EXPECT_TRUE(finder.IsDirectory());
    } else if (name == L"noext") {
      EXPECT_FALSE(finder.IsDirectory());
    }
  }
  EXPECT_TRUE(saw_dot);
  EXPECT_TRUE(saw_folder);
  EXPECT_FALSE(finder.IsDirectory());
}

TEST_F(FinderTest, NoMatchGivesTheEmptyNameFromFirstAndNext) {
  FileFinder finder;
  EXPECT_EQ(finder.First(Pattern(L"*.gif")), L"");
  EXPECT_EQ(finder.Next(), L"");
  EXPECT_EQ(finder.First(dir_ / L"missing" + kPathSeparator + L"*.*"), L"");
  EXPECT_EQ(finder.Next(), L"");
  // A new First restarts the search.
  EXPECT_EQ(finder.First(Pattern(L"c.png")), L"c.png");
  EXPECT_EQ(finder.Next(), L"");
}

}  // namespace
}  // namespace kiv
