// The main window's buttons: convert (again from the first row), stop during
// a run, adding during a run, the title during a run, and closing; the
// keyboard's tab keys and Escape.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <iterator>

#include "pages/resource_ids.h"
#include "base/path.h"
#include "kiv/message_loop.h"
#include "kiv/pumping_lock.h"
#include "settings/data_file.h"
#include "tests/app/window_support.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

using Paths = std::vector<std::wstring>;

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = OpenMainWindow();
    ASSERT_TRUE(window_);
    SetCheck(*window_, IDC_AUTO_START_CONVERT, false);
    SetCheck(*window_, IDC_AUTO_DELETE_ITEM, false);
  }
  void TearDown() override {
    CloseMainWindow(window_);
    DeleteFileW(SettingsPath().c_str());
  }

  void SetWorkers(int count) {
    SendMessageW(OptionControl(*window_, IDC_CONVERT_NUM_SLIDER), TBM_SETPOS, TRUE, count);
  }
  void SetLevel(int level) {
    SendMessageW(OptionControl(*window_, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, level);
  }
  // The rows' states as the run set them, also one the list has not drawn
  // yet (a state that lasts less than the list's redraw is seen too).
  std::vector<std::wstring> States() {
    std::vector<std::wstring> states;
    kiv::ListView& list = *window_->pageFile()->list();
    kiv::PumpingLock hold(list.Lock());
    for (std::size_t i = 0; i < list.ItemCount(); ++i) {
      states.push_back(list.GetItemText(*list.ItemAt(i), kColumnState));
    }
    return states;
  }

  testimg::TempDir dir_;
  std::unique_ptr<TestMorvane> window_;
};

TEST_F(CommandsTest, ConvertRunsTheWholeListAgainFromTheFirstRow) {
  ASSERT_TRUE(WriteBmp(dir_ / L"one.bmp", 5, 4));
  ASSERT_TRUE(testimg::WriteFileBytes(dir_ / L"broken.bmp", {'B', 'M', 1, 2, 3}));
  ASSERT_TRUE(WritePng(dir_ / L"three.png", 3, 7));
  Drop(*window_, {dir_ / L"one.bmp", dir_ / L"broken.bmp", dir_ / L"three.png"});
  EXPECT_EQ(States(), (Paths{L"", L"", L""}));

  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_EQ(States(), (Paths{L"変換終了", L"読込失敗", L"変換終了"}));
  EXPECT_TRUE(IsPngOfSize(dir_ / L"one.png", 5, 4));
  EXPECT_TRUE(IsPngOfSize(dir_ / L"three.png", 3, 7));
  EXPECT_EQ(window_->pageFile()->list()->Options(), 14u);

  // Again: every row, the converted ones included, is converted once more.
  ASSERT_TRUE(DeleteFileW((dir_ / L"one.png").c_str()));
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_EQ(States(), (Paths{L"変換終了", L"読込失敗", L"変換終了"}));
  EXPECT_TRUE(IsPngOfSize(dir_ / L"one.png", 5, 4));

  // The title counted the files down and came back to the program's name.
  const Paths titles = window_->Titles();
  ASSERT_FALSE(titles.empty());
  EXPECT_EQ(titles.back(), L"Morvane");
  int last = 1000;
  for (const std::wstring& title : titles) {
    if (title == L"Morvane") {
      last = 1000;
      continue;
    }
    ASSERT_EQ(title.rfind(L"Morvane - ", 0), 0u) << title;
    const int count = static_cast<int>(std::wcstol(title.c_str() + 10, nullptr, 10));
    EXPECT_LE(count, last);
    EXPECT_GE(count, 0);
    last = count;
  }
}

TEST_F(CommandsTest, StopLetsRunningFilesFinishAndLeavesTheRestWaiting) {
  SetWorkers(1);
  SetLevel(9);
  Paths sources;
  for (int i = 0; i < 4; ++i) {
    sources.push_back(dir_ / (L"big" + std::to_wstring(i) + L".bmp"));
    ASSERT_TRUE(WriteLargeBmp(sources.back(), 900));
  }
  Drop(*window_, sources);
  Press(*window_, IDC_CONVERT);
  EXPECT_EQ(WindowText(window_->convertButton()->Handle()), L"中止");
  EXPECT_EQ(window_->pageFile()->list()->Options(), 10u);
  ASSERT_TRUE(PumpUntil([&] { return States()[0] == L"変換中..."; }));

  Press(*window_, IDC_CONVERT);
  EXPECT_FALSE(IsWindowEnabled(window_->convertButton()->Handle()));
  EXPECT_EQ(WindowText(window_->convertButton()->Handle()), L"中止");
  ASSERT_TRUE(WaitUntilIdle(*window_));
  // The files in progress finished; the ones never handed out wait again.
  const Paths states = States();
  size_t converted = 0;
  while (converted < states.size() && states[converted] == L"変換終了") {
    ++converted;
  }
  EXPECT_GE(converted, 1u);
  EXPECT_LE(converted, 2u);
  for (size_t i = converted; i < states.size(); ++i) {
    EXPECT_EQ(states[i], L"") << i;
  }
  EXPECT_TRUE(IsPngOfSize(dir_ / L"big0.png", 900, 900));
  EXPECT_FALSE(kiv::FileExists(dir_ / L"big3.png"));
  EXPECT_EQ(WindowText(window_->Handle()), L"Morvane");
  EXPECT_EQ(window_->pageFile()->list()->Options(), 14u);
}

TEST_F(CommandsTest, FilesAddedDuringARunJoinIt) {
  SetWorkers(1);
  SetLevel(9);
  ASSERT_TRUE(WriteLargeBmp(dir_ / L"big.bmp", 1500));
  ASSERT_TRUE(WriteBmp(dir_ / L"late.bmp"));
  ASSERT_TRUE(WriteJpeg(dir_ / L"later.jpg"));
  Drop(*window_, {dir_ / L"big.bmp"});
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(PumpUntil([&] { return States()[0] == L"変換中..."; }));
  ASSERT_TRUE(window_->convertManager()->IsRunning());
  Drop(*window_, {dir_ / L"late.bmp"});
  window_->nextFiles = {dir_ / L"later.jpg"};
  Press(*window_, IDC_ADD_FILES);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_EQ(ListPaths(*window_),
            (Paths{dir_ / L"big.bmp", dir_ / L"late.bmp", dir_ / L"later.jpg"}));
  EXPECT_EQ(States(), (Paths{L"変換終了", L"変換終了", L"変換終了"}));
}

TEST_F(CommandsTest, DeleteKeyWorksOnlyWhileIdle) {
  ASSERT_TRUE(WriteBmp(dir_ / L"a.bmp"));
  Drop(*window_, {dir_ / L"a.bmp", dir_ / L"a.bmp", dir_ / L"a.bmp"});
  HWND list = window_->pageFile()->list()->Handle();
  LVITEMW selected{};
  selected.stateMask = LVIS_SELECTED;
  selected.state = LVIS_SELECTED;
  SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&selected));
  window_->pageFile()->list()->SetOptions(10);
  SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(ListPaths(*window_).size(), 3u);
  window_->pageFile()->list()->SetOptions(14);
  SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(ListPaths(*window_).size(), 2u);
}

TEST_F(CommandsTest, ExitAndCancelCloseTheWindowAndSaveTheSettings) {
  for (int command : {IDC_EXIT, IDCANCEL}) {
    if (!window_) {
      window_ = OpenMainWindow();
      ASSERT_TRUE(window_);
    }
    DeleteFileW(SettingsPath().c_str());
    HWND handle = window_->Handle();
    SendMessageW(handle, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(handle)) << command;
    EXPECT_EQ(kiv::ReadDataFileType(SettingsPath()), 2) << command;
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << command;
    window_.reset();
  }
}

TEST_F(CommandsTest, ClosingDuringARunWaitsForTheFileInProgress) {
  SetWorkers(1);
  SetLevel(9);
  ASSERT_TRUE(WriteLargeBmp(dir_ / L"big.bmp", 1500));
  ASSERT_TRUE(WriteBmp(dir_ / L"next.bmp"));
  Drop(*window_, {dir_ / L"big.bmp", dir_ / L"next.bmp"});
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(PumpUntil([&] { return States()[0] == L"変換中..."; }));
  Press(*window_, IDC_EXIT);
  window_.reset();  // waits for the conversion in progress
  DropQuitMessage();
  EXPECT_TRUE(IsPngOfSize(dir_ / L"big.png", 1500, 1500));
  EXPECT_FALSE(kiv::FileExists(dir_ / L"next.png"));
  // Nothing half-written is left beside the sources.
  EXPECT_EQ(testimg::FolderNames(dir_.path()), (Paths{L"big.bmp", L"big.png", L"next.bmp"}));
}

// A key pressed with Ctrl and Shift as given, taken from the queue as the
// message loop takes it.
void PressKey(HWND target, WORD key, bool ctrl, bool shift) {
  BYTE saved[256];
  GetKeyboardState(saved);
  BYTE state[256];
  std::copy(std::begin(saved), std::end(saved), std::begin(state));
  state[VK_CONTROL] = ctrl ? 0x80 : 0;
  state[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(state);
  PostMessageW(target, WM_KEYDOWN, key, 1);
  kiv::PumpMessages();
  SetKeyboardState(saved);
}

TEST_F(CommandsTest, KeyboardMovesBetweenTabsAndEscapeClosesFromEveryControl) {
  ASSERT_TRUE(WriteBmp(dir_ / L"a.bmp"));
  Drop(*window_, {dir_ / L"a.bmp"});
  const auto list = [&] { return window_->pageFile()->list()->Handle(); };
  const auto strip = [&] { return window_->tabControl()->Handle(); };
  const auto filter = [&] { return OptionControl(*window_, IDC_FILTER); };
  const auto exit = [&] { return GetDlgItem(window_->Handle(), IDC_EXIT); };
  struct Case {
    int fromTab;
    std::function<HWND()> focus;
    WORD key;
    bool ctrl;
    bool shift;
    int toTab;  // -1: the window closes
  };
  const Case cases[] = {
      {0, list, VK_TAB, true, false, 1},        {1, filter, VK_TAB, true, false, 2},
      {2, exit, VK_TAB, true, false, 0},        {0, list, VK_TAB, true, true, 2},
      {1, filter, VK_TAB, true, true, 0},       {0, list, VK_NEXT, true, false, 1},
      {2, strip, VK_NEXT, true, false, 0},      {0, list, VK_PRIOR, true, false, 2},
      {1, filter, VK_PRIOR, true, false, 0},    {0, list, VK_ESCAPE, false, false, -1},
      {1, filter, VK_ESCAPE, false, false, -1}, {0, strip, VK_ESCAPE, false, false, -1},
      {0, exit, VK_ESCAPE, false, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "from tab " << c.fromTab << ", key " << c.key);
    if (!window_) {
      window_ = OpenMainWindow();
      ASSERT_TRUE(window_);
      Drop(*window_, {dir_ / L"a.bmp"});
    }
    window_->ShowPage(c.fromTab);
    SetFocus(c.focus());
    ASSERT_EQ(GetFocus(), c.focus());
    const HWND handle = window_->Handle();
    PressKey(GetFocus(), c.key, c.ctrl, c.shift);
    if (c.toTab < 0) {
      EXPECT_FALSE(IsWindow(handle));
      window_.reset();
      DropQuitMessage();
      continue;
    }
    EXPECT_EQ(window_->tabControl()->GetCurSel(), c.toTab);
    for (int i = 0; i < Morvane::kPageCount; ++i) {
      EXPECT_EQ(IsWindowVisible(window_->page(i)->Handle()) != FALSE, i == c.toTab) << i;
    }
    // The focus stays where the user can see it.
    EXPECT_TRUE(IsWindowVisible(GetFocus()));
  }

  // The tab strip is in the Tab order.
  ASSERT_TRUE(window_ || (window_ = OpenMainWindow()));
  SetFocus(exit());
  bool reached = false;
  for (int i = 0; i < 40 && !reached; ++i) {
    PressKey(GetFocus(), VK_TAB, false, false);
    reached = GetFocus() == strip();
  }
  EXPECT_TRUE(reached);
}

}  // namespace
}  // namespace apptest
