// kiv::FolderListing: a name is called free only when the folder's one
// listing and this process's own additions both lack it; and the owner
// texts that tell the temporaries of machines and namespaces apart.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "base/exact_name.h"
#endif
#include "base/file_identity.h"
#include "base/folder_listing.h"
#include "base/path.h"
#include "base/process.h"
#include "base/replacing_file.h"
#include "base/unicode.h"
#include "tests/support/temp_dir.h"

namespace kiv {
namespace {

using testimg::TempDir;

const std::vector<std::uint8_t> kBytes = {1, 2, 3};

// True where the file system takes names that differ only in case as one.
bool FoldsCase() {
  return ComparableName(L"A.PNG") == ComparableName(L"a.png");
}

TEST(FolderListing, CallsANameFreeOnlyWhenNeitherListedNorAdded) {
  TempDir dir;
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"photo.png", kBytes));
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"写真.PNG", kBytes));
  FolderListing listing;
  // The first question lists the folder; what is made afterwards by another
  // program is not seen until the listing is forgotten.
  ASSERT_TRUE(listing.SurelyAbsent(dir / L"later.png"));
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"later.png", kBytes));
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"mine.png", kBytes));
  listing.Added(dir / L"mine.png");

  const struct {
    std::wstring path;
    bool absent;
  } cases[] = {
      {dir / L"photo.png", false},                           // listed
      {dir / L"PHOTO.PNG", !FoldsCase()},                    // listed in another case
      {dir / L"写真.png", !FoldsCase()},                     // listed in another case, not ASCII
      {dir / L"missing.png", true},                          // neither listed nor added
      {dir / L"later.png", true},                            // made by another after the listing
      {dir / L"mine.png", false},                            // added by this process
      {dir / L"MINE.png", !FoldsCase()},                     // added, asked in another case
      {dir / L"PHOTO~1.PNG", false},                         // a short alias may name a listed file
      {dir / L"photo.png.", false},                          // Windows drops the trailing dot
      {AddSeparator(dir / L"no-folder") + L"a.png", false},  // a folder that cannot be listed
  };
  for (const auto& c : cases) {
    EXPECT_EQ(listing.SurelyAbsent(c.path), c.absent) << WideToUtf8(c.path);
  }
  listing.Forget();
  EXPECT_FALSE(listing.SurelyAbsent(dir / L"later.png"));  // listed afresh
}

// A name another program made after the listing is never overwritten: the
// exclusive move that follows a "free" answer finds it.
TEST(FolderListing, ExclusiveWriteOntoANameMadeAfterTheListingFails) {
  TempDir dir;
  const std::wstring target = dir / L"taken.png";
  ASSERT_FALSE(ListedFileExists(target));  // lists the folder where listings are kept
  ASSERT_TRUE(testimg::WriteFileBytes(target, {7, 7}));
  ReplacingFile out(target);
  ASSERT_TRUE(out.IsOpen());
  ASSERT_EQ(out.stream().Write(3, kBytes.data()), 3u);
  EXPECT_EQ(out.CommitExclusive(), ReplacingFile::Result::kExists);
  EXPECT_EQ(testimg::ReadFileBytes(target), (std::vector<std::uint8_t>{7, 7}));

  // A file this process moved into place is known to the listing at once.
  const std::wstring made = dir / L"made.png";
  ASSERT_FALSE(ListedFileExists(made));
  ReplacingFile writer(made);
  ASSERT_TRUE(writer.IsOpen());
  ASSERT_EQ(writer.stream().Write(3, kBytes.data()), 3u);
  ASSERT_EQ(writer.CommitExclusive(), ReplacingFile::Result::kDone);
  EXPECT_TRUE(ListedFileExists(made));
  FileStamp stamp;
  EXPECT_TRUE(ReadListedStamp(made, &stamp));
  EXPECT_EQ(stamp.size, 3u);
  ForgetFolderListings();
}

#ifdef _WIN32
// Under Wine a new name spelled exactly is made without a search of its
// folder: the spelling reaches the folder the ordinary path names, keeps the
// name as given (a Japanese one too) and, being exact, does not find the
// name in another letter case. Windows has no such spelling.
TEST(ExactName, SpellsANewNameInTheFolderTheOrdinaryPathNames) {
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  TempDir dir;
  const std::wstring folder = dir / L"写真 2026";
  ASSERT_TRUE(MakeDirectory(folder));
  ASSERT_TRUE(testimg::WriteFileBytes(AddSeparator(folder) + L"Upper.PNG", kBytes));
  const std::wstring made = AddSeparator(folder) + L"新しい.png";
  const std::wstring exact = ExactNamePath(made);
  ASSERT_EQ(exact.empty(), !wine);
  if (!wine) {
    return;
  }
  EXPECT_EQ(exact.rfind(L"\\\\?\\unix\\", 0), 0u) << WideToUtf8(exact);
  ASSERT_TRUE(testimg::WriteFileBytes(exact, kBytes));
  EXPECT_EQ(testimg::ReadFileBytes(made), kBytes);
  EXPECT_TRUE(FileExists(ExactNamePath(AddSeparator(folder) + L"Upper.PNG")));
  EXPECT_FALSE(FileExists(ExactNamePath(AddSeparator(folder) + L"upper.png")));
  EXPECT_TRUE(ExactNamePath(L"relative.png").empty());
  EXPECT_TRUE(ExactNamePath(AddSeparator(folder)).empty());
}
#endif

TEST(MachineToken, TellsMachinesAndNamespacesApartWhateverTheirNamesReadInAscii) {
  const struct {
    std::wstring host;
    std::wstring identity;
    std::wstring readable;  // the token's part before its hash
  } cases[] = {
      {L"render07", L"id-1|pid:[1]", L"render07"},
      {L"render07", L"id-1|pid:[2]", L"render07"},  // a container beside the first
      {L"render07", L"id-2|pid:[1]", L"render07"},  // another machine of that name
      {L"RENDER07", L"id-1|pid:[1]", L"render07"},  // the host name as the system spells it
      {L"写真機", L"id-1|pid:[1]", L"___"},
      {L"撮影機", L"id-1|pid:[1]", L"___"},
      {L"", L"id-1|pid:[1]", L"pc"},
      {L"studio-pc.example.org.a.very.long.domain", L"", L"studio_pc.example.org.a."},
  };
  std::set<std::wstring> tokens;
  for (const auto& c : cases) {
    const std::wstring token = MachineToken(c.host, c.identity);
    EXPECT_EQ(token, MachineToken(c.host, c.identity));
    ASSERT_EQ(token.size(), c.readable.size() + 13) << WideToUtf8(token);
    EXPECT_EQ(token.substr(0, c.readable.size() + 1), c.readable + L".");
    EXPECT_EQ(token.find_first_not_of(L"abcdefghijklmnopqrstuvwxyz0123456789._"),
              std::wstring::npos);
    tokens.insert(token);
  }
  EXPECT_EQ(tokens.size(), std::size(cases));
  // The owner of this process carries this machine's token.
  const std::wstring owner = CurrentProcessOwner();
  EXPECT_EQ(owner.substr(owner.find(L'@') + 1), MachineName());
}

}  // namespace
}  // namespace kiv
