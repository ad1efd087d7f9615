// Loading and saving through the file system: recognition by content, unusable files, safe
// replacing writes (a failed write keeps what stood at the target and leaves nothing partial),
// the exclusive mode, and names with Japanese characters and a character outside the BMP.
#include <gtest/gtest.h>

#include <cwchar>

#include "base/file_fault.h"
#include "base/path.h"
#include "image/bitmap.h"
#include "tests/image/image_checks.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

using testimg::Difference;
using testimg::FolderNames;
using testimg::ReadFileBytes;
using testimg::TempDir;
using testimg::WriteFileBytes;

namespace {

std::vector<uint8_t> SmallBmp() {
  testimg::BmpRecipe recipe;
  recipe.width = 5;
  recipe.height = 3;
  recipe.bitCount = 24;
  for (uint32_t i = 0; i < 15; ++i) {
    recipe.values.push_back(i * 0x112233u);
  }
  return testimg::MakeBmp(recipe);
}

Bitmap SmallImage() {
  Bitmap image;
  EXPECT_TRUE(image.LoadFromMemory(SmallBmp()));
  return image;
}

const std::vector<uint8_t> kOldContent = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

}  // namespace

TEST(ImageFiles, FormatIsRecognisedByContentNotName) {
  TempDir dir;
  testimg::PngRecipe pngRecipe;
  pngRecipe.width = 2;
  pngRecipe.height = 2;
  pngRecipe.colorType = 0;
  pngRecipe.samples = {0, 85, 170, 255};
  testimg::JpegRecipe jpegRecipe;
  jpegRecipe.width = 8;
  jpegRecipe.height = 8;
  jpegRecipe.kind = testimg::JpegKind::kGrey;
  jpegRecipe.samples.assign(64, 128);
  struct Case {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
    uint32_t bits;
  };
  const Case cases[] = {
      {L"bitmap.jpg", SmallBmp(), 24},
      {L"picture.bmp", testimg::MakePng(pngRecipe), 8},
      {L"photo.png", testimg::MakeJpeg(jpegRecipe), 8},
      {L"no-extension", SmallBmp(), 24},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir / c.name, c.bytes));
    Bitmap image;
    EXPECT_TRUE(image.Load(dir / c.name));
    EXPECT_EQ(image.BitCount(), c.bits);
  }
}

TEST(ImageFiles, UnusableSourcesFailAndTheProcessGoesOn) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / L"empty.jpg", {}));
  ASSERT_TRUE(WriteFileBytes(dir / L"notes.txt", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'}));
  std::vector<uint8_t> truncated = testimg::MakePng([] {
    testimg::PngRecipe recipe;
    recipe.width = 40;
    recipe.height = 40;
    recipe.samples.assign(40 * 40 * 3, 7);
    return recipe;
  }());
  truncated.resize(truncated.size() / 2);
  ASSERT_TRUE(WriteFileBytes(dir / L"cut.png", truncated));
  for (const wchar_t* name : {L"missing.bmp", L"empty.jpg", L"notes.txt", L"cut.png"}) {
    Bitmap image;
    EXPECT_FALSE(image.Load(dir / name)) << std::string(name, name + std::wcslen(name));
    EXPECT_TRUE(image.Empty());
  }
  // A folder is no image either.
  EXPECT_FALSE(Bitmap().Load(dir.path()));
}

TEST(ImageFiles, SaveReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  const Bitmap image = SmallImage();
  const std::wstring target = dir / L"out.png";
  ASSERT_TRUE(WriteFileBytes(target, kOldContent));
  ASSERT_TRUE(image.SavePng(target, 6, false));
  const testimg::DecodedPng png = testimg::DecodePng(ReadFileBytes(target));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(Difference(imagetest::Written(image).picture, png.picture), "");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::wstring>{L"out.png"});
}

TEST(ImageFiles, ExclusiveSaveNeverReplaces) {
  TempDir dir;
  const Bitmap image = SmallImage();
  const std::wstring taken = dir / L"taken.png";
  ASSERT_TRUE(WriteFileBytes(taken, kOldContent));
  EXPECT_EQ(image.SavePng(taken, 6, false, Bitmap::SaveMode::kCreateNew),
            Bitmap::SaveResult::kTargetExists);
  EXPECT_EQ(ReadFileBytes(taken), kOldContent);
  const std::wstring fresh = dir / L"fresh.png";
  EXPECT_EQ(image.SavePng(fresh, 6, false, Bitmap::SaveMode::kCreateNew),
            Bitmap::SaveResult::kSaved);
  EXPECT_TRUE(testimg::DecodePng(ReadFileBytes(fresh)).ok);
  EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::wstring>{L"fresh.png", L"taken.png"}));
}

TEST(ImageFiles, FailedSavesKeepTheOldFileAndLeaveNothingPartial) {
  const Bitmap image = SmallImage();
  struct Case {
    const char* what;
    kiv::FaultStep step;
    uint64_t afterBytes;
  };
  const Case cases[] = {
      {"disk full at once", kiv::FaultStep::kWrite, 0},
      {"disk full after the header", kiv::FaultStep::kWrite, 40},
      {"close fails", kiv::FaultStep::kClose, 0},
      {"move fails", kiv::FaultStep::kMove, 0},
      {"temporary cannot be created", kiv::FaultStep::kOpenWrite, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool oldFileThere : {true, false}) {
      TempDir dir;
      const std::wstring target = dir / L"out.png";
      if (oldFileThere) {
        ASSERT_TRUE(WriteFileBytes(target, kOldContent));
      }
      kiv::FaultPlan plan;
      plan.step = c.step;
      plan.after_bytes = c.afterBytes;
      plan.path_contains = dir.path();
      {
        kiv::ScopedFault fault(plan);
        EXPECT_FALSE(image.SavePng(target, 6, false));
        EXPECT_EQ(image.SavePng(target, 6, false, Bitmap::SaveMode::kCreateNew),
                  oldFileThere ? Bitmap::SaveResult::kTargetExists : Bitmap::SaveResult::kFailed);
      }
      if (oldFileThere) {
        EXPECT_EQ(ReadFileBytes(target), kOldContent);
        EXPECT_EQ(FolderNames(dir.path()), std::vector<std::wstring>{L"out.png"});
      } else {
        EXPECT_EQ(FolderNames(dir.path()), std::vector<std::wstring>{});
      }
    }
  }
}

// Only a save that replaces a file waits for the storage device: a failing
// flush there keeps the old file, while a fresh file, which replaces
// nothing, is written without one.
TEST(ImageFiles, OnlyReplacingSavesFlushAndAFailedFlushKeepsTheOldFile) {
  const Bitmap image = SmallImage();
  TempDir dir;
  const std::wstring target = dir / L"out.png";
  ASSERT_TRUE(WriteFileBytes(target, kOldContent));
  kiv::FaultPlan plan;
  plan.step = kiv::FaultStep::kFlush;
  plan.path_contains = dir.path();
  kiv::ScopedFault fault(plan);
  EXPECT_FALSE(image.SavePng(target, 6, false));
  EXPECT_EQ(ReadFileBytes(target), kOldContent);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::wstring>{L"out.png"});
  EXPECT_EQ(kiv::FaultHits(), 1);

  const std::wstring fresh = dir / L"fresh.png";
  EXPECT_TRUE(image.SavePng(fresh, 6, false));
  EXPECT_EQ(image.SavePng(dir / L"other.png", 6, false, Bitmap::SaveMode::kCreateNew),
            Bitmap::SaveResult::kSaved);
  EXPECT_EQ(kiv::FaultHits(), 1);
  EXPECT_TRUE(testimg::DecodePng(ReadFileBytes(fresh)).ok);
}

TEST(ImageFiles, UnwritableTargetsFail) {
  TempDir dir;
  const Bitmap image = SmallImage();
  // A folder that does not exist, and a "folder" that is a file.
  EXPECT_FALSE(image.SavePng(dir / L"missing" + kiv::kPathSeparator + L"out.png", 6, false));
  ASSERT_TRUE(WriteFileBytes(dir / L"plain", kOldContent));
  EXPECT_FALSE(image.SavePng(dir / L"plain" + kiv::kPathSeparator + L"out.png", 6, false));
  // Nothing to write: the file system is not touched.
  EXPECT_FALSE(Bitmap().SavePng(dir / L"empty.png", 6, false));
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::wstring>{L"plain"});
  EXPECT_EQ(ReadFileBytes(dir / L"plain"), kOldContent);
}

TEST(ImageFiles, JapaneseNamesAndCharactersOutsideTheBasicPlane) {
  TempDir dir;
  // "画像" and U+20BB7 (a surrogate pair in UTF-16).
  const std::wstring folder = dir / L"\u753B\u50CF\U00020BB7";
  ASSERT_TRUE(kiv::MakeDirectory(folder));
  const std::wstring source = kiv::AddSeparator(folder) + L"\u5199\u771F\U00020BB7.bmp";
  ASSERT_TRUE(WriteFileBytes(source, SmallBmp()));
  Bitmap image;
  ASSERT_TRUE(image.Load(source));
  const std::wstring target = kiv::RenameExtension(source, L".png");
  ASSERT_TRUE(image.SavePng(target, 6, true));
  const testimg::DecodedPng png = testimg::DecodePng(ReadFileBytes(target));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.interlace, 1);
  EXPECT_EQ(Difference(imagetest::Written(image).picture, png.picture), "");
  EXPECT_EQ(FolderNames(folder), (std::vector<std::wstring>{L"\u5199\u771F\U00020BB7.bmp",
                                                            L"\u5199\u771F\U00020BB7.png"}));
}
