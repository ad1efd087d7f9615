// Registration through the main window: the folder browser, the open-file
// dialog, drops and the hand-off of a second start, with the Filter patterns,
// the subfolder scan and the automatic start.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "pages/resource_ids.h"
#include "app/single_instance.h"
#include "app/startup/drop_block.h"
#include "base/path.h"
#include "tests/app/window_support.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

using Paths = std::vector<std::wstring>;

// An open-file dialog filter: the description, NUL, the patterns.
std::wstring Filter(const std::wstring& shown, const std::wstring& patterns) {
  return L"画像ファイル(" + shown + L")" + std::wstring(1, L'\0') + patterns;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = OpenMainWindow();
    ASSERT_TRUE(window_);
    // Rows stay as registered unless a test starts a run.
    SetCheck(*window_, IDC_AUTO_START_CONVERT, false);
  }
  void TearDown() override {
    CloseMainWindow(window_);
    DeleteFileW(SettingsPath().c_str());
  }

  // a.bmp, b.PNG, e.txt, sub\d.jpg and .cache\f.bmp.
  void MakeExampleFolder() {
    ASSERT_TRUE(WriteBmp(dir_ / L"a.bmp"));
    ASSERT_TRUE(WritePng(dir_ / L"b.PNG"));
    ASSERT_TRUE(testimg::WriteFileBytes(dir_ / L"e.txt", {'t', 'e', 'x', 't'}));
    ASSERT_TRUE(CreateDirectoryW((dir_ / L"sub").c_str(), nullptr));
    ASSERT_TRUE(WriteJpeg(dir_ / L"sub\\d.jpg"));
    ASSERT_TRUE(CreateDirectoryW((dir_ / L".cache").c_str(), nullptr));
    ASSERT_TRUE(WriteBmp(dir_ / L".cache\\f.bmp"));
  }

  testimg::TempDir dir_;
  std::unique_ptr<TestMorvane> window_;
};

TEST_F(RegistrationTest, FolderScanTakesPatternsInOrderThenSubfolders) {
  MakeExampleFolder();
  SendMessageW(window_->tabControl()->Handle(), TCM_SETCURSEL, 1, 0);
  window_->ShowPage(1);

  window_->nextFolder = dir_.path();
  Press(*window_, IDC_ADD_FOLDER);
  EXPECT_EQ(ListPaths(*window_), (Paths{dir_ / L"a.bmp", dir_ / L"b.PNG", dir_ / L"sub\\d.jpg"}));
  for (const Row& row : ListRows(*window_)) {
    EXPECT_EQ(row.state, L"");
  }
  EXPECT_EQ(window_->defaultDirectory(), dir_.path());
  // The list came forward in place of the hint, on the file page.
  EXPECT_TRUE(IsWindowVisible(window_->pageFile()->list()->Handle()));
  EXPECT_FALSE(IsWindowVisible(window_->pageFile()->hint()->Handle()));
  EXPECT_TRUE(IsWindowVisible(window_->page(0)->Handle()));
  EXPECT_FALSE(IsWindowVisible(window_->page(1)->Handle()));

  SetCheck(*window_, IDC_SUB_DIRECTORY, false);
  Press(*window_, IDC_ADD_FOLDER);
  EXPECT_EQ(ListPaths(*window_), (Paths{dir_ / L"a.bmp", dir_ / L"b.PNG", dir_ / L"sub\\d.jpg",
                                        dir_ / L"a.bmp", dir_ / L"b.PNG"}));
  EXPECT_EQ(window_->folderDialogRuns, 2);
}

TEST_F(RegistrationTest, FileDialogOffersTheFilterAndTestsEachFile) {
  MakeExampleFolder();
  window_->nextFiles = {dir_ / L"b.PNG", dir_ / L"e.txt", dir_ / L"a.bmp", dir_ / L"A.BMP",
                        dir_ / L"a.bmp"};
  Press(*window_, IDC_ADD_FILES);
  EXPECT_EQ(window_->lastFilter,
            Filter(kDefaultFilter,
                   L"*.bmp;*.png;*.jpg;*.jpeg;*.webp;*.gif;*.tif;*.tiff;*.heic;*.heif;*.avif"));
  // e.txt fails the filter; "A.BMP" names a.bmp in another case, which the
  // folder search does not list under that name; duplicates stay.
  EXPECT_EQ(ListPaths(*window_), (Paths{dir_ / L"b.PNG", dir_ / L"a.bmp", dir_ / L"a.bmp"}));
  EXPECT_EQ(window_->defaultDirectory(), dir_.path());
}

TEST_F(RegistrationTest, OverlappingPatternsFindAFileTwiceByScanOnceByDialog) {
  ASSERT_TRUE(WritePng(dir_ / L"x.png"));
  SetEditText(*window_, IDC_FILTER, L"*.png|*.PNG");
  window_->nextFolder = dir_.path();
  Press(*window_, IDC_ADD_FOLDER);
  EXPECT_EQ(ListPaths(*window_), (Paths{dir_ / L"x.png", dir_ / L"x.png"}));

  window_->nextFiles = {dir_ / L"x.png"};
  Press(*window_, IDC_ADD_FILES);
  EXPECT_EQ(window_->lastFilter, Filter(L"*.png|*.PNG", L"*.png;*.PNG"));
  EXPECT_EQ(ListPaths(*window_).size(), 3u);
}

TEST_F(RegistrationTest, EmptyFilterAcceptsNothingButStillStartsTheRun) {
  MakeExampleFolder();
  SetEditText(*window_, IDC_FILTER, L"");
  SetCheck(*window_, IDC_AUTO_START_CONVERT, true);
  Drop(*window_, {dir_.path(), dir_ / L"a.bmp"});
  window_->nextFiles = {dir_ / L"a.bmp"};
  Press(*window_, IDC_ADD_FILES);
  EXPECT_EQ(window_->lastFilter, L"");
  EXPECT_TRUE(ListPaths(*window_).empty());
  EXPECT_FALSE(IsWindowVisible(window_->pageFile()->list()->Handle()));
  ASSERT_TRUE(WaitUntilIdle(*window_));
  // Both registrations started a run (each start shows "中止"), which ended
  // at once.
  const Paths texts = window_->ButtonTexts();
  EXPECT_GE(std::count(texts.begin(), texts.end(), L"中止"), 2);
  EXPECT_EQ(texts.back(), L"変換");
}

TEST_F(RegistrationTest, DropsKeepTheirOrderAndSkipWhatDoesNotPass) {
  MakeExampleFolder();
  ASSERT_TRUE(WriteJpeg(dir_ / L"z.jpeg"));
  window_->nextFolder = L"";
  Drop(*window_,
       {dir_ / L"sub", dir_ / L"z.jpeg", dir_ / L"e.txt", dir_ / L"missing.bmp", dir_ / L"z.jpeg"});
  EXPECT_EQ(ListPaths(*window_), (Paths{dir_ / L"sub\\d.jpg", dir_ / L"z.jpeg", dir_ / L"z.jpeg"}));
  // A drop does not move the dialogs' start folder.
  EXPECT_EQ(window_->defaultDirectory(), L"");
}

TEST_F(RegistrationTest, DropsArrivingDuringARegistrationFollowIt) {
  ASSERT_TRUE(WriteBmp(dir_ / L"first.bmp"));
  ASSERT_TRUE(WriteBmp(dir_ / L"second.bmp"));
  ASSERT_TRUE(WriteBmp(dir_ / L"third.bmp"));
  // The first drop's message box pumps the queue, where the others wait.
  for (const wchar_t* name : {L"first.bmp", L"second.bmp", L"third.bmp"}) {
    ASSERT_TRUE(PostDrop(window_->Handle(), morvane::PackDropBlock({dir_ / name})));
  }
  ASSERT_TRUE(PumpUntil([&] { return ListPaths(*window_).size() == 3; }));
  EXPECT_EQ(ListPaths(*window_),
            (Paths{dir_ / L"first.bmp", dir_ / L"second.bmp", dir_ / L"third.bmp"}));
}

// A registration started by a message pumped inside another one (here the
// folder button, pressed while the file dialog is up) does not release the
// drops queued behind the outer one.
TEST_F(RegistrationTest, DropsWaitForTheOutermostOfNestedRegistrations) {
  ASSERT_TRUE(CreateDirectoryW((dir_ / L"inner").c_str(), nullptr));
  ASSERT_TRUE(WriteBmp(dir_ / L"inner\\inner.bmp"));
  ASSERT_TRUE(WriteBmp(dir_ / L"outer.bmp"));
  ASSERT_TRUE(WriteBmp(dir_ / L"dropped.bmp"));
  window_->nextFiles = {dir_ / L"outer.bmp"};
  window_->nextFolder = dir_ / L"inner";
  window_->whileChoosingFiles = [&] {
    window_->whileChoosingFiles = nullptr;
    Press(*window_, IDC_ADD_FOLDER);
    Drop(*window_, {dir_ / L"dropped.bmp"});
  };
  Press(*window_, IDC_ADD_FILES);
  EXPECT_EQ(ListPaths(*window_),
            (Paths{dir_ / L"inner\\inner.bmp", dir_ / L"outer.bmp", dir_ / L"dropped.bmp"}));
}

TEST_F(RegistrationTest, CancelledDialogsChangeNothing) {
  MakeExampleFolder();
  SetCheck(*window_, IDC_AUTO_START_CONVERT, true);
  Press(*window_, IDC_ADD_FILES);
  Press(*window_, IDC_ADD_FOLDER);
  EXPECT_EQ(window_->fileDialogRuns, 1);
  EXPECT_EQ(window_->folderDialogRuns, 1);
  EXPECT_TRUE(ListPaths(*window_).empty());
  EXPECT_TRUE(window_->ButtonTexts().empty());  // no run was started
  EXPECT_EQ(window_->defaultDirectory(), L"");
}

TEST_F(RegistrationTest, AutoStartConvertsAndRemovesConvertedRows) {
  MakeExampleFolder();
  SetCheck(*window_, IDC_AUTO_START_CONVERT, true);
  window_->nextFolder = dir_.path();
  Press(*window_, IDC_ADD_FOLDER);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_TRUE(IsPngOfSize(dir_ / L"a.png", 8, 6));
  EXPECT_TRUE(IsPngOfSize(dir_ / L"b.png", 8, 6));
  EXPECT_TRUE(IsPngOfSize(dir_ / L"sub\\d.png", 8, 6));
  EXPECT_FALSE(kiv::FileExists(dir_ / L"e.png"));
  EXPECT_FALSE(kiv::FileExists(dir_ / L".cache\\f.png"));
  // Converted rows left the list; the emptied list gives way to the hint.
  EXPECT_TRUE(ListPaths(*window_).empty());
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_FALSE(IsWindowVisible(window_->pageFile()->list()->Handle()));
  EXPECT_TRUE(IsWindowVisible(window_->pageFile()->hint()->Handle()));
  EXPECT_EQ(WindowText(window_->Handle()), L"Morvane");
}

TEST_F(RegistrationTest, SecondStartHandsPathsOverInOrder) {
  MakeExampleFolder();
  const std::vector<uint8_t> block =
      morvane::PackDropBlock({dir_ / L"b.PNG", dir_ / L"sub", dir_ / L"a.bmp"});
  COPYDATASTRUCT data{kHandOffTag, static_cast<DWORD>(block.size()),
                      const_cast<uint8_t*>(block.data())};
  EXPECT_EQ(SendMessageW(window_->Handle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), TRUE);
  ASSERT_TRUE(PumpUntil([&] { return ListPaths(*window_).size() == 3; }));
  EXPECT_EQ(ListPaths(*window_), (Paths{dir_ / L"b.PNG", dir_ / L"sub\\d.jpg", dir_ / L"a.bmp"}));

  // Malformed or foreign data is refused and registers nothing.
  std::vector<uint8_t> broken(block.begin(), block.end() - 4);
  COPYDATASTRUCT bad{kHandOffTag, static_cast<DWORD>(broken.size()), broken.data()};
  EXPECT_EQ(SendMessageW(window_->Handle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&bad)), 0);
  COPYDATASTRUCT foreign{kHandOffTag + 1, static_cast<DWORD>(block.size()),
                         const_cast<uint8_t*>(block.data())};
  EXPECT_EQ(SendMessageW(window_->Handle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&foreign)), 0);
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(ListPaths(*window_).size(), 3u);
}

// Exit pressed in a registration (through a message it pumped) waits for it
// to end; from then on hand-offs are refused, and drops taken but not yet
// registered are kept, in their order, for the next instance.
TEST_F(RegistrationTest, ClosingKeepsWhatWasTakenButNotRegistered) {
  for (const wchar_t* name : {L"first.bmp", L"queued.bmp", L"posted.bmp"}) {
    ASSERT_TRUE(WriteBmp(dir_ / name));
  }
  const std::vector<uint8_t> late = morvane::PackDropBlock({dir_ / L"first.bmp"});
  COPYDATASTRUCT offer{kHandOffTag, static_cast<DWORD>(late.size()),
                       const_cast<uint8_t*>(late.data())};
  LRESULT offerWhileClosing = -1;
  bool openAfterExit = false;
  window_->nextFiles = {dir_ / L"first.bmp"};
  window_->whileChoosingFiles = [&] {
    Drop(*window_, {dir_ / L"queued.bmp"});
    PostDrop(window_->Handle(), morvane::PackDropBlock({dir_ / L"posted.bmp"}));
    Press(*window_, IDC_EXIT);
    openAfterExit = IsWindow(window_->Handle()) != FALSE;
    offerWhileClosing =
        SendMessageW(window_->Handle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&offer));
  };
  Press(*window_, IDC_ADD_FILES);
  EXPECT_TRUE(openAfterExit);
  EXPECT_EQ(offerWhileClosing, 0);
  EXPECT_FALSE(IsWindow(window_->Handle()));
  EXPECT_EQ(window_->TakeUnregisteredPaths(), (Paths{dir_ / L"queued.bmp", dir_ / L"posted.bmp"}));
}

// A drop whose registration the close comes into goes on whole.
TEST_F(RegistrationTest, ClosingDuringADropPassesTheWholeDropOn) {
  MakeExampleFolder();
  const Paths dropped{dir_ / L"sub", dir_ / L"a.bmp", dir_ / L"e.txt"};
  // The drop's message box pumps the queue, where the close waits.
  PostMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
  Drop(*window_, dropped);
  EXPECT_FALSE(IsWindow(window_->Handle()));
  EXPECT_EQ(window_->TakeUnregisteredPaths(), dropped);
}

// The running window of a second start's hand-off, answering WM_COPYDATA
// with a refusal while refusals are left.
int g_refusalsLeft = 0;
int g_offers = 0;

LRESULT CALLBACK HandOffReceiver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  ++g_offers;
  if (g_refusalsLeft > 0) {
    --g_refusalsLeft;
    return FALSE;
  }
  return TRUE;
}

// A window that does not take the paths at once is offered them again until
// it does, while it exists and the patience lasts; then the start reports
// failure instead of ending as if the paths had arrived.
TEST(HandOffPatientlyTest, OffersAgainUntilTakenGoneOrOutOfPatience) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = HandOffReceiver;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"MorvaneHandOffReceiver";
  RegisterClassW(&windowClass);
  const std::vector<uint8_t> block = morvane::PackDropBlock({L"C:\\a.bmp"});
  struct Case {
    int refusals;
    DWORD patienceMs;
    bool windowGone;
    bool taken;
    int offers;  // -1: at least two
  };
  const Case cases[] = {
      {0, 0, false, true, 1},
      {2, kHandOffPatienceMs, false, true, 3},
      {1000000, 700, false, false, -1},
      {0, kHandOffPatienceMs, true, false, 0},
  };
  for (const Case& c : cases) {
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 10, 10, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    if (c.windowGone) {
      DestroyWindow(window);
    }
    g_refusalsLeft = c.refusals;
    g_offers = 0;
    const auto findWindow = [window](DWORD) { return IsWindow(window) ? window : nullptr; };
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(HandOffPatiently(findWindow, block, c.patienceMs), c.taken) << c.refusals;
    EXPECT_LT(GetTickCount64() - start, c.patienceMs + 3000ull) << c.refusals;
    if (c.offers >= 0) {
      EXPECT_EQ(g_offers, c.offers) << c.refusals;
    } else {
      EXPECT_GE(g_offers, 2) << c.refusals;
    }
    DestroyWindow(window);
  }
}

}  // namespace
}  // namespace apptest
