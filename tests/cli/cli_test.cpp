// morvane-cli end to end: a folder tree of generated images converted
// through the command line's own entry, with its output, summary and exit
// status; bad arguments; the settings file; a stop in the middle.
#include "cli/batch.h"
#include "cli/convert_run.h"
#include "cli/summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/file_identity.h"
#include "base/process.h"
#include "base/path.h"
#include "base/unicode.h"
#include "engine/memory_options.h"
#include "settings/data_file.h"
#include "settings/data_node.h"
#include "tests/cli/recording_terminal.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#endif

using testimg::Picture;
using testimg::Rgba;

namespace {

Picture Noisy(int width, int height, uint32_t seed, bool alpha) {
  testimg::Noise noise(seed);
  Picture picture(width, height);
  for (Rgba& c : picture.pixels) {
    const uint32_t v = noise.Next();
    c = Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             static_cast<uint8_t>(alpha ? v >> 24 : 255)};
  }
  return picture;
}

std::vector<uint8_t> BmpOf(const Picture& picture) {
  testimg::BmpRecipe recipe;
  recipe.width = picture.width;
  recipe.height = picture.height;
  recipe.bitCount = 24;
  for (const Rgba& c : picture.pixels) {
    recipe.values.push_back((uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b);
  }
  return testimg::MakeBmp(recipe);
}

std::vector<uint8_t> PngOf(const Picture& picture) {
  testimg::PngRecipe recipe;
  recipe.width = picture.width;
  recipe.height = picture.height;
  recipe.colorType = 6;
  for (const Rgba& c : picture.pixels) {
    recipe.samples.insert(recipe.samples.end(), {c.r, c.g, c.b, c.a});
  }
  return testimg::MakePng(recipe);
}

std::vector<uint8_t> JpegOf(const Picture& picture) {
  testimg::JpegRecipe recipe;
  recipe.width = picture.width;
  recipe.height = picture.height;
  for (const Rgba& c : picture.pixels) {
    recipe.samples.insert(recipe.samples.end(), {c.r, c.g, c.b});
  }
  return testimg::MakeJpeg(recipe);
}

Picture JpegReference(const std::vector<uint8_t>& jpeg) {
  const testimg::DecodedJpeg decoded = testimg::DecodeJpegReference(jpeg);
  Picture picture(decoded.width, decoded.height);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    picture.pixels[i] =
        Rgba{decoded.samples[i * 3], decoded.samples[i * 3 + 1], decoded.samples[i * 3 + 2], 255};
  }
  return picture;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return kiv::AddSeparator(folder) + name;
}

// A tree: top/a.bmp, top/b.png, top/c.jpg, top/notes.txt, top/sub/d.bmp,
// top/.cache/hidden.bmp, and the pictures each source should give.
class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    top = Join(dir.path(), L"写真");
    kiv::MakeDirectory(top);
    kiv::MakeDirectory(Join(top, L"sub"));
    kiv::MakeDirectory(Join(top, L".cache"));
    Add(L"a.bmp", BmpOf(Noisy(17, 9, 1, false)), Noisy(17, 9, 1, false));
    Add(L"b.png", PngOf(Noisy(8, 8, 2, true)), Noisy(8, 8, 2, true));
    const auto jpeg = JpegOf(Noisy(16, 16, 3, false));
    Add(L"c.jpg", jpeg, JpegReference(jpeg));
    Add(Join(L"sub", L"d.bmp"), BmpOf(Noisy(5, 5, 4, false)), Noisy(5, 5, 4, false));
    testimg::WriteFileBytes(Join(top, L"notes.txt"), {'h', 'i'});
    testimg::WriteFileBytes(Join(Join(top, L".cache"), L"hidden.bmp"),
                            BmpOf(Noisy(2, 2, 5, false)));
  }

  void Add(const std::wstring& name, const std::vector<uint8_t>& bytes, const Picture& expected) {
    ASSERT_TRUE(testimg::WriteFileBytes(Join(top, name), bytes));
    expectations.emplace_back(name, expected);
  }

  int Run(std::vector<std::wstring> arguments, const std::wstring& defaultSettings = L"") {
    return cli::Run(arguments, terminal, defaultSettings);
  }

  // A new folder `name` holding `count` copies of a square BMP large enough that converting
  // all of them takes a while.
  std::wstring FolderOfLargeBmps(const std::wstring& name, int count, int side, uint32_t seed) {
    const std::wstring folder = Join(dir.path(), name);
    kiv::MakeDirectory(folder);
    const auto bytes = BmpOf(Noisy(side, side, seed, false));
    for (int i = 0; i < count; ++i) {
      EXPECT_TRUE(
          testimg::WriteFileBytes(Join(folder, L"p" + std::to_wstring(i) + L".bmp"), bytes));
    }
    return folder;
  }

  // How many PNGs a stopped run left in `folder`. Each must be whole, and nothing but the
  // sources and the PNGs may be there: no half-written or temporary file.
  static int WholePngCount(const std::wstring& folder) {
    int pngs = 0;
    for (const auto& name : testimg::FolderNames(folder)) {
      if (kiv::FindExtension(name) == L".png") {
        ++pngs;
        EXPECT_TRUE(testimg::DecodePng(testimg::ReadFileBytes(Join(folder, name))).ok)
            << ::testing::PrintToString(name);
      } else {
        EXPECT_EQ(kiv::FindExtension(name), L".bmp") << ::testing::PrintToString(name);
      }
    }
    return pngs;
  }

  testimg::TempDir dir;
  std::wstring top;
  std::vector<std::pair<std::wstring, Picture>> expectations;
  RecordingTerminal terminal;
};

TEST_F(CliTest, ConvertsAFolderTreeBesideTheSources) {
  EXPECT_EQ(Run({top}), cli::kExitConverted);
  for (const auto& [name, picture] : expectations) {
    const auto png =
        testimg::DecodePng(testimg::ReadFileBytes(Join(top, kiv::RenameExtension(name, L".png"))));
    ASSERT_TRUE(png.ok) << ::testing::PrintToString(name);
    EXPECT_EQ(testimg::Difference(picture, png.picture), "") << ::testing::PrintToString(name);
  }
  EXPECT_FALSE(kiv::FileExists(Join(Join(top, L".cache"), L"hidden.png")));
  EXPECT_FALSE(kiv::FileExists(Join(top, L"notes.png")));
  EXPECT_TRUE(terminal.Shows(terminal.out, L"converted 4, read failures 0, write failures 0"));
  EXPECT_TRUE(terminal.Shows(terminal.out, Join(Join(top, L"sub"), L"d.bmp") + L": 変換終了"));
  EXPECT_TRUE(terminal.errors.empty());
}

TEST_F(CliTest, PathsAreTidiedQuotedAndTheOutputFolderIsNotScanned) {
  const std::wstring out = Join(top, L"out");
  for (int run = 0; run < 2; ++run) {
    terminal.out.clear();
    EXPECT_EQ(Run({L"-o", out + L"/./", top}), cli::kExitConverted);
    EXPECT_TRUE(terminal.Shows(terminal.out, L"converted 4,"));
  }
  EXPECT_EQ(testimg::FolderNames(out).size(), 4u);
  ASSERT_TRUE(testimg::WriteFileBytes(Join(top, L"x y.bmp"), BmpOf(Noisy(2, 2, 9, false))));
  terminal.out.clear();
  EXPECT_EQ(Run({L"-o", out, top + L"//x y.bmp", top + L"/./a.bmp"}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"\"" + Join(top, L"x y.bmp") + L"\": 変換終了"));
  EXPECT_TRUE(terminal.Shows(terminal.out, Join(top, L"a.bmp") + L": 変換終了"));
  EXPECT_TRUE(kiv::FileExists(Join(out, L"x y.png")));
}

TEST_F(CliTest, StopWhileRegisteringEndsTheScanAndConvertsNothing) {
  const std::wstring many = FolderOfLargeBmps(L"many", 6, 4, 11);
  int looks = 0;
  terminal.stopWhen = [&looks] { return ++looks > 3; };
  EXPECT_EQ(Run({many, top}), cli::kExitInterrupted);
  // The scan ended at once: the 6 files under 4 patterns and the second folder are not looked at.
  EXPECT_LE(looks, 8);
  EXPECT_EQ(WholePngCount(many), 0);
  EXPECT_FALSE(kiv::FileExists(Join(top, L"a.png")));
}

TEST_F(CliTest, FlagsChooseFolderNameAndFormat) {
  const std::wstring out = Join(Join(dir.path(), L"out"), L"deeper");
  EXPECT_EQ(
      Run({L"--no-subdirs", L"-o", out, L"--upper-ext", L"--level=0", L"--interlace", L"--24bit",
           L"--filter", L"*.png|*.bmp", L"-j", L"1", L"--strip", L"--no-auto-orient", top}),
      cli::kExitConverted);
  EXPECT_EQ(testimg::FolderNames(out), (std::vector<std::wstring>{L"a.PNG", L"b.PNG"}));
  // The BMP's resolution is not written.
  EXPECT_EQ(testimg::DecodePng(testimg::ReadFileBytes(Join(out, L"a.PNG"))).chunks,
            (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  const auto png = testimg::DecodePng(testimg::ReadFileBytes(Join(out, L"b.PNG")));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.colorType, 2);  // 24-bit: alpha dropped
  EXPECT_EQ(png.interlace, 1);
  EXPECT_TRUE(testimg::AllStoredBlocks(png.idat));
  EXPECT_FALSE(kiv::FileExists(Join(top, L"a.png")));
}

TEST_F(CliTest, FailuresAndMissingPathsAreReportedWithStatusOne) {
  testimg::WriteFileBytes(Join(top, L"broken.bmp"), {'B', 'M', 1, 2, 3});
  EXPECT_EQ(Run({Join(top, L"broken.bmp"), Join(top, L"nowhere.bmp"), Join(top, L"a.bmp"),
                 Join(top, L"notes.txt")}),
            cli::kExitFailures);
  EXPECT_TRUE(
      terminal.Shows(terminal.errors, L"no such file or folder: " + Join(top, L"nowhere.bmp")));
  EXPECT_TRUE(
      terminal.Shows(terminal.errors, L"not matched by the filter: " + Join(top, L"notes.txt")));
  EXPECT_TRUE(terminal.Shows(terminal.errors, Join(top, L"broken.bmp") + L": 読込失敗"));
  EXPECT_TRUE(terminal.Shows(terminal.out, L"converted 1, read failures 1"));
  EXPECT_TRUE(terminal.Shows(terminal.out, L"missing paths 1"));
  EXPECT_TRUE(kiv::FileExists(Join(top, L"a.png")));

  // Fail mode with the output now present: a write failure, the file untouched.
  const auto before = testimg::ReadFileBytes(Join(top, L"a.png"));
  terminal.out.clear();
  EXPECT_EQ(Run({L"--overwrite", L"fail", L"--level", L"9", Join(top, L"a.bmp")}),
            cli::kExitFailures);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"write failures 1"));
  EXPECT_EQ(testimg::ReadFileBytes(Join(top, L"a.png")), before);
}

TEST_F(CliTest, DeleteSourceRemovesOnlyConvertedSources) {
  testimg::WriteFileBytes(Join(top, L"broken.bmp"), {'B', 'M', 1, 2, 3});
  EXPECT_EQ(Run({L"--delete-source", L"--no-subdirs", L"--filter", L"*.bmp", top}),
            cli::kExitFailures);
  EXPECT_FALSE(kiv::FileExists(Join(top, L"a.bmp")));
  EXPECT_TRUE(kiv::FileExists(Join(top, L"a.png")));
  EXPECT_TRUE(kiv::FileExists(Join(top, L"broken.bmp")));
  EXPECT_TRUE(kiv::FileExists(Join(Join(top, L"sub"), L"d.bmp")));
}

// a.bmp and a.jpg both make a.png: one row fails naming the other source,
// and b.png, converted onto itself, is kept and counted so.
TEST_F(CliTest, CollisionIsNamedAndKeptSourcesAreCounted) {
  ASSERT_TRUE(testimg::WriteFileBytes(Join(top, L"a.jpg"), JpegOf(Noisy(6, 6, 7, false))));
  EXPECT_EQ(Run({L"--delete-source", L"--no-subdirs", top}), cli::kExitFailures);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"write failures 1, sources deleted 2, kept 1"));
  EXPECT_TRUE(terminal.Shows(terminal.errors, L"a.png is taken in this run by "));
  EXPECT_TRUE(kiv::FileExists(Join(top, L"a.bmp")) || kiv::FileExists(Join(top, L"a.jpg")));
  EXPECT_TRUE(kiv::FileExists(Join(top, L"b.png")));
}

TEST_F(CliTest, BadUsageEndsWithStatusTwoNamingTheArgument) {
  const std::vector<std::pair<std::vector<std::wstring>, std::wstring>> cases = {
      {{}, L"no file or folder"},
      {{L"--jobs", L"0", top}, L"\"0\""},
      {{L"-j", L"17", top}, L"\"17\""},
      {{L"--level", L"x", top}, L"\"x\""},
      {{L"--level"}, L"--level"},
      {{L"--overwrite", L"never", top}, L"\"never\""},
      {{L"--frobnicate", top}, L"--frobnicate"},
      {{L"--interlace=yes", top}, L"--interlace"},
      {{L"--background=1", top}, L"--background"},
      {{L"--strip=all", top}, L"--strip"},
      {{L"-o", top}, L"no file or folder"},
      {{L"--settings", Join(top, L"none.dat"), top}, L"none.dat"},
      {{L"--settings", Join(top, L"notes.txt"), top}, L"not a Morvane settings file"},
  };
  for (const auto& [arguments, named] : cases) {
    terminal.errors.clear();
    EXPECT_EQ(Run(arguments), cli::kExitUsage) << ::testing::PrintToString(arguments);
    EXPECT_TRUE(terminal.Shows(terminal.errors, named)) << ::testing::PrintToString(arguments);
  }
  EXPECT_FALSE(kiv::FileExists(Join(top, L"a.png")));  // nothing was converted

  terminal.out.clear();
  EXPECT_EQ(Run({L"--help"}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"usage: morvane-cli"));
  // Every line fits a terminal of 80 columns without wrapping.
  for (const std::wstring& text : terminal.out) {
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
      end = std::min(text.find(L'\n', at), text.size());
      EXPECT_LE(cli::DisplayWidth(text.substr(at, end - at)), 79u) << text.substr(at, end - at);
    }
  }
  EXPECT_EQ(Run({L"--version"}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"morvane-cli 1."));
}

TEST_F(CliTest, SettingsFileGivesTheDefaultsAndFlagsOverrideIt) {
  MemoryOptionSet stored;
  stored.SetOn(Option::kUpperExtension, true);
  stored.SetOn(Option::kSubDirectory, false);
  stored.SetOverwriteMode(1);
  stored.SetText(Option::kFilter, L"*.bmp");
  kiv::DataNode root(2);
  stored.Save(root.Child(L"PageOption"));
  const std::wstring settings = Join(dir.path(), L"Morvane.dat");
  ASSERT_TRUE(kiv::SaveDataFile(root, settings));

  // The default settings file, when it exists.
  EXPECT_EQ(Run({top}, settings), cli::kExitConverted);
  // Names listed as stored: the source b.png must not have been rewritten as b.PNG.
  EXPECT_EQ(testimg::FolderNames(top),
            (std::vector<std::wstring>{L".cache", L"a.PNG", L"a.bmp", L"b.png", L"c.jpg",
                                       L"notes.txt", L"sub"}));
  EXPECT_EQ(testimg::FolderNames(Join(top, L"sub")), std::vector<std::wstring>{L"d.bmp"});

  // Named; fail mode from the file refuses, a flag overrides it.
  EXPECT_EQ(Run({L"--settings", settings, top}), cli::kExitFailures);
  EXPECT_EQ(Run({L"--settings", settings, L"--overwrite", L"force", top}), cli::kExitConverted);

  // A default path that does not exist is no error.
  EXPECT_EQ(Run({Join(top, L"a.bmp")}, Join(dir.path(), L"absent.dat")), cli::kExitConverted);
}

TEST_F(CliTest, StopRequestLetsRunningFilesFinishAndReportsStatus130) {
  const std::wstring many = FolderOfLargeBmps(L"many", 60, 300, 9);
  terminal.progressWanted = true;
  // Ctrl+C once the run shows its progress (a stop while registering converts nothing).
  terminal.stopWhen = [this] { return !terminal.progress.empty(); };
  EXPECT_EQ(Run({L"-j", L"1", many}), cli::kExitInterrupted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"not converted (stopped)"));
  EXPECT_TRUE(terminal.Shows(terminal.progress, L"stopping"));
  ASSERT_FALSE(terminal.progress.empty());
  EXPECT_EQ(terminal.progress.back(), L"");  // the line is cleared at the end

  const int pngs = WholePngCount(many);
  EXPECT_GT(pngs, 0);
  EXPECT_LT(pngs, 60);
}

// A second Ctrl+C ends the run at once, with the status of a stop.
TEST_F(CliTest, SecondStopEndsAtOnce) {
  const std::wstring many = FolderOfLargeBmps(L"insisted", 60, 300, 12);
  terminal.progressWanted = true;
  terminal.stopWhen = [this] { return !terminal.progress.empty(); };
  terminal.insistWhen = terminal.stopWhen;
  try {
    Run({L"-j", L"1", many});
    ADD_FAILURE() << "the run was not ended at once";
  } catch (const RecordingTerminal::Ended& ended) {
    EXPECT_EQ(ended.status, cli::kExitInterrupted);
  }
}

// What a second Ctrl+C removes: this process's temporaries in the output
// folders of the rows in progress, nothing else.
TEST_F(CliTest, SecondStopRemovesOnlyTheTemporariesInProgress) {
  const std::wstring ours = L".morvane-" + kiv::CurrentProcessOwner() + L"-";
  struct Case {
    const wchar_t* folder;
    const wchar_t* name;  // after this process's prefix when `own`
    bool own;
    bool removed;
  };
  const Case cases[] = {
      {L"busy", L"1.tmp", true, true},
      {L"busy", L"2.tmp", true, true},
      {L"busy", L".morvane-elsewhere-3.tmp", false, false},  // another process's
      {L"busy", L"x.png", false, false},
      {L"done", L"4.tmp", true, false},     // its row finished
      {L"waiting", L"5.tmp", true, false},  // its row not yet begun
  };
  std::vector<MemoryFileList::RowCopy> rows;
  for (const wchar_t* folder : {L"busy", L"done", L"waiting"}) {
    kiv::MakeDirectory(Join(dir.path(), folder));
    MemoryFileList::RowCopy row;
    row.sourcePath = Join(top, L"a.bmp");
    row.outputPath = Join(Join(dir.path(), folder), L"a.png");
    row.stateText = folder == std::wstring(L"busy")   ? kStateConverting
                    : folder == std::wstring(L"done") ? kStateConverted
                                                      : L"";
    rows.push_back(row);
  }
  auto path = [&](const Case& c) {
    return Join(Join(dir.path(), c.folder), c.own ? ours + c.name : std::wstring(c.name));
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(testimg::WriteFileBytes(path(c), {1, 2, 3}));
  }
  cli::RemoveTemporariesInProgress(rows);
  for (const Case& c : cases) {
    EXPECT_EQ(kiv::FileExists(path(c)), !c.removed) << kiv::WideToUtf8(path(c));
  }
}

TEST_F(CliTest, UpdateWithDeleteSourceDeletesOnlyWhatItConverts) {
  EXPECT_EQ(Run({top}), cli::kExitConverted);
  // Everything is up to date: nothing is converted, so no source goes.
  EXPECT_EQ(Run({L"--update", L"--delete-source", L"--json", top}), cli::kExitConverted);
  const std::wstring d = Join(Join(top, L"sub"), L"d.bmp");
  for (const std::wstring& path :
       {Join(top, L"a.bmp"), Join(top, L"b.png"), Join(top, L"c.jpg"), d}) {
    EXPECT_TRUE(kiv::FileExists(path)) << kiv::WideToUtf8(path);
  }
  EXPECT_TRUE(terminal.Shows(terminal.out, L"\"sources_deleted\":0,"));
  // A changed source meets a PNG that may be the only copy of another picture (a source
  // deleted earlier): it is refused and both stay. A PNG gone is written again and its
  // source deleted.
  const std::vector<uint8_t> earlier = testimg::ReadFileBytes(Join(top, L"a.png"));
  kiv::FileStamp png;
  ASSERT_TRUE(kiv::ReadFileStamp(Join(top, L"a.png"), &png));
  png.seconds += 10;
  ASSERT_TRUE(kiv::SetModificationTime(Join(top, L"a.bmp"), png));
  ASSERT_TRUE(kiv::RemoveFile(Join(top, L"c.png")));
  terminal.out.clear();
  EXPECT_EQ(Run({L"--update", L"--delete-source", L"--json", top}), cli::kExitFailures);
  EXPECT_TRUE(kiv::FileExists(Join(top, L"a.bmp")));
  EXPECT_EQ(testimg::ReadFileBytes(Join(top, L"a.png")), earlier);
  EXPECT_TRUE(
      terminal.Shows(terminal.out, L"\"reason\":\"exists, and sources are being deleted\""));
  EXPECT_FALSE(kiv::FileExists(Join(top, L"c.jpg")));
  EXPECT_TRUE(testimg::DecodePng(testimg::ReadFileBytes(Join(top, L"c.png"))).ok);
  EXPECT_TRUE(kiv::FileExists(d));
  EXPECT_TRUE(terminal.Shows(terminal.out, L"\"sources_deleted\":1,"));
}

#ifndef _WIN32
// A file the list reaches by two names is never deleted, whichever name
// comes last, and its rows and the dry run's say why.
TEST_F(CliTest, ASourceReachedByTwoNamesIsKeptAndItsRowsSayWhy) {
  struct Case {
    const char* what;
    bool hard;         // a hard link beside the file, else a symbolic link
    bool folderTwice;  // the folder named again through a link to it
  };
  const Case cases[] = {{"link beside", false, false},
                        {"hard link beside", true, false},
                        {"folder named twice", false, true}};
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring folder = Join(dir.path(), L"twice" + std::to_wstring(++number));
    kiv::MakeDirectory(folder);
    ASSERT_TRUE(testimg::WriteFileBytes(Join(folder, L"x.bmp"), BmpOf(Noisy(4, 4, 7, false))));
    ASSERT_TRUE(testimg::WriteFileBytes(Join(folder, L"y.bmp"), BmpOf(Noisy(4, 4, 8, false))));
    std::vector<std::wstring> arguments = {L"--json", L"--delete-source", folder};
    const std::string x = kiv::WideToUtf8(Join(folder, L"x.bmp"));
    const std::string best = kiv::WideToUtf8(Join(folder, L"best.bmp"));
    if (c.folderTwice) {
      const std::wstring again = folder + L"-again";
      ASSERT_EQ(symlink(kiv::WideToUtf8(folder).c_str(), kiv::WideToUtf8(again).c_str()), 0);
      arguments.push_back(again);
    } else {
      ASSERT_EQ(c.hard ? link(x.c_str(), best.c_str()) : symlink(x.c_str(), best.c_str()), 0);
    }
    std::vector<std::wstring> plan = arguments;
    plan.push_back(L"--dry-run");
    for (const auto& run : {plan, arguments}) {
      terminal.out.clear();
      terminal.errors.clear();
      EXPECT_EQ(Run(run), cli::kExitConverted);
      int kept = 0;
      for (const std::wstring& line : terminal.out) {
        kept += line.find(L"\"source_kept\":\"also reached as ") != std::wstring::npos;
      }
      EXPECT_EQ(kept, c.folderTwice ? 4 : 2);
      EXPECT_TRUE(terminal.Shows(terminal.errors, L"the list also reaches it as"));
    }
    EXPECT_TRUE(kiv::FileExists(Join(folder, L"x.bmp")));
    EXPECT_EQ(kiv::FileExists(Join(folder, L"y.bmp")), c.folderTwice);
  }
}

// The real program, stopped with SIGINT as Ctrl+C in a terminal stops it.
TEST_F(CliTest, InterruptSignalStopsTheProgramCleanly) {
  const std::wstring many = FolderOfLargeBmps(L"signal", 80, 400, 11);
  const std::string folder = kiv::WideToUtf8(many);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execl(MORVANE_CLI_PATH, "morvane-cli", "-j", "1", folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for the first output, then interrupt.
  for (int i = 0; i < 2000; ++i) {
    bool any = false;
    for (const auto& name : testimg::FolderNames(many)) {
      any = any || kiv::FindExtension(name) == L".png";
    }
    if (any) {
      break;
    }
    usleep(5000);
  }
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), cli::kExitInterrupted);
  EXPECT_LT(WholePngCount(many), 80);
}
#endif

}  // namespace

namespace {

// The progress line fits 80 columns, counting a wide character as two.
TEST(CliProgress, LineFitsTheTerminalInColumns) {
  const std::wstring wide(60, L'写');
  const std::wstring emoji = L"\U0001F600\U0001F600\U0001F600" + std::wstring(70, L'x');
  struct Case {
    const char* what;
    std::wstring name;
    size_t width;  // of the name alone
  };
  const Case cases[] = {
      {"ascii", std::wstring(100, L'a') + L".jpg", 104},
      {"wide", wide + L".jpg", 124},
      {"combining", L"e\u0301" + std::wstring(10, L'z'), 11},
      {"beyond the basic plane", emoji, 76},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(cli::DisplayWidth(c.name), c.width);
    const std::wstring line = cli::ProgressText(12, 3456, 7, 754, c.name, false);
    EXPECT_LE(cli::DisplayWidth(line), cli::kProgressColumns);
    EXPECT_EQ(line.find(L"[12/3456] 7 failed 12:34 left "), 0u);
    const std::wstring cut = cli::FitColumns(c.name, 21);
    EXPECT_LE(cli::DisplayWidth(cut), 21u);
    EXPECT_GE(cli::DisplayWidth(cut), c.width > 21 ? 20u : c.width);
    // No half of a surrogate pair is left alone.
    for (size_t i = 0; i < cut.size(); ++i) {
      const uint32_t ch = static_cast<uint32_t>(cut[i]);
      const bool high = ch >= 0xD800 && ch <= 0xDBFF;
      const bool low = ch >= 0xDC00 && ch <= 0xDFFF;
      const uint32_t next = i + 1 < cut.size() ? static_cast<uint32_t>(cut[i + 1]) : 0;
      const uint32_t before = i > 0 ? static_cast<uint32_t>(cut[i - 1]) : 0;
      EXPECT_FALSE(high && !(next >= 0xDC00 && next <= 0xDFFF));
      EXPECT_FALSE(low && !(before >= 0xD800 && before <= 0xDBFF));
    }
  }
}

}  // namespace

TEST_F(CliTest, ProgressLineShowsTheTimeLeft) {
  // Enough files that the progress line is drawn while some are done and some are not, at
  // every speed (it is drawn every tenth of a second).
  const std::wstring many = FolderOfLargeBmps(L"many", 60, 240, 9);
  terminal.progressWanted = true;
  // A clock that moves a second each time it is read, so that every line drawn after the first
  // file is done has an estimate.
  double now = 0;
  terminal.clock = [&now] { return now += 1.0; };
  EXPECT_EQ(Run({L"-j", L"1", many}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.progress, L" left"));
}

TEST_F(CliTest, StoppedJsonRunNamesEveryFile) {
  const std::wstring many = FolderOfLargeBmps(L"many", 40, 300, 9);
  terminal.stopWhen = [this] { return !terminal.out.empty(); };
  EXPECT_EQ(Run({L"-j", L"1", L"--json", many}), cli::kExitInterrupted);
  int files = 0;
  int notConverted = 0;
  for (const std::wstring& line : terminal.out) {
    files += line.find(L"\"type\":\"file\"") != std::wstring::npos;
    notConverted += line.find(L"\"state\":\"not-converted\"") != std::wstring::npos;
  }
  EXPECT_EQ(files, 40);
  EXPECT_GT(notConverted, 0);
  EXPECT_TRUE(
      terminal.Shows(terminal.out, L"\"not_converted\":" + std::to_wstring(notConverted) + L","));
}

TEST_F(CliTest, FolderScanCountsWhatItPassedOver) {
  EXPECT_EQ(Run({L"-v", L"--dry-run", top}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L", skipped 1"));
  EXPECT_TRUE(terminal.Shows(terminal.errors, Join(top, L"notes.txt")));
  terminal.out.clear();
  EXPECT_EQ(Run({L"--json", top}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"\"skipped\":1,"));
}

TEST_F(CliTest, RunningAgainWithUpdateConvertsOnlyWhatChanged) {
  EXPECT_EQ(Run({top}), cli::kExitConverted);
  // Run plainly again, the PNGs just written are sources of the list too.
  EXPECT_EQ(Run({top}), cli::kExitFailures);
  EXPECT_TRUE(terminal.Shows(terminal.errors, L"is itself a source earlier in this list"));

  auto stamps = [this] {
    std::vector<std::pair<int64_t, uint32_t>> times;
    for (const wchar_t* name : {L"a.png", L"b.png", L"c.png", L"sub/d.png"}) {
      kiv::FileStamp stamp;
      EXPECT_TRUE(kiv::ReadFileStamp(Join(top, name), &stamp));
      times.emplace_back(stamp.seconds, stamp.nanoseconds);
    }
    return times;
  };
  const auto before = stamps();
  terminal.out.clear();
  EXPECT_EQ(Run({L"--update", L"--json", top}), cli::kExitConverted);
  EXPECT_FALSE(terminal.Shows(terminal.out, L"\"state\":\"converted\""));
  EXPECT_TRUE(terminal.Shows(terminal.out, L"\"up_to_date\":7,"));
  EXPECT_EQ(stamps(), before);

  // One source changes: only its PNG is written.
  kiv::FileStamp png;
  ASSERT_TRUE(kiv::ReadFileStamp(Join(top, L"a.png"), &png));
  png.seconds += 10;
  ASSERT_TRUE(kiv::SetModificationTime(Join(top, L"a.bmp"), png));
  terminal.out.clear();
  EXPECT_EQ(Run({L"--update", L"--json", top}), cli::kExitConverted);
  EXPECT_TRUE(terminal.Shows(terminal.out, L"\"up_to_date\":6,"));
  const auto after = stamps();
  EXPECT_NE(after[0], before[0]);
  EXPECT_EQ(std::vector(after.begin() + 1, after.end()),
            std::vector(before.begin() + 1, before.end()));
}

TEST_F(CliTest, UsageIsCheckedBeforeAnything) {
  const std::wstring out = Join(dir.path(), L"out");
  struct Case {
    const char* what;
    std::vector<std::wstring> arguments;
    int status;
    std::wstring made;  // a file the run makes, or empty
  };
  const Case cases[] = {
      {"attached short values", {L"-j2", L"-o" + out, Join(top, L"a.bmp")}, 0, Join(out, L"a.png")},
      {"not a settings file", {L"--settings", Join(top, L"notes.txt"), top}, 2, L""},
      {"output folder is a file", {L"-o", Join(top, L"notes.txt"), top}, 2, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run(c.arguments), c.status);
    if (!c.made.empty()) {
      EXPECT_TRUE(kiv::FileExists(c.made));
    }
    if (c.status == cli::kExitUsage) {
      EXPECT_FALSE(kiv::FileExists(Join(top, L"a.png")));
    }
  }
}
