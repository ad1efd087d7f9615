// Links as the path helpers see them: CanonicalPath through a folder link
// (also below it, where nothing exists yet), and on Windows a junction far
// down a long path, which must be known as a link and resolved, not
// followed unseen because its path was too long for the plain file functions;
// and a folder's identities read in one listing, which leaves links out.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <string>
#include <vector>

#include "base/file_identity.h"
#include "base/path.h"
#include "base/unicode.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include "base/long_path.h"
#else
#include <unistd.h>
#endif

namespace kiv {
namespace {

using testimg::TempDir;

#ifdef _WIN32
// Wine sets no reparse point of its own (FSCTL_SET_REPARSE_POINT answers
// ERROR_NOT_SUPPORTED), but shows a host symbolic link to a folder as a
// folder with FILE_ATTRIBUTE_REPARSE_POINT, as Windows shows a junction.
// Under Wine the link is made by the host's ln, which a Wine process can
// start; false elsewhere and when that fails.
bool MakeHostFolderLink(const std::wstring& link, const std::wstring& target) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  if (unixName == nullptr) {
    return false;  // not Wine
  }
  std::string names[2];
  const std::wstring* paths[2] = {&target, &link};
  for (int i = 0; i < 2; ++i) {
    char* name = unixName(SystemPath(*paths[i]).c_str());
    if (name == nullptr) {
      return false;
    }
    names[i] = name;
    HeapFree(GetProcessHeap(), 0, name);
  }
  // Wine splits a host program's command line by the Windows rules.
  std::wstring command =
      L"/bin/ln -s -- \"" + Utf8ToWide(names[0]) + L"\" \"" + Utf8ToWide(names[1]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  // Wine neither waits for a host program nor keeps its exit code: the link
  // tells when it has run.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 200; ++i) {
    if (IsLink(link)) {
      return true;
    }
    Sleep(50);
  }
  return false;
}
#endif

// Makes a link at `link` to the folder `target` (both full paths): a
// junction on Windows (under Wine, a host symbolic link it shows as one), a
// symbolic link elsewhere. False when the system will not make one.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
#ifdef _WIN32
  if (!MakeDirectory(link)) {
    return false;
  }
  const HANDLE handle =
      CreateFileW(SystemPath(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  // A mount point's reparse data: the tag, the data's length, then the
  // substitute name ("\??\C:\...") and the printed name, each ending in NUL.
  const std::wstring substitute = L"\\??\\" + target;
  const size_t names = (substitute.size() + 1 + target.size() + 1) * sizeof(wchar_t);
  std::vector<std::uint8_t> data(16 + names, 0);
  auto put16 = [&data](size_t at, size_t value) {
    data[at] = static_cast<std::uint8_t>(value);
    data[at + 1] = static_cast<std::uint8_t>(value >> 8);
  };
  const std::uint32_t tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(data.data(), &tag, sizeof tag);
  put16(4, data.size() - 8);
  put16(8, 0);
  put16(10, substitute.size() * sizeof(wchar_t));
  put16(12, (substitute.size() + 1) * sizeof(wchar_t));
  put16(14, target.size() * sizeof(wchar_t));
  std::memcpy(&data[16], substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
  std::memcpy(&data[16 + (substitute.size() + 1) * sizeof(wchar_t)], target.c_str(),
              (target.size() + 1) * sizeof(wchar_t));
  DWORD returned = 0;
  const BOOL made =
      DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()),
                      nullptr, 0, &returned, nullptr);
  const DWORD error = made ? ERROR_SUCCESS : GetLastError();
  CloseHandle(handle);
  if (made) {
    return true;
  }
  return error == ERROR_NOT_SUPPORTED && RemoveDirectoryW(SystemPath(link).c_str()) &&
         MakeHostFolderLink(link, target);
#else
  return symlink(WideToUtf8(target).c_str(), WideToUtf8(link).c_str()) == 0;
#endif
}

TEST(Links, FarDownALongPathAreKnownAndResolved) {
  TempDir dir;
  const std::wstring outside = AddSeparator(dir.path()) + L"outside";
  ASSERT_TRUE(MakeDirectory(outside));
  // A chain of folders past the 260 characters of the plain file functions.
  std::wstring deep = dir.path();
  while (deep.size() < 280) {
    deep = AddSeparator(deep) + L"a-folder-with-a-long-name";
    ASSERT_TRUE(MakeDirectory(deep));
  }
  struct Case {
    const char* what;
    std::wstring folder;
  };
  const Case cases[] = {
      {"short path", AddSeparator(dir.path()) + L"near"},
      {"long path", AddSeparator(deep) + L"far"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!MakeFolderLink(c.folder, outside)) {
      GTEST_SKIP() << "the system makes no folder link here";
    }
    EXPECT_TRUE(IsLink(c.folder));
    const std::wstring real = ResolvedPath(outside);
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(ResolvedPath(c.folder), real);
    // Below the link, where nothing exists yet, the text follows the link.
    EXPECT_EQ(CanonicalPath(AddSeparator(c.folder) + L"new" + kPathSeparator + L"a.png"),
              AddSeparator(real) + L"new" + kPathSeparator + L"a.png");
    EXPECT_FALSE(IsLink(deep));
  }
}

// A folder's listing gives each plain entry the identity its own look gives,
// finds names as the file system compares them, and leaves a link (whose look
// gives its target) and a missing name for the caller to look at.
TEST(Links, FolderIdentitiesMatchEachFilesOwnLook) {
  TempDir dir;
  const std::wstring outside = AddSeparator(dir.path()) + L"outside";
  const std::wstring folder = AddSeparator(dir.path()) + L"folder";
  ASSERT_TRUE(MakeDirectory(outside));
  ASSERT_TRUE(MakeDirectory(folder));
  ASSERT_TRUE(MakeDirectory(AddSeparator(folder) + L"sub"));
  for (const wchar_t* name : {L"plain.bmp", L"Upper.BMP", L"写真.bmp"}) {
    ASSERT_TRUE(testimg::WriteFileBytes(AddSeparator(folder) + name, {1, 2, 3}));
  }
  const bool linked = MakeFolderLink(AddSeparator(folder) + L"link", outside);
  struct Case {
    const wchar_t* asked;   // as the caller spells it
    const wchar_t* onDisk;  // the entry it names; null for none
    bool listed;            // the listing answers it (else the caller looks)
  };
  const Case cases[] = {
      {L"plain.bmp", L"plain.bmp", true}, {L"写真.bmp", L"写真.bmp", true}, {L"sub", L"sub", true},
      {L"missing.bmp", nullptr, false},   {L"link", L"link", false},
#ifdef _WIN32
      {L"upper.bmp", L"Upper.BMP", true},  // one name to the file system
#endif
  };
  std::unordered_map<std::wstring, std::optional<FileStamp>> wanted;
  for (const Case& c : cases) {
    wanted[ComparableName(c.asked)];
  }
  const bool read = ReadFolderIdentities(folder, wanted);
#ifdef _WIN32
  ASSERT_TRUE(read);
#else
  // A look at one file is cheap here: the listing is not offered.
  ASSERT_FALSE(read);
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.asked));
    if (!linked && std::wstring(c.asked) == L"link") {
      continue;  // the system made no link
    }
    const std::optional<FileStamp>& answer = wanted.at(ComparableName(c.asked));
    if (!read || !c.listed) {
      EXPECT_FALSE(answer.has_value());
      continue;
    }
    ASSERT_TRUE(answer.has_value());
    FileStamp own;
    ASSERT_TRUE(ReadFileStamp(AddSeparator(folder) + c.onDisk, &own));
    EXPECT_TRUE(answer->Unchanged(own));  // its size and time too
#ifdef _WIN32
    // The volume a stamp takes from its folder is the one the file itself names.
    const HANDLE file = CreateFileW((AddSeparator(folder) + c.onDisk).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(file, &info));
    CloseHandle(file);
    EXPECT_EQ(own.volume, info.dwVolumeSerialNumber);
    EXPECT_EQ(own.index, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
#endif
  }

  // Many stamps at once answer as a look at each would, links and missing names too.
  std::vector<std::wstring> paths;
  for (const Case& c : cases) {
    paths.push_back(AddSeparator(folder) + c.asked);
  }
  paths.push_back(AddSeparator(outside) + L"missing.bmp");
  const std::vector<std::optional<FileStamp>> stamps = ReadFileStamps(paths);
  ASSERT_EQ(stamps.size(), paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(WideToUtf8(paths[i]));
    FileStamp own;
    ASSERT_EQ(stamps[i].has_value(), ReadFileStamp(paths[i], &own));
    if (stamps[i]) {
      EXPECT_TRUE(stamps[i]->Unchanged(own));
    }
  }
}

}  // namespace
}  // namespace kiv
