// Files that change under the program: sources that vanish, shrink or turn into something else
// between registration and conversion, and outputs that cannot be written (a read-only folder, an
// output "folder" that is a file, names and paths past the system's limits). Each is a per-file
// failure; the run goes on and nothing crashes.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/file.h"
#include "base/path.h"
#include "engine/convert_file.h"
#include "engine/file_list.h"
#include "engine/memory_options.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/unicode.h"
#endif

using hardening::AllNames;

namespace {

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return kiv::AddSeparator(folder) + name;
}

TEST(VanishingSource, SourcesThatChangeAfterRegistrationFailToReadAndTheRunGoesOn) {
  testimg::TempDir dir;
  hardening::Run run;
  run.options.SetConvertCount(3);
  const std::wstring kept = dir / L"kept.bmp";
  const std::wstring vanished = dir / L"vanished.bmp";
  const std::wstring headerCut = dir / L"header-cut.bmp";
  const std::wstring pngCut = dir / L"data-cut.png";
  const std::wstring nowFolder = dir / L"now-a-folder.bmp";
  const std::wstring emptied = dir / L"emptied.jpg";
  const std::wstring last = dir / L"last.png";
  const std::vector<std::wstring> all = {kept,      vanished, headerCut, pngCut,
                                         nowFolder, emptied,  last};
  for (size_t i = 0; i < all.size(); ++i) {
    const bool png = kiv::FindExtension(all[i]) == L".png";
    ASSERT_TRUE(testimg::WriteFileBytes(
        all[i], png ? hardening::NoisePng(30, 30, i) : hardening::NoiseBmp(30, 30, i)));
  }
  run.Register(all);

  ASSERT_TRUE(kiv::RemoveFile(vanished));
  std::vector<uint8_t> bytes = testimg::ReadFileBytes(headerCut);
  bytes.resize(20);  // the file header and part of the information header
  ASSERT_TRUE(testimg::WriteFileBytes(headerCut, bytes));
  bytes = testimg::ReadFileBytes(pngCut);
  bytes.resize(bytes.size() / 2);  // inside the image data
  ASSERT_TRUE(testimg::WriteFileBytes(pngCut, bytes));
  ASSERT_TRUE(kiv::RemoveFile(nowFolder));
  ASSERT_TRUE(kiv::MakeDirectory(nowFolder));
  ASSERT_TRUE(testimg::WriteFileBytes(emptied, {}));

  ASSERT_TRUE(run.Convert());
  EXPECT_EQ(run.StateOf(kept), kStateConverted);
  EXPECT_EQ(run.StateOf(last), kStateConverted);
  for (const std::wstring& path : {vanished, headerCut, pngCut, nowFolder, emptied}) {
    EXPECT_EQ(run.StateOf(path), kStateReadFailed);
    EXPECT_FALSE(kiv::FileExists(kiv::RenameExtension(path, L".png")) &&
                 kiv::RenameExtension(path, L".png") != path);
  }
  EXPECT_TRUE(hardening::IsCompletePng(testimg::ReadFileBytes(dir / L"kept.png")));
  EXPECT_TRUE(hardening::IsCompletePng(testimg::ReadFileBytes(last)));
}

#ifndef _WIN32
// A named pipe where a source was: opening it must not wait for a writer that never comes.
TEST(VanishingSource, ANamedPipeInPlaceOfASourceFailsWithoutBlocking) {
  testimg::TempDir dir;
  const std::wstring pipe = dir / L"pipe.bmp";
  const std::string pipeUtf8 = kiv::WideToUtf8(pipe);
  ASSERT_EQ(mkfifo(pipeUtf8.c_str(), 0600), 0);
  MemoryOptionSet options;
  auto result =
      std::async(std::launch::async, [&] { return ConvertFile(pipe, dir / L"pipe.png", options); });
  if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "opening the pipe blocked";
    // Release the blocked reader so that the test can end.
    const int fd = open(pipeUtf8.c_str(), O_WRONLY);
    if (fd >= 0) {
      close(fd);
    }
  }
  const ConvertOutcome outcome = result.get();
  ASSERT_TRUE(outcome.stateText.has_value());
  EXPECT_EQ(*outcome.stateText, kStateReadFailed);
  EXPECT_FALSE(kiv::FileExists(dir / L"pipe.png"));
}
#endif

// ---- outputs that cannot be written -----------------------------------------------------------

class UnwritableOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    source = dir / L"source.bmp";
    sourceBytes = hardening::NoiseBmp(12, 12, 1);
  }

  // Registers the source with output folder `folder` and converts it; the row's state.
  std::wstring ConvertInto(const std::wstring& folder) {
    hardening::Run run;
    run.options.SetOn(Option::kOutSrcDirectory, false);
    run.options.SetOn(Option::kDeleteSrcFile, true);
    run.options.SetText(Option::kOutput, folder);
    EXPECT_TRUE(testimg::WriteFileBytes(source, sourceBytes));
    run.Register({source});
    EXPECT_TRUE(run.Convert());
    const std::wstring state = run.StateOf(source);
    if (state != kStateConverted) {
      EXPECT_TRUE(kiv::FileExists(source));  // never deleted without its PNG
    }
    return state;
  }

  testimg::TempDir dir;
  std::wstring source;
  std::vector<uint8_t> sourceBytes;
};

TEST_F(UnwritableOutput, AnOutputFolderThatIsAFileFailsToWrite) {
  const std::wstring file = dir / L"not-a-folder";
  ASSERT_TRUE(testimg::WriteFileBytes(file, {'x'}));
  EXPECT_EQ(ConvertInto(file), kStateWriteFailed);
  EXPECT_EQ(testimg::ReadFileBytes(file), std::vector<uint8_t>{'x'});
  EXPECT_EQ(ConvertInto(Join(file, L"below")), kStateWriteFailed);
}

TEST_F(UnwritableOutput, AReadOnlyOutputFolderFailsToWrite) {
#ifdef _WIN32
  GTEST_SKIP() << "a folder's read-only attribute does not stop new files on Windows";
#else
  const std::wstring folder = dir / L"read-only";
  ASSERT_TRUE(kiv::MakeDirectory(folder));
  ASSERT_EQ(chmod(kiv::WideToUtf8(folder).c_str(), 0555), 0);
  if (hardening::IgnoresPermissions()) {
    // The super-user writes anywhere; a read-only file system still refuses new files.
    EXPECT_EQ(ConvertInto(L"/proc/self"), kStateWriteFailed);
  } else {
    EXPECT_EQ(ConvertInto(folder), kStateWriteFailed);
    EXPECT_EQ(AllNames(folder), std::vector<std::wstring>{});
  }
  chmod(kiv::WideToUtf8(folder).c_str(), 0755);
#endif
}

TEST_F(UnwritableOutput, ANameLongerThanTheSystemAllowsFailsToWrite) {
  // A folder name of 300 characters (900 bytes in UTF-8) is past every file system's limit.
  const std::wstring state = ConvertInto(dir / std::wstring(300, L'長'));
#ifdef _WIN32
  // Wine maps such a name onto the host's file system in its own way; what matters is that the
  // conversion ends cleanly either way.
  EXPECT_TRUE(state == kStateWriteFailed || state == kStateConverted);
#else
  EXPECT_EQ(state, kStateWriteFailed);
  EXPECT_EQ(AllNames(dir.path()), std::vector<std::wstring>{L"source.bmp"});
#endif
}

TEST_F(UnwritableOutput, APathPastTheClassicLimitConvertsOrFailsCleanly) {
  // Folders of legal names, 320 characters in all: past the classic 260 of Windows, well within
  // what Linux takes.
  std::wstring folder = dir.path();
  while (folder.size() < 320) {
    folder = Join(folder, std::wstring(60, L'd'));
  }
  const std::wstring state = ConvertInto(folder);
  const std::wstring output = Join(folder, L"source.png");
#ifdef _WIN32
  EXPECT_TRUE(state == kStateWriteFailed || state == kStateConverted);
#else
  EXPECT_EQ(state, kStateConverted);
#endif
  if (state == kStateConverted) {
    kiv::File file;
    ASSERT_TRUE(file.OpenRead(output));
    std::vector<uint8_t> bytes(static_cast<size_t>(file.size()));
    file.Read(static_cast<uint32_t>(bytes.size()), bytes.data());
    EXPECT_TRUE(hardening::IsCompletePng(bytes));
  }
}

}  // namespace
