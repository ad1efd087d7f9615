// Output names, the folder chain, and the overwrite decision.
#include "engine/output_naming.h"

#include <gtest/gtest.h>

#include <string>

#include "base/path.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "tests/support/temp_dir.h"

namespace {

// Joins path components with the platform's separator.
std::wstring P(std::initializer_list<std::wstring> parts) {
  std::wstring path;
  for (const auto& part : parts) {
    path = path.empty() ? part : kiv::AddSeparator(path) + part;
  }
  return path;
}

#ifdef _WIN32
const std::wstring kIn = L"E:\\in";
const std::wstring kOut = L"D:\\out";
#else
const std::wstring kIn = L"/e/in";
const std::wstring kOut = L"/d/out";
#endif

TEST(OutputPath, FollowsTheFolderAndExtensionOptions) {
  // Beside the source, lower case.
  EXPECT_EQ(OutputPathFor(P({kIn, L"photo.jpeg"}), OutputFolder(true, kOut), false),
            P({kIn, L"photo.png"}));
  // Output folder without a trailing separator, upper case.
  EXPECT_EQ(OutputPathFor(P({kIn, L"photo.jpeg"}), OutputFolder(false, kOut), true),
            P({kOut, L"photo.PNG"}));
  // A folder given with its separator is not doubled.
  EXPECT_EQ(OutputFolder(false, kiv::AddSeparator(kOut)), kiv::AddSeparator(kOut));
  // No extension, several dots, and the name's own case kept.
  EXPECT_EQ(OutputPathFor(P({kIn, L"README"}), L"", false), P({kIn, L"README.png"}));
  EXPECT_EQ(OutputPathFor(P({kIn, L"a.b.bmp"}), L"", false), P({kIn, L"a.b.png"}));
  EXPECT_EQ(OutputPathFor(P({kIn, L"MiXeD.JPG"}), L"", true), P({kIn, L"MiXeD.PNG"}));
  // An empty output-folder text with the same-folder option off: beside the source.
  EXPECT_EQ(OutputFolder(false, L""), L"");
  EXPECT_EQ(OutputPathFor(P({kIn, L"photo.jpeg"}), OutputFolder(false, L""), false),
            P({kIn, L"photo.png"}));
  // Japanese names keep every character.
  EXPECT_EQ(OutputPathFor(P({kIn, L"写真.bmp"}), L"", false), P({kIn, L"写真.png"}));
}

TEST(OutputPath, CounterIsStrippedLikeTheRenameRule) {
  EXPECT_EQ(StripRenameCounter(L"cat (7)"), L"cat");
  EXPECT_EQ(StripRenameCounter(L"x (2) y"), L"x y");
  EXPECT_EQ(StripRenameCounter(L"a (1) b (22) c"), L"a (1) b c");  // only the last counter
  EXPECT_EQ(StripRenameCounter(L" (3)"), L" (3)");  // the group needs a character before it
  EXPECT_EQ(StripRenameCounter(L"z (3)"), L"z");
  EXPECT_EQ(StripRenameCounter(L"cat ()"), L"cat ()");  // no digits: no counter
  EXPECT_EQ(StripRenameCounter(L"cat (1a)"), L"cat (1a)");
  EXPECT_EQ(StripRenameCounter(L"cat(7)"), L"cat(7)");  // the blank belongs to the counter
  EXPECT_EQ(StripRenameCounter(P({kIn, L"dir (4)", L"cat"})), P({kIn, L"dir", L"cat"}));
  EXPECT_EQ(StripRenameCounter(L"a (1)\nb (2)"), L"a\nb");  // a line break ends each match
}

class OverwriteTest : public ::testing::Test {
 protected:
  void Touch(const std::wstring& name) { ASSERT_TRUE(testimg::WriteFileBytes(dir / name, {7})); }
  testimg::TempDir dir;
};

TEST_F(OverwriteTest, ForceAndFailModes) {
  const std::wstring cat = dir / L"cat.png";
  OverwriteDecision force = DecideOverwrite(0, cat);
  EXPECT_EQ(force.action, OverwriteDecision::Action::kWrite);
  EXPECT_EQ(force.path, cat);
  EXPECT_FALSE(force.createNew);

  OverwriteDecision fail = DecideOverwrite(1, cat);
  EXPECT_EQ(fail.action, OverwriteDecision::Action::kWrite);
  EXPECT_TRUE(fail.createNew);  // nothing may be replaced that appears meanwhile

  Touch(L"cat.png");
  EXPECT_EQ(DecideOverwrite(0, cat).action, OverwriteDecision::Action::kWrite);
  EXPECT_EQ(DecideOverwrite(1, cat).action, OverwriteDecision::Action::kRefuse);
  EXPECT_EQ(testimg::ReadFileBytes(cat), std::vector<uint8_t>{7});

  EXPECT_EQ(DecideOverwrite(-1, cat).action, OverwriteDecision::Action::kNothing);
  EXPECT_EQ(DecideOverwrite(3, cat).action, OverwriteDecision::Action::kNothing);
}

TEST_F(OverwriteTest, RenameTakesTheFirstFreeNumber) {
  const std::wstring cat = dir / L"cat.png";
  OverwriteDecision free = DecideOverwrite(2, cat);
  EXPECT_EQ(free.path, cat);
  EXPECT_TRUE(free.createNew);

  Touch(L"cat.png");
  EXPECT_EQ(DecideOverwrite(2, cat).path, dir / L"cat (1).png");
  Touch(L"cat (1).png");
  EXPECT_EQ(DecideOverwrite(2, cat).path, dir / L"cat (2).png");
  Touch(L"cat (3).png");
  EXPECT_EQ(DecideOverwrite(2, cat).path, dir / L"cat (2).png");  // gaps are filled first

  // The output's own counter is dropped before numbering.
  Touch(L"cat (7).png");
  EXPECT_EQ(DecideOverwrite(2, dir / L"cat (7).png").path, dir / L"cat (2).png");
  Touch(L"x (2) y.png");
  EXPECT_EQ(DecideOverwrite(2, dir / L"x (2) y.png").path, dir / L"x y (1).png");
  // Without an extension the number goes at the end.
  Touch(L"plain");
  EXPECT_EQ(DecideOverwrite(2, dir / L"plain").path, dir / L"plain (1)");
}

TEST_F(OverwriteTest, RenameRefusesWhenAllNumbersAreTaken) {
  Touch(L"name.png");
  for (int n = 1; n <= kMaxRenameCounter; ++n) {
    Touch(L"name (" + std::to_wstring(n) + L").png");
  }
  EXPECT_EQ(DecideOverwrite(2, dir / L"name.png").action, OverwriteDecision::Action::kRefuse);
  kiv::RemoveFile(dir / L"name (999).png");
  EXPECT_EQ(DecideOverwrite(2, dir / L"name.png").path, dir / L"name (999).png");
}

TEST_F(OverwriteTest, FolderChainIsCreatedWholeAndFailuresAreIgnored) {
  const std::wstring deep = kiv::AddSeparator(P({dir.path(), L"a", L"b", L"出力"}));
  CreateFolderChain(deep);
  EXPECT_TRUE(kiv::IsDirectory(P({dir.path(), L"a", L"b", L"出力"})));
  CreateFolderChain(deep);  // already there: nothing happens
  Touch(L"file");
  CreateFolderChain(kiv::AddSeparator(P({dir.path(), L"file", L"sub"})));  // blocked by a file
  EXPECT_FALSE(kiv::IsDirectory(P({dir.path(), L"file", L"sub"})));
}

// Registration fixes the output path from the options of that moment, and
// creates the output folder once per batch.
TEST_F(OverwriteTest, RegistrationFixesOutputPathsFromTheOptionsOfThatMoment) {
  MemoryFileList list;
  MemoryOptionSet options;
  MemoryWindow window;
  ConvertManager manager(EngineHost{list, options, window});
  const std::wstring out = P({dir.path(), L"out", L"nested"});
  options.SetOn(Option::kOutSrcDirectory, false);
  options.SetText(Option::kOutput, out);

  std::vector<std::wstring> batch = {P({kIn, L"one.bmp"}), P({kIn, L"two.jpg"})};
  manager.RegisterFiles(batch);
  EXPECT_TRUE(batch.empty());
  EXPECT_TRUE(kiv::IsDirectory(out));

  // Later changes leave registered rows alone.
  options.SetOn(Option::kUpperExtension, true);
  options.SetOn(Option::kOutSrcDirectory, true);
  manager.AddFile(P({kIn, L"three.png"}));

  const auto rows = list.Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].outputPath, P({out, L"one.png"}));
  EXPECT_EQ(rows[1].outputPath, P({out, L"two.png"}));
  EXPECT_EQ(rows[2].outputPath, P({kIn, L"three.PNG"}));
  EXPECT_EQ(rows[2].stateText, L"");

  // The folder is made at registration even when nothing is converted, and
  // an empty batch creates nothing.
  kiv::RemoveFolder(out);
  std::vector<std::wstring> none;
  options.SetOn(Option::kOutSrcDirectory, false);
  manager.RegisterFiles(none);
  EXPECT_FALSE(kiv::IsDirectory(out));
}

}  // namespace
