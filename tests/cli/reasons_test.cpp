// morvane-cli says why: each failed row's reason in the terminal and in the JSON, made by a real
// cause; and what a converted file lacks of its source (16-bit samples, a truncated file), whose
// source is then never replaced or deleted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/path.h"
#include "base/unicode.h"
#include "cli/batch.h"
#include "tests/cli/recording_terminal.h"
#include "tests/support/format_makers.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::vector<uint8_t> SmallBmp() {
  testimg::BmpRecipe recipe;
  recipe.width = 40;
  recipe.height = 30;
  recipe.values.assign(40 * 30, 0x336699);
  return testimg::MakeBmp(recipe);
}

std::vector<uint8_t> SixteenBitPng() {
  testimg::PngRecipe recipe;
  recipe.width = 2;
  recipe.height = 2;
  recipe.bitDepth = 16;
  recipe.samples = {0x1234, 0x5678, 0x9ABC, 0xDEF0, 1, 2, 3, 4, 5, 6, 7, 8};
  return testimg::MakePng(recipe);
}

struct Outcome {
  int status = 0;
  RecordingTerminal terminal;
};

void RunCli(const std::vector<std::wstring>& arguments, Outcome& outcome) {
  outcome.status = cli::Run(arguments, outcome.terminal, L"");
}

#ifndef _WIN32
// True when the user can still create files in a folder without write permission (root).
bool PermissionsIgnored(const std::wstring& folder) {
  return access(kiv::WideToUtf8(folder).c_str(), W_OK) == 0;
}
#endif

}  // namespace

TEST(CliReasons, EachFailureSaysWhy) {
  testimg::TempDir dir;
  const std::wstring in = dir / L"in";
  kiv::MakeDirectory(in);
  const std::wstring source = kiv::AddSeparator(in) + L"a.bmp";
  ASSERT_TRUE(testimg::WriteFileBytes(source, SmallBmp()));
  const std::wstring corrupt = kiv::AddSeparator(in) + L"c.png";
  std::vector<uint8_t> png = SixteenBitPng();
  png[png.size() - 20] ^= 0x55;  // inside IDAT: its CRC no longer matches
  ASSERT_TRUE(testimg::WriteFileBytes(corrupt, png));
  const std::wstring fileAsFolder = dir / L"file";
  ASSERT_TRUE(testimg::WriteFileBytes(fileAsFolder, {'x'}));
  const std::wstring existing = dir / L"existing";
  kiv::MakeDirectory(existing);
  ASSERT_TRUE(testimg::WriteFileBytes(kiv::AddSeparator(existing) + L"a.png", {'x'}));

  struct Case {
    const char* what;
    std::vector<std::wstring> arguments;
    std::wstring reason;
    bool foretold = true;  // a dry run tells it the same way
    int status = cli::kExitFailures;
  };
  std::vector<Case> cases = {
      {"corrupt", {L"-o", dir / L"o1", corrupt}, L"read failed: corrupt: "},
      // Every row would fail alike: one usage error before anything, in a dry run too.
      {"output folder is a file",
       {L"-o", fileAsFolder, source},
       L"is a file, or lies below one",
       true,
       cli::kExitUsage},
      {"output folder below a file",
       {L"-o", kiv::AddSeparator(fileAsFolder) + L"sub", source},
       L"is a file, or lies below one",
       true,
       cli::kExitUsage},
      {"exists in fail mode",
       {L"--overwrite", L"fail", L"-o", existing, source},
       L"write failed: exists (fail mode)",
       false},
  };
#ifndef _WIN32
  const std::wstring locked = dir / L"locked";
  kiv::MakeDirectory(locked);
  chmod(kiv::WideToUtf8(locked).c_str(), 0555);
  if (!PermissionsIgnored(locked)) {
    cases.push_back({"permission denied", {L"-o", locked, source}, L"permission denied"});
  }
  // A full disk: a tiny file system, where the machine lets the test make one.
  const std::wstring full = dir / L"full";
  kiv::MakeDirectory(full);
  const std::string fullPath = kiv::WideToUtf8(full);
  const bool mounted =
      std::system(("mount -t tmpfs -o size=8k tmpfs '" + fullPath + "' 2>/dev/null").c_str()) == 0;
  if (mounted) {
    testimg::BmpRecipe big;
    big.width = 300;
    big.height = 300;
    testimg::Noise noise(5);
    for (int i = 0; i < 300 * 300; ++i) {
      big.values.push_back(noise.Next() & 0xFFFFFF);
    }
    ASSERT_TRUE(testimg::WriteFileBytes(kiv::AddSeparator(in) + L"big.bmp", testimg::MakeBmp(big)));
    cases.push_back(
        {"disk full", {L"-o", full, kiv::AddSeparator(in) + L"big.bmp"}, L"disk full", false});
  }
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome text;
    RunCli(c.arguments, text);
    EXPECT_EQ(text.status, c.status);
    EXPECT_TRUE(text.terminal.Shows(text.terminal.errors, c.reason))
        << ::testing::PrintToString(kiv::WideToUtf8(text.terminal.errors.back()));
    if (c.status == cli::kExitUsage) {
      std::vector<std::wstring> dry = c.arguments;
      dry.insert(dry.begin(), L"--dry-run");
      Outcome plan;
      RunCli(dry, plan);
      EXPECT_EQ(plan.status, cli::kExitUsage);
      EXPECT_TRUE(plan.terminal.out.empty());
      continue;
    }
    std::vector<std::wstring> json = c.arguments;
    json.insert(json.begin(), L"--json");
    Outcome machine;
    RunCli(json, machine);
    EXPECT_TRUE(machine.terminal.Shows(machine.terminal.out, L"\"reason\":\""));
    if (c.foretold) {
      std::vector<std::wstring> dry = c.arguments;
      dry.insert(dry.begin(), L"--dry-run");
      Outcome plan;
      RunCli(dry, plan);
      EXPECT_EQ(plan.status, cli::kExitFailures);
      EXPECT_TRUE(plan.terminal.Shows(plan.terminal.out, c.reason));
    }
  }
#ifndef _WIN32
  if (!PermissionsIgnored(locked)) {
    SCOPED_TRACE("a folder that cannot be listed is named once");
    const std::wstring closed = kiv::AddSeparator(locked) + L"closed";
    chmod(kiv::WideToUtf8(locked).c_str(), 0755);
    kiv::MakeDirectory(closed);
    chmod(kiv::WideToUtf8(closed).c_str(), 0);
    Outcome scan;
    RunCli({dir / L"locked", dir / L"locked"}, scan);
    EXPECT_EQ(scan.status, cli::kExitFailures);
    EXPECT_TRUE(scan.terminal.Shows(scan.terminal.errors, L"cannot read folder "));
    chmod(kiv::WideToUtf8(closed).c_str(), 0755);
  }
  chmod(kiv::WideToUtf8(locked).c_str(), 0755);
  if (mounted) {
    std::system(("umount '" + fullPath + "'").c_str());
  }
#endif
}

// Converted at 8 bits (--24bit), a 16-bit PNG never replaces itself and is never deleted; a
// truncated BMP or JPEG converts with a warning and keeps its source.
TEST(CliReasons, SourcesHoldingMoreThanTheirPngStay) {
  testimg::TempDir dir;
  const std::wstring deep = dir / L"deep.png";
  ASSERT_TRUE(testimg::WriteFileBytes(deep, SixteenBitPng()));
  std::vector<uint8_t> bmp = SmallBmp();
  bmp.resize(bmp.size() / 2);
  const std::wstring cutBmp = dir / L"cut.bmp";
  ASSERT_TRUE(testimg::WriteFileBytes(cutBmp, bmp));
  testimg::JpegRecipe recipe;
  recipe.width = 64;
  recipe.height = 64;
  recipe.samples.assign(64 * 64 * 3, 0);
  for (size_t i = 0; i < recipe.samples.size(); ++i) {
    recipe.samples[i] = static_cast<uint8_t>(i * 7);
  }
  std::vector<uint8_t> jpeg = testimg::MakeJpeg(recipe);
  jpeg.resize(jpeg.size() / 2);
  const std::wstring cutJpeg = dir / L"cut-jpeg.jpg";
  ASSERT_TRUE(testimg::WriteFileBytes(cutJpeg, jpeg));
  const std::vector<uint8_t> deepBytes = testimg::ReadFileBytes(deep);

  for (const wchar_t* jobs : {L"1", L"3"}) {
    SCOPED_TRACE(kiv::WideToUtf8(jobs));
    Outcome inPlace;
    RunCli({L"-j", jobs, L"--24bit", L"--delete-source", deep}, inPlace);
    EXPECT_EQ(inPlace.status, cli::kExitFailures);
    EXPECT_EQ(testimg::ReadFileBytes(deep), deepBytes);
    EXPECT_TRUE(inPlace.terminal.Shows(inPlace.terminal.errors, L"16-bit source"));

    const std::wstring out = dir / (std::wstring(L"out") + jobs);
    Outcome elsewhere;
    RunCli(
        {L"-j", jobs, L"--24bit", L"--json", L"--delete-source", L"-o", out, deep, cutBmp, cutJpeg},
        elsewhere);
    EXPECT_EQ(elsewhere.status, cli::kExitConverted);
    EXPECT_EQ(testimg::ReadFileBytes(deep), deepBytes);
    EXPECT_TRUE(kiv::FileExists(cutBmp));
    EXPECT_TRUE(kiv::FileExists(cutJpeg));
    EXPECT_TRUE(
        testimg::DecodePng(testimg::ReadFileBytes(kiv::AddSeparator(out) + L"deep.png")).ok);
    EXPECT_TRUE(elsewhere.terminal.Shows(elsewhere.terminal.out,
                                         L"\"warning\":\"16-bit samples rounded to 8 bits\""));
    EXPECT_TRUE(elsewhere.terminal.Shows(elsewhere.terminal.out, L"\"warning\":\"truncated: "));
    EXPECT_TRUE(elsewhere.terminal.Shows(elsewhere.terminal.out,
                                         L"\"sources_deleted\":0,\"sources_kept\":3"));
    EXPECT_TRUE(elsewhere.terminal.Shows(elsewhere.terminal.out, L"\"warnings\":3"));
  }
}

// A source of which the PNG holds one page or frame converts with a warning and stays under
// --delete-source; a file of no image kind fails named by its content.
TEST(CliReasons, SeveralPagesOrFramesKeepTheSourceAndOtherKindsAreNamed) {
  testimg::TempDir dir;
  testimg::TiffRecipe tiff;
  tiff.width = 8;
  tiff.height = 4;
  tiff.pages = 3;
  tiff.samples.assign(8 * 4 * 3, 90);
  testimg::GifRecipe gif;
  gif.width = 4;
  gif.height = 4;
  gif.globalMap.assign(2, testimg::Rgba{10, 20, 30, 255});
  testimg::GifFrame frame;
  frame.width = 4;
  frame.height = 4;
  frame.indices.assign(16, 1);
  gif.frames.assign(4, frame);
  // An animation whose last frame is cut short: only its first frame can be written.
  std::vector<uint8_t> moving = testimg::MakeGif(gif);
  moving.resize(moving.size() - 4);
  const std::string text = "just some words\n";
  const struct {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
    const wchar_t* shown;  // the warning or the reason
    bool kept;
  } cases[] = {
      {L"pages.tif", testimg::MakeTiff(tiff), L"\"warning\":\"page 1 of 3\"", true},
      {L"moving.gif", moving, L"\"warning\":\"first frame of 4", true},
      {L"note.webp", std::vector<uint8_t>(text.begin(), text.end()), L"\"reason\":\"a text file\"",
       true},
      {L"plain.bmp", SmallBmp(), L"\"state\":\"converted\"", false},
  };
  std::vector<std::wstring> paths = {L"--json", L"--delete-source", L"-o", dir / L"out"};
  for (const auto& c : cases) {
    ASSERT_TRUE(testimg::WriteFileBytes(dir / c.name, c.bytes));
    paths.push_back(dir / c.name);
  }
  Outcome outcome;
  RunCli(paths, outcome);
  EXPECT_EQ(outcome.status, cli::kExitFailures);
  for (const auto& c : cases) {
    SCOPED_TRACE(kiv::WideToUtf8(c.name));
    EXPECT_TRUE(outcome.terminal.Shows(outcome.terminal.out, c.shown));
    EXPECT_EQ(kiv::FileExists(dir / c.name), c.kept);
  }
}
