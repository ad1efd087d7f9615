// Nothing is lost in a run: two rows never end in one output file, a source
// is deleted only when it is provably another file than its PNG and
// unchanged, and rename mode numbers the file name, never the folder.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "base/file_identity.h"
#include "base/path.h"
#include "base/unicode.h"
#include "engine/convert_manager.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"
#include "engine/remove_source.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

using testimg::TempDir;

// `path` with the platform's separator between the parts of `relative`,
// which the table writes with '/'.
std::wstring Native(const std::wstring& folder, std::wstring relative) {
  for (wchar_t& c : relative) {
    if (c == L'/') {
      c = kiv::kPathSeparator;
    }
  }
  return kiv::AddSeparator(folder) + relative;
}

// A small image whose width tells it apart, in the format of the name's
// extension.
std::vector<uint8_t> ImageFor(const std::wstring& name, int width) {
  const std::wstring extension = kiv::FindExtension(name);
  if (extension == L".jpg" || extension == L".JPG") {
    testimg::JpegRecipe recipe;
    recipe.width = width;
    recipe.height = 2;
    recipe.samples.assign(static_cast<size_t>(width) * 2 * 3, 90);
    return testimg::MakeJpeg(recipe);
  }
  if (extension == L".png" || extension == L".PNG") {
    testimg::PngRecipe recipe;
    recipe.width = width;
    recipe.height = 2;
    recipe.samples.assign(static_cast<size_t>(width) * 2 * 3, 40);
    return testimg::MakePng(recipe);
  }
  testimg::BmpRecipe recipe;
  recipe.width = width;
  recipe.height = 2;
  recipe.values.assign(static_cast<size_t>(width) * 2, 0x336699);
  return testimg::MakeBmp(recipe);
}

// The width a PNG file declares, or 0 when the file is no PNG.
int PngWidth(const std::wstring& path) {
  const std::vector<uint8_t> bytes = testimg::ReadFileBytes(path);
  if (bytes.size() < 24 || bytes[1] != 'P') {
    return 0;
  }
  return (bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19];
}

struct SourceFile {
  std::wstring path;  // relative, '/' between folders
  int width;
  bool registered;  // a row of the list, or a file that merely stands there
};

struct Case {
  const char* name;
  std::vector<SourceFile> files;
  std::wstring outputFolder;  // relative to the test folder; empty: beside the sources
  OverwriteMode mode;
  int converted;                // rows ending "変換終了", in each run
  int runs;                     // a later run may replace the earlier one's outputs
  bool deleteSource;            // --delete-source
  std::wstring expectedOutput;  // a file that must exist afterwards (relative), or empty
};

// The folder the PNG sources live in, named through another spelling: a
// trailing "." natively; on Windows forward slashes and another case.
std::wstring OtherSpelling(const std::wstring& folder) {
#ifdef _WIN32
  std::wstring spelled = folder;
  for (wchar_t& c : spelled) {
    c = c == L'\\' ? L'/' : static_cast<wchar_t>(towupper(c));
  }
  return spelled;
#else
  return folder + L"/.";
#endif
}

TEST(NothingLost, EveryImageSurvivesEveryOverwriteMode) {
  const std::vector<SourceFile> twoFormats = {{L"photo.bmp", 4, true}, {L"photo.jpg", 5, true}};
  const std::vector<SourceFile> twoFolders = {{L"s1/a.bmp", 4, true}, {L"s2/a.bmp", 5, true}};
  const std::vector<Case> cases = {
      {"one stem in two formats, force", twoFormats, L"", OverwriteMode::kForce, 1, 1, true, L""},
      {"one stem in two formats, fail", twoFormats, L"", OverwriteMode::kFail, 1, 1, true, L""},
      {"one stem in two formats, rename", twoFormats, L"", OverwriteMode::kRename, 2, 1, true, L""},
      {"one name in two folders, force", twoFolders, L"OUT", OverwriteMode::kForce, 1, 1, true,
       L""},
      {"one name in two folders, rename", twoFolders, L"OUT", OverwriteMode::kRename, 2, 1, true,
       L""},
      {"a second run replaces the first one's outputs", twoFolders, L"OUT", OverwriteMode::kForce,
       1, 2, false, L""},
      {"PNG sources written into their own folder spelled otherwise",
       {{L"photos/a.png", 4, true}, {L"photos/b.png", 6, true}},
       L"*photos",
       OverwriteMode::kForce,
       2,
       1,
       true,
       L""},
      {"a PNG source stands where another row writes",
       {{L"photo.png", 6, true}, {L"photo.bmp", 4, true}},
       L"",
       OverwriteMode::kForce,
       1,
       1,
       true,
       L""},
      {"one file registered twice: both rows convert it",
       {{L"a.bmp", 4, true}, {L"a.bmp", 4, true}, {L"b.png", 6, true}, {L"b.png", 6, true}},
       L"",
       OverwriteMode::kForce,
       4,
       1,
       false,
       L""},
      {"rename in a folder with a counter",
       {{L"x (2)/c.bmp", 4, true}, {L"x (2)/c.png", 6, false}},
       L"",
       OverwriteMode::kRename,
       1,
       1,
       true,
       L"x (2)/c (1).png"},
#ifdef _WIN32
      {"two names that differ in case only",
       {{L"a.bmp", 4, true}, {L"A.JPG", 5, true}},
       L"",
       OverwriteMode::kForce,
       1,
       1,
       true,
       L""},
      {"two names that differ in case beyond ASCII",
       {{L"\u00e4\u03c9\u0436.bmp", 4, true}, {L"\u00c4\u03a9\u0416.JPG", 5, true}},
       L"",
       OverwriteMode::kForce,
       1,
       1,
       true,
       L""},
#endif
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    MemoryFileList list;
    MemoryOptionSet options;
    MemoryWindow window;
    options.SetOn(Option::kAutoDeleteItem, false);
    options.SetOn(Option::kDeleteSrcFile, c.deleteSource);
    options.SetOverwriteMode(static_cast<int>(c.mode));
    options.SetConvertCount(4);
    if (!c.outputFolder.empty()) {
      options.SetOn(Option::kOutSrcDirectory, false);
      options.SetText(Option::kOutput,
                      c.outputFolder[0] == L'*'
                          ? OtherSpelling(Native(dir.path(), c.outputFolder.substr(1)))
                          : Native(dir.path(), c.outputFolder));
    }
    ConvertManager manager(EngineHost{list, options, window});
    for (const SourceFile& file : c.files) {
      const std::wstring path = Native(dir.path(), file.path);
      kiv::MakeDirectory(kiv::RemoveFileSpec(path));
      ASSERT_TRUE(testimg::WriteFileBytes(path, ImageFor(path, file.width)));
      if (file.registered) {
        manager.AddFile(path);
      }
    }
    for (int run = 0; run < c.runs; ++run) {
      manager.ClearRowsForNewRun();
      manager.StartConvert();
      ASSERT_TRUE(manager.WaitUntilIdle(20000));
      int converted = 0;
      for (const auto& row : list.Rows()) {
        converted += row.stateText == kStateConverted ? 1 : 0;
      }
      EXPECT_EQ(converted, c.converted) << "run " << run;
    }

    // Each image is still somewhere: its source unchanged, or a PNG of its
    // width among the outputs.
    std::vector<std::wstring> pngs;
    for (const SourceFile& file : c.files) {
      const std::wstring folder = kiv::RemoveFileSpec(Native(dir.path(), file.path));
      for (const std::wstring& name : testimg::FolderNames(folder)) {
        pngs.push_back(kiv::AddSeparator(folder) + name);
      }
    }
    if (!c.outputFolder.empty()) {
      const std::wstring out =
          Native(dir.path(), c.outputFolder[0] == L'*' ? c.outputFolder.substr(1) : c.outputFolder);
      for (const std::wstring& name : testimg::FolderNames(out)) {
        pngs.push_back(kiv::AddSeparator(out) + name);
      }
    }
    for (const SourceFile& file : c.files) {
      const std::wstring path = Native(dir.path(), file.path);
      bool found = kiv::FileExists(path) &&
                   (kiv::FindExtension(path) != L".png" || PngWidth(path) == file.width);
      for (const std::wstring& png : pngs) {
        found = found || PngWidth(png) == file.width;
      }
      EXPECT_TRUE(found) << "lost: " << std::string(file.path.begin(), file.path.end());
    }
    if (!c.expectedOutput.empty()) {
      EXPECT_TRUE(kiv::FileExists(Native(dir.path(), c.expectedOutput)));
    }
  }
}

// A source goes only when the PNG is another file by identity, still the one
// written, and the source is still the file that was read.
TEST(NothingLost, SourceIsDeletedOnlyWhenProvablyAnotherUnchangedFile) {
  TempDir dir;
  const std::wstring source = dir / L"a.png";
  const std::wstring other = dir / L"b.png";
  struct Step {
    const char* name;
    std::wstring written;  // the PNG the conversion wrote
    bool changeSource;     // the source is rewritten after it was read
    bool replacePng;       // another program replaces the PNG after it was written
    bool mayRemove;
  };
  const std::vector<Step> steps = {
      {"another file, unchanged", other, false, false, true},
      {"the source through another spelling", OtherSpelling(dir.path()) + L"/a.png", false, false,
       false},
      {"the source changed after reading", other, true, false, false},
      {"the PNG replaced after writing", other, false, true, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    ASSERT_TRUE(testimg::WriteFileBytes(source, {1, 2, 3}));
    ASSERT_TRUE(testimg::WriteFileBytes(other, {4}));
    kiv::FileStamp loaded;
    ASSERT_TRUE(kiv::ReadFileStamp(source, &loaded));
    kiv::FileStamp written;
    ASSERT_TRUE(kiv::ReadFileStamp(step.written, &written));
    if (step.changeSource) {
      ASSERT_TRUE(testimg::WriteFileBytes(source, {1, 2, 3, 4}));
    }
    if (step.replacePng) {
      ASSERT_TRUE(testimg::WriteFileBytes(other, {5, 6}));
    }
    EXPECT_EQ(MayRemoveSource(source, loaded, other, step.written, written), step.mayRemove);
  }
}

#ifndef _WIN32
// A file of two names (hard links) is two entries: a write replaces only the
// name written, so a row that reaches a claimed file by its other name is
// not in the way of the first, whether that row has moved its file into
// place yet or not (the outcome must not depend on which came first).
TEST(NothingLost, FileOfTwoNamesIsWrittenUnderEachOnItsOwn) {
  TempDir dir;
  OutputClaims claims;
  const int force = static_cast<int>(OverwriteMode::kForce);
  ASSERT_EQ(claims.Claim(force, dir / L"a.png", dir / L"a.bmp").overwrite.action,
            OverwriteDecision::Action::kWrite);
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"a.png", {1}));
  ASSERT_EQ(link(kiv::WideToUtf8(dir / L"a.png").c_str(), kiv::WideToUtf8(dir / L"A.png").c_str()),
            0);
  const OutputClaims::Decision second = claims.Claim(force, dir / L"A.png", dir / L"A.jpg");
  EXPECT_EQ(second.overwrite.action, OverwriteDecision::Action::kWrite);
  EXPECT_EQ(second.blockedBy, L"");
}
#endif

}  // namespace

namespace {

// The window keeps its claims while it is open: a file it wrote from one
// source is not replaced by another source's output in a later run, while
// the same source converted again replaces its own output, unless sources
// are deleted: then no existing file but the row's own source is replaced
// (the PNG may be the only copy of a picture). A twin's claim
// given back at the end of a run leaves the name its twin wrote claimed.
TEST(NothingLost, WindowKeepsItsClaimsAcrossRuns) {
  TempDir dir;
  MemoryFileList list;
  MemoryOptionSet options;
  MemoryWindow window;
  options.SetOn(Option::kAutoDeleteItem, true);
  options.SetOverwriteMode(static_cast<int>(OverwriteMode::kForce));
  ConvertManager manager(EngineHost{list, options, window});
  struct Step {
    const wchar_t* source;
    int width;
    bool deleteSource;
    const wchar_t* state;
    int pngWidth;  // photo.png's width afterwards
  };
  const Step steps[] = {
      {L"photo.jpg", 4, false, kStateConverted, 4},
      {L"photo.jpg", 5, false, kStateConverted, 5},  // its own output, converted again
      {L"photo.bmp", 6, true, kStateWriteFailed, 5},
      {L"photo.jpg", 7, true, kStateWriteFailed, 5},  // deleting sources: the PNG stays
      {L"photo.jpg", 8, false, kStateConverted, 8},
      {L"photo.bmp", 6, false, kStateWriteFailed, 8},  // claimed by photo.jpg
      {L"photo.bmp", 6, true, kStateWriteFailed, 8},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(kiv::WideToUtf8(step.source));
    const std::wstring source = dir / step.source;
    ASSERT_TRUE(testimg::WriteFileBytes(source, ImageFor(source, step.width)));
    options.SetOn(Option::kDeleteSrcFile, step.deleteSource);
    manager.AddFile(source);
    manager.StartConvert();
    ASSERT_TRUE(manager.WaitUntilIdle(20000));
    const auto rows = list.Rows();
    const bool converted = std::wstring(step.state) == kStateConverted;
    ASSERT_EQ(rows.empty(), converted);
    if (!rows.empty()) {
      EXPECT_EQ(rows.back().stateText, step.state);
      manager.ClearRowsForNewRun();
      list.RemoveItem(0);
    }
    EXPECT_EQ(PngWidth(dir / L"photo.png"), step.pngWidth);
    EXPECT_EQ(kiv::FileExists(source), !(step.deleteSource && converted));
  }

  OutputClaims claims;
  const int force = static_cast<int>(OverwriteMode::kForce);
  const std::wstring png = dir / L"twin.png";
  const OutputClaims::Decision first = claims.Claim(force, png, dir / L"twin.bmp");
  const OutputClaims::Decision twin = claims.Claim(force, png, dir / L"twin.bmp");
  ASSERT_TRUE(twin.sameSource);
  ASSERT_TRUE(testimg::WriteFileBytes(png, {1}));
  kiv::FileStamp written;
  ASSERT_TRUE(kiv::ReadFileStamp(png, &written));
  claims.Written(first.ticket, &written);
  claims.Unwritten(twin.ticket);
  claims.EndRun();
  const OutputClaims::Decision other = claims.Claim(force, png, dir / L"other.jpg");
  EXPECT_EQ(other.overwrite.action, OverwriteDecision::Action::kRefuse);
  EXPECT_EQ(other.blockedBy, dir / L"twin.bmp");
}

}  // namespace
