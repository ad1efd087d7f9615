// The open-file dialog, the folder browser and dropped files.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kiv/com_apartment.h"
#include "kiv/dialog.h"
#include "kiv/drop_file.h"
#include "kiv/file_dialog.h"
#include "kiv/folder_dialog.h"
#include "tests/win/kiv_test_ids.h"
#include "tests/win/win_support.h"

namespace {

std::vector<std::wstring> Parse(const std::wstring& buffer) {
  std::vector<std::wstring> result;
  kiv::ParseOpenFileResult(buffer.data(), buffer.size(), result);
  return result;
}

TEST(OpenFileResultTest, OneFileOrAFolderWithItsNames) {
  const std::wstring folder = kiv_test::MakeTempFolder(L"kiv-parse");
  const std::wstring file = folder + L"\\one.png";
  ASSERT_TRUE(kiv_test::WriteTextFile(file, "x"));
  EXPECT_EQ(Parse(file + std::wstring(2, L'\0')), std::vector<std::wstring>{file});

  const std::wstring names = std::wstring(L"a.bmp\0b.png\0c d.jpg\0\0", 21);
  EXPECT_EQ(
      Parse(folder + L'\0' + names),
      (std::vector<std::wstring>{folder + L"\\a.bmp", folder + L"\\b.png", folder + L"\\c d.jpg"}));
  EXPECT_EQ(Parse(std::wstring(L"C:\\\0x.png\0y.png\0\0", 17)),
            (std::vector<std::wstring>{L"C:\\x.png", L"C:\\y.png"}));
  // Damaged buffers: nothing empty, no name without its terminator.
  EXPECT_TRUE(Parse(std::wstring(4, L'\0')).empty());
  EXPECT_TRUE(Parse(L"C:\\nothere").empty());
  EXPECT_EQ(Parse(std::wstring(L"C:\\d\0p.png\0cut", 14)),
            std::vector<std::wstring>{L"C:\\d\\p.png"});
}

// Collects the paths of a drop the way a window's drop handler does.
class DropDialog : public kiv::Dialog {
 public:
  std::vector<std::wstring> paths;
  HGLOBAL block = nullptr;
  SIZE_T sizeWhileReading = 0;

 protected:
  LRESULT OnDropFiles(WPARAM wParam, LPARAM) override {
    kiv::DropFile drop(reinterpret_cast<HDROP>(wParam));
    for (std::wstring path = drop.NextPath(); !path.empty(); path = drop.NextPath()) {
      paths.push_back(path);
    }
    paths.push_back(drop.NextPath());  // past the end: still empty
    sizeWhileReading = GlobalSize(block);
    return 0;
  }
};

TEST(DropFileTest, FourPathsThenEmptyAndTheBlockReleasedOnce) {
  DropDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_CONTROLS));
  const std::vector<std::wstring> dropped = {L"C:\\a.bmp", L"C:\\画像\\b.png", L"D:\\folder",
                                             L"C:\\with space\\c.jpg"};
  dialog.block = kiv_test::MakeDropBlock(dropped);
  SendMessageW(dialog.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(dialog.block), 0);
  std::vector<std::wstring> expected = dropped;
  expected.push_back(L"");
  EXPECT_EQ(dialog.paths, expected);
  EXPECT_GT(dialog.sizeWhileReading, 0u);
  EXPECT_EQ(GlobalSize(dialog.block), 0u);  // freed by DragFinish

  // An edit box ignores drops: the block stays with the sender.
  HGLOBAL kept = kiv_test::MakeDropBlock(dropped);
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog.Handle(), IDC_T_FILTER), WM_DROPFILES,
                         reinterpret_cast<WPARAM>(kept), 0),
            0);
  EXPECT_GT(GlobalSize(kept), 0u);
  GlobalFree(kept);
}

// The modal dialogs are driven from a thread timer that their own message
// loops dispatch.
struct ModalDriver {
  std::wstring initialFolder;
  std::wstring seenFolder;
  std::wstring fileNames;  // typed into the open dialog; empty: cancel
  bool confirm = false;
  bool done = false;
};
ModalDriver* g_driver = nullptr;

HWND FindModal(const wchar_t* childClass) {
  struct Search {
    const wchar_t* childClass;
    HWND found;
  } search = {childClass, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        if (IsWindowVisible(hwnd) && std::wstring(name) == L"#32770" &&
            kiv::Window::FromHandle(hwnd) == nullptr) {
          EnumChildWindows(
              hwnd,
              [](HWND child, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                wchar_t name[64] = {};
                GetClassNameW(child, name, 64);
                if (std::wstring(name) == s->childClass) {
                  s->found = GetAncestor(child, GA_ROOT);
                  return FALSE;
                }
                return TRUE;
              },
              data);
        }
        return s->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Acts on every tick while the dialog is up: an early tick may come before
// the dialog has finished setting itself up.
void CALLBACK DriveOpenDialog(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = FindModal(L"Edit");
  if (dialog == nullptr) {
    return;
  }
  g_driver->done = true;
  wchar_t folder[MAX_PATH] = {};
  SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
  g_driver->seenFolder = folder;
  if (g_driver->fileNames.empty()) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  // The file-name box: a drop-down combo box (cmb13), or a plain edit (edt1).
  HWND name = GetDlgItem(dialog, cmb13);
  SetWindowTextW(name != nullptr ? name : GetDlgItem(dialog, edt1), g_driver->fileNames.c_str());
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void CALLBACK DriveFolderBrowser(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = FindModal(L"SysTreeView32");
  if (dialog == nullptr) {
    return;
  }
  HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
  if (tree == nullptr) {
    HWND host =
        FindWindowExW(dialog, nullptr, L"SHBrowseForFolder ShellNameSpace Control", nullptr);
    tree = FindWindowExW(host, nullptr, L"SysTreeView32", nullptr);
  }
  wchar_t text[MAX_PATH] = {};
  TVITEMW item = {};
  item.mask = TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  if (item.hItem == nullptr ||
      !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
    return;  // not laid out yet
  }
  g_driver->done = true;
  g_driver->seenFolder = text;
  PostMessageW(dialog, WM_COMMAND, g_driver->confirm ? IDOK : IDCANCEL, 0);
}

class CommonDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = kiv_test::MakeTempFolder(L"kiv-choose");
    for (const wchar_t* name : {L"a.png", L"b.bmp", L"c.jpg"}) {
      ASSERT_TRUE(kiv_test::WriteTextFile(folder + L"\\" + name, "x"));
    }
    ASSERT_TRUE(owner.CreateModeless(nullptr, IDD_TEST_LIST));
    ShowWindow(owner.Handle(), SW_SHOW);
    driver.initialFolder = folder;
    g_driver = &driver;
  }
  void TearDown() override {
    KillTimer(nullptr, timer);
    g_driver = nullptr;
  }

  kiv::ComApartment com;  // as the program's user-interface thread has
  UINT_PTR timer = 0;
  std::wstring folder;
  kiv::Dialog owner;
  ModalDriver driver;
};

const std::wstring kFilter = std::wstring(L"画像ファイル") + L'\0' + L"*.bmp;*.png;*.jpg";

TEST_F(CommonDialogTest, ChooseFilesReturnsTheChosenPathsInTheInitialFolder) {
  driver.fileNames = L"\"a.png\" \"b.bmp\" \"c.jpg\"";
  timer = SetTimer(nullptr, 0, 150, DriveOpenDialog);
  std::vector<std::wstring> chosen = {L"earlier"};
  kiv::FileDialog dialog;
  ASSERT_TRUE(kiv::ChooseFiles(chosen, folder, dialog, &owner, L"", kFilter));
  EXPECT_TRUE(driver.done);
  EXPECT_EQ(dialog.Parent(), &owner);
  EXPECT_EQ(driver.seenFolder, folder);
  ASSERT_EQ(chosen.size(), 4u);
  EXPECT_EQ(chosen[0], L"earlier");
  std::vector<std::wstring> files(chosen.begin() + 1, chosen.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::wstring>{folder + L"\\a.png", folder + L"\\b.bmp",
                                              folder + L"\\c.jpg"}));
  KillTimer(nullptr, timer);
  driver = ModalDriver{};
  driver.fileNames = L"b.bmp";
  timer = SetTimer(nullptr, 0, 150, DriveOpenDialog);
  std::vector<std::wstring> single;
  ASSERT_TRUE(kiv::ChooseFiles(single, folder, dialog, &owner, L"", kFilter));
  EXPECT_EQ(single, std::vector<std::wstring>{folder + L"\\b.bmp"});
}

TEST_F(CommonDialogTest, CancellingTheOpenDialogLeavesTheListAlone) {
  timer = SetTimer(nullptr, 0, 150, DriveOpenDialog);
  std::vector<std::wstring> chosen = {L"earlier"};
  kiv::FileDialog dialog;
  EXPECT_FALSE(kiv::ChooseFiles(chosen, folder, dialog, &owner, L"", kFilter));
  EXPECT_TRUE(driver.done);
  EXPECT_EQ(chosen, std::vector<std::wstring>{L"earlier"});
}

TEST_F(CommonDialogTest, ChooseFolderStartsOnTheInitialFolder) {
  driver.confirm = true;
  timer = SetTimer(nullptr, 0, 150, DriveFolderBrowser);
  std::wstring result = L"unchanged";
  ASSERT_TRUE(kiv::ChooseFolder(folder, result, &owner));
  EXPECT_TRUE(driver.done);
  EXPECT_EQ(driver.seenFolder, folder.substr(folder.rfind(L'\\') + 1));
  EXPECT_EQ(result, folder);

  KillTimer(nullptr, timer);
  driver = ModalDriver{};
  timer = SetTimer(nullptr, 0, 150, DriveFolderBrowser);
  result = L"unchanged";
  EXPECT_FALSE(kiv::ChooseFolder(folder, result, &owner));
  EXPECT_EQ(result, L"unchanged");
}

}  // namespace
