// Which files registration accepts, and the option set's stored form.
#include "engine/registration.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "base/path.h"
#include "engine/background_scan.h"
#include "base/unicode.h"
#include "engine/memory_options.h"
#include "settings/data_file.h"
#include "settings/data_node.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(FilterSplit, KeepsEveryPieceAsTyped) {
  EXPECT_EQ(SplitFilter(L"*.bmp|*.png|*.jpg|*.jpeg"),
            (std::vector<std::wstring>{L"*.bmp", L"*.png", L"*.jpg", L"*.jpeg"}));
  EXPECT_EQ(SplitFilter(L""), std::vector<std::wstring>{});
  EXPECT_EQ(SplitFilter(L"a||b"), (std::vector<std::wstring>{L"a", L"", L"b"}));
  EXPECT_EQ(SplitFilter(L"|x|"), (std::vector<std::wstring>{L"", L"x", L""}));
  EXPECT_EQ(SplitFilter(L" *.png "), std::vector<std::wstring>{L" *.png "});
  MemoryOptionSet options;
  EXPECT_EQ(RebuildFilterPatterns(options).size(), 11u);
}

class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest() {
    for (const wchar_t* name : {L"a.bmp", L"b.PNG", L"e.txt"}) {
      Touch(dir / name);
    }
    kiv::MakeDirectory(dir / L"sub");
    Touch(dir / L"sub" + std::wstring(1, kiv::kPathSeparator) + L"d.jpg");
    kiv::MakeDirectory(dir / L".cache");
    Touch(dir / L".cache" + std::wstring(1, kiv::kPathSeparator) + L"hidden.bmp");
  }

  static void Touch(const std::wstring& path) { ASSERT_TRUE(testimg::WriteFileBytes(path, {1})); }

  std::vector<std::wstring> Scan(const std::wstring& folder) {
    std::vector<std::wstring> accepted;
    ScanFolder(RebuildFilterPatterns(options), folder, options,
               [&](const std::wstring& path) { accepted.push_back(path); });
    return accepted;
  }

  std::wstring Sub(const std::wstring& name) { return kiv::AddSeparator(dir / L"sub") + name; }

  testimg::TempDir dir;
  MemoryOptionSet options;
};

TEST_F(RegistrationTest, FolderScanGoesPatternByPatternThenIntoSubfolders) {
  EXPECT_EQ(Scan(dir.path()),
            (std::vector<std::wstring>{dir / L"a.bmp", dir / L"b.PNG", Sub(L"d.jpg")}));
#ifndef _WIN32
  // Links back up the tree are not followed again: two of them made the scan
  // endless, one made every file a row per level.
  ASSERT_EQ(symlink(".", kiv::WideToUtf8(Sub(L"self")).c_str()), 0);
  ASSERT_EQ(symlink("..", kiv::WideToUtf8(Sub(L"up")).c_str()), 0);
  // Nor a link out of the named tree.
  testimg::TempDir elsewhere;
  Touch(elsewhere / L"x.bmp");
  ASSERT_EQ(symlink(kiv::WideToUtf8(elsewhere.path()).c_str(),
                    kiv::WideToUtf8(Sub(L"elsewhere")).c_str()),
            0);
  EXPECT_EQ(Scan(dir.path()),
            (std::vector<std::wstring>{dir / L"a.bmp", dir / L"b.PNG", Sub(L"d.jpg")}));
  // Links that fan out (two to each next level, 24 levels deep) reach each
  // folder once: 24 files, not 2^24 rows.
  const std::wstring fan = dir / L"fan";
  kiv::MakeDirectory(fan);
  for (int level = 0; level < 24; ++level) {
    const std::wstring folder = kiv::AddSeparator(fan) + std::to_wstring(level);
    kiv::MakeDirectory(folder);
    Touch(kiv::AddSeparator(folder) + L"k.bmp");
    for (const char* link : {"/x", "/y"}) {
      const std::string next = "../" + std::to_string(level + 1);
      ASSERT_EQ(symlink(next.c_str(), (kiv::WideToUtf8(folder) + link).c_str()), 0);
    }
  }
  const std::vector<std::wstring> found = Scan(fan);
  EXPECT_EQ(found.size(), 24u);
#endif
  options.SetOn(Option::kSubDirectory, false);
  EXPECT_EQ(Scan(dir.path()), (std::vector<std::wstring>{dir / L"a.bmp", dir / L"b.PNG"}));
}

TEST_F(RegistrationTest, FileFoundByTwoPatternsIsRegisteredTwice) {
  options.SetText(Option::kFilter, L"*.png|*.PNG");
  options.SetOn(Option::kSubDirectory, false);
  EXPECT_EQ(Scan(dir.path()), (std::vector<std::wstring>{dir / L"b.PNG", dir / L"b.PNG"}));
  // A single file is accepted once: the test stops at the first match.
  std::vector<std::wstring> accepted;
  RegisterDroppedPath(RebuildFilterPatterns(options), dir / L"b.PNG", options,
                      [&](const std::wstring& path) { accepted.push_back(path); });
  EXPECT_EQ(accepted.size(), 1u);
}

TEST_F(RegistrationTest, SingleFilesMustMatchUnderTheirOwnName) {
  const auto patterns = RebuildFilterPatterns(options);
  EXPECT_TRUE(MatchesFilter(patterns, dir / L"a.bmp"));
  EXPECT_TRUE(MatchesFilter(patterns, dir / L"b.PNG"));  // patterns ignore case
  EXPECT_FALSE(MatchesFilter(patterns, dir / L"e.txt"));
  EXPECT_FALSE(MatchesFilter(patterns, dir / L"missing.bmp"));
  EXPECT_FALSE(MatchesFilter({}, dir / L"a.bmp"));
#ifndef _WIN32
  // A name that exists only in another letter case is not the same file here.
  EXPECT_FALSE(MatchesFilter(patterns, dir / L"A.BMP"));
#endif
}

TEST_F(RegistrationTest, DroppedPathsAreScannedOrFilteredInDropOrder) {
  options.SetText(Option::kFilter, L"");
  std::vector<std::wstring> accepted;
  auto sink = [&](const std::wstring& path) { accepted.push_back(path); };
  RegisterDroppedPath(RebuildFilterPatterns(options), dir.path(), options, sink);
  RegisterDroppedPath(RebuildFilterPatterns(options), dir / L"a.bmp", options, sink);
  EXPECT_TRUE(accepted.empty());  // an empty filter accepts nothing

  options.SetText(Option::kFilter, kDefaultFilter);
  const auto patterns = RebuildFilterPatterns(options);
  RegisterDroppedPath(patterns, dir / L"sub", options, sink);
  RegisterDroppedPath(patterns, dir / L"a.bmp", options, sink);
  RegisterDroppedPath(patterns, dir / L"e.txt", options, sink);
  RegisterDroppedPath(patterns, dir / L"nowhere", options, sink);  // scanned as a folder: nothing
  EXPECT_EQ(accepted, (std::vector<std::wstring>{Sub(L"d.jpg"), dir / L"a.bmp"}));
  EXPECT_TRUE(IsFolderForRegistration(dir / L"nowhere"));
}

// Paths come over from the scan thread exactly as the scan found them, also
// when the taker is slower than the scan and takes few at a time; a scan
// that would never end stops when the object goes.
TEST_F(RegistrationTest, BackgroundScanHandsOverWhatTheScanFound) {
  std::vector<std::wstring> expected = Scan(dir.path());
  const std::size_t many = BackgroundScan::kMaxWaiting * 2 + 3;
  for (std::size_t i = 0; i < many; ++i) {
    expected.push_back(L"n" + std::to_wstring(i));
  }
  const auto patterns = RebuildFilterPatterns(options);
  BackgroundScan scan([&](const PathSink& accept, const ScanTick& tick) {
    ScanFolder(patterns, dir.path(), options, accept, tick);
    for (std::size_t i = 0; i < many; ++i) {
      accept(L"n" + std::to_wstring(i));
    }
  });
  std::vector<std::wstring> taken;
  std::vector<std::wstring> part;
  while (scan.Take(part, 7, 5)) {
    ASSERT_LE(part.size(), 7u);
    taken.insert(taken.end(), part.begin(), part.end());
  }
  EXPECT_EQ(taken, expected);

  auto endless = std::make_unique<BackgroundScan>([](const PathSink& accept, const ScanTick& tick) {
    while (tick()) {
      accept(L"again");
    }
  });
  ASSERT_TRUE(endless->Take(part, 1, 1000));
  endless.reset();  // returns: the scan stopped at its next tick
}

TEST(OptionSet, DefaultsStoredFormAndRanges) {
  MemoryOptionSet options;
  for (Option on : {Option::kSubDirectory, Option::kOutSrcDirectory, Option::kAutoStartConvert,
                    Option::kAutoDeleteItem}) {
    EXPECT_TRUE(options.IsOn(on)) << OptionKey(on);
  }
  for (Option off : {Option::kDeleteSrcFile, Option::kUpperExtension, Option::kInterlacePng,
                     Option::k24Bit, Option::kTopMostWindow}) {
    EXPECT_FALSE(options.IsOn(off)) << OptionKey(off);
  }
  EXPECT_EQ(options.GetOptionText(Option::kFilter), kDefaultFilter);
  EXPECT_EQ(options.GetOptionText(Option::kOutput), L"");
  EXPECT_EQ(options.GetOverwriteMode(), 0);
  EXPECT_EQ(options.GetCompressLevel(), 6);
  EXPECT_EQ(options.GetConvertCount(), 8);

  // The stored form, as the settings page writes and reads it.
  kiv::DataNode stored;
  stored.Child(L"DeleteSrcFile").SetInt(L"Check", 1);
  stored.Child(L"SubDirectory").SetInt(L"Check", 0);
  stored.Child(L"AutoDeleteItem").SetBytes(L"Check", {1, 0});  // malformed: the default
  stored.Child(L"Filter").SetString(L"Text", L"*.png");
  stored.Child(L"Output").SetString(L"Text", L"/写真/出力");
  stored.Child(L"OverWrite").SetInt(L"Index", 7);  // out of range: nothing selected
  stored.Child(L"CompressLevel").SetInt(L"Pos", 42);
  stored.Child(L"spConvertNum").SetInt(L"Pos", 0);
  options.Load(stored);
  EXPECT_TRUE(options.IsOn(Option::kDeleteSrcFile));
  EXPECT_FALSE(options.IsOn(Option::kSubDirectory));
  EXPECT_TRUE(options.IsOn(Option::kAutoDeleteItem));
  EXPECT_EQ(options.GetOptionText(Option::kFilter), L"*.png");
  EXPECT_EQ(options.GetOptionText(Option::kOutput), L"/写真/出力");
  EXPECT_EQ(options.GetOverwriteMode(), -1);
  EXPECT_EQ(options.GetCompressLevel(), 9);
  EXPECT_EQ(options.GetConvertCount(), 1);

  // Saved and loaded through a settings file, everything comes back.
  testimg::TempDir dir;
  kiv::DataNode root(2);
  options.Save(root.Child(L"PageOption"));
  ASSERT_TRUE(kiv::SaveDataFile(root, dir / L"Morvane.dat"));
  kiv::DataNode loaded;
  ASSERT_TRUE(kiv::LoadDataFile(dir / L"Morvane.dat", loaded));
  MemoryOptionSet again;
  again.Load(loaded.Child(L"PageOption"));
  for (const auto& row : kCheckOptions) {
    EXPECT_EQ(again.IsOn(row.option), options.IsOn(row.option)) << OptionKey(row.option);
  }
  EXPECT_EQ(again.GetOptionText(Option::kOutput), L"/写真/出力");
  EXPECT_EQ(again.GetOverwriteMode(), -1);
  EXPECT_EQ(again.GetConvertCount(), 1);
  EXPECT_EQ(loaded.Child(L"PageOption").Child(L"ConvertNum").GetString(L"Text"), L"1");
}

}  // namespace
