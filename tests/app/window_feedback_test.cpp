// What the main window tells and how it answers while it works: a
// registration that the user stops or closes, the rows' reasons, a list that
// stays where the user scrolled it, the saved position at another size, the
// Tab order and the hint of an empty list.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "base/path.h"
#include "base/unicode.h"
#include "kiv/message_loop.h"
#include "pages/file_list_adapter.h"
#include "pages/resource_ids.h"
#include "pages/shortened_path.h"
#include "settings/data_file.h"
#include "settings/data_node.h"
#include "tests/app/window_support.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

using Paths = std::vector<std::wstring>;

int PngCount(const std::wstring& folder) {
  const Paths names = testimg::FolderNames(folder);
  return static_cast<int>(std::count_if(names.begin(), names.end(), [](const std::wstring& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, L".png") == 0;
  }));
}

int RowCount(const Morvane& window) {
  return static_cast<int>(
      SendMessageW(window.pageFile()->list()->Handle(), LVM_GETITEMCOUNT, 0, 0));
}

// Runs `input` on a thread of its own once the list has more than `above`
// rows: the user's key or click arriving in the middle of a registration.
class InputWhenRowsAppear {
 public:
  InputWhenRowsAppear(HWND list, int above, std::function<void()> input)
      : thread_([list, above, input] {
          for (int i = 0; i < 6000; ++i) {
            DWORD_PTR count = 0;
            if (SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 1000, &count) != 0 &&
                static_cast<int>(count) > above) {
              input();
              return;
            }
            Sleep(5);
          }
        }) {}
  ~InputWhenRowsAppear() { thread_.join(); }

 private:
  std::thread thread_;
};

// A point on the window's close box, found by the window's own hit test
// along its caption.
bool CloseBoxPoint(HWND window, POINT& point) {
  RECT frame{};
  GetWindowRect(window, &frame);
  const LONG y = frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
  for (LONG x = frame.right - 2; x > frame.right - 80; --x) {
    if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
      point = POINT{x - 4, y};
      return true;
    }
  }
  return false;
}

// A click of the mouse itself, as the user makes it.
void ClickAt(POINT at) {
  // The move goes with the press, so that the press lands where it was meant.
  SetCursorPos(at.x, at.y);
  INPUT input[3] = {};
  for (INPUT& one : input) {
    one.type = INPUT_MOUSE;
  }
  input[0].mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input[0].mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(3, input, sizeof input[0]);
}

void PostClick(HWND button) {
  PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
  PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

class WindowFeedbackTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(); }
  void TearDown() override {
    CloseMainWindow(window_);
    DeleteFileW(SettingsPath().c_str());
  }
  void Open(bool fresh = true) {
    window_ = OpenMainWindow(fresh);
    ASSERT_TRUE(window_);
    SetCheck(*window_, IDC_AUTO_START_CONVERT, false);
    SetCheck(*window_, IDC_AUTO_DELETE_ITEM, false);
  }
  void SetWorkers(int count) {
    SendMessageW(OptionControl(*window_, IDC_CONVERT_NUM_SLIDER), TBM_SETPOS, TRUE, count);
  }
  HWND List() const { return window_->pageFile()->list()->Handle(); }

  testimg::TempDir dir_;
  std::unique_ptr<TestMorvane> window_;
};

// Escape, 終了 and a click on the close box during a registration close the
// window at once and nothing is converted after the close but the file
// already in progress; 中止 ends the registration with its rows so far and
// starts nothing.
TEST_F(WindowFeedbackTest, RegistrationStopsForTheStopAndTheClose) {
  constexpr int kFiles = 1500;
  const std::wstring folder = dir_ / L"many";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(WriteBmp(folder + L"\\f" + std::to_wstring(i) + L".bmp", 4, 4));
  }
  ASSERT_TRUE(WriteLargeBmp(dir_ / L"big.bmp", 1500));
  enum class Input { kEscape, kExitButton, kConvertButton, kCloseBox };
  struct Case {
    const char* name;
    Input input;
    bool runActive;  // a run converts big.bmp while the folder is added
  };
  const Case cases[] = {
      {"Escape", Input::kEscape, false},
      {"exit button during a run", Input::kExitButton, true},
      {"convert button", Input::kConvertButton, false},
      {"close box, clicked with the mouse", Input::kCloseBox, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!window_) {
      Open();
    }
    DeleteFileW((dir_ / L"big.png").c_str());
    SetCheck(*window_, IDC_AUTO_START_CONVERT, true);
    SendMessageW(OptionControl(*window_, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, 9);
    SetWorkers(1);
    int before = 0;
    if (c.runActive) {
      Drop(*window_, {dir_ / L"big.bmp"});
      ASSERT_TRUE(PumpUntil([&] { return ListRows(*window_)[0].state == L"変換中..."; }));
      before = 1;
    }
    const HWND handle = window_->Handle();
    POINT closeBox{};
    if (c.input == Input::kCloseBox) {
      ASSERT_TRUE(CloseBoxPoint(handle, closeBox));
      SetForegroundWindow(handle);
    }
    {
      InputWhenRowsAppear input(List(), before, [&] {
        if (c.input == Input::kEscape) {
          PostMessageW(List(), WM_KEYDOWN, VK_ESCAPE, 1);
        } else if (c.input == Input::kCloseBox) {
          ClickAt(closeBox);
        } else {
          PostClick(GetDlgItem(handle, c.input == Input::kExitButton ? IDC_EXIT : IDC_CONVERT));
        }
      });
      window_->nextFolder = folder;
      Press(*window_, IDC_ADD_FOLDER);
    }
    if (c.input == Input::kConvertButton) {
      ASSERT_TRUE(IsWindow(handle));
      const int rows = RowCount(*window_);
      EXPECT_GT(rows, 0);
      EXPECT_LT(rows, kFiles);
      EXPECT_FALSE(window_->convertManager()->IsRunning());
      EXPECT_TRUE(window_->ButtonTexts().empty());  // no run started
      EXPECT_EQ(PngCount(folder), 0);
      CloseMainWindow(window_);
      continue;
    }
    EXPECT_FALSE(IsWindow(handle));
    // The close has stopped the run already, not the window object's end:
    // the program still hands unregistered paths on before that.
    EXPECT_FALSE(window_->convertManager()->IsRunning());
    window_.reset();  // waits for the file in progress
    DropQuitMessage();
    EXPECT_EQ(PngCount(folder), 0);
    EXPECT_EQ(kiv::FileExists(dir_ / L"big.png"), c.runActive);
  }
}

// The title counts a run's files from its start, and a registration during
// a run ends once the list holds every row it handed to the run.
TEST_F(WindowFeedbackTest, TheRunIsCountedFromItsStartAndItsListFilled) {
  ASSERT_TRUE(WriteLargeBmp(dir_ / L"big.bmp", 1500));
  ASSERT_TRUE(WriteBmp(dir_ / L"small.bmp"));
  const std::wstring folder = dir_ / L"more";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(WriteBmp(folder + L"\\f" + std::to_wstring(i) + L".bmp", 4, 4));
  }
  SetWorkers(1);
  SendMessageW(OptionControl(*window_, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, 9);
  Drop(*window_, {dir_ / L"big.bmp", dir_ / L"small.bmp"});
  Press(*window_, IDC_CONVERT);
  EXPECT_EQ(WindowText(window_->Handle()), L"Morvane - 2");

  window_->nextFolder = folder;
  Press(*window_, IDC_ADD_FOLDER);
  EXPECT_TRUE(window_->convertManager()->IsRunning());
  EXPECT_EQ(RowCount(*window_), 302);
  window_->convertManager()->RequestStop();
  ASSERT_TRUE(WaitUntilIdle(*window_));
}

// A close in the middle of a drop passes on the dropped paths none of whose
// files became a row; a folder partly registered is not passed on again.
TEST_F(WindowFeedbackTest, ClosingDuringADropPassesOnOnlyWhatIsNotRegistered) {
  const std::wstring folder = dir_ / L"many";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  for (int i = 0; i < 1500; ++i) {
    ASSERT_TRUE(WriteBmp(folder + L"\\f" + std::to_wstring(i) + L".bmp", 4, 4));
  }
  ASSERT_TRUE(WriteBmp(dir_ / L"last.bmp"));
  {
    InputWhenRowsAppear input(List(), 0, [&] { PostMessageW(List(), WM_KEYDOWN, VK_ESCAPE, 1); });
    Drop(*window_, {folder, dir_ / L"last.bmp"});
  }
  EXPECT_FALSE(IsWindow(window_->Handle()));
  EXPECT_EQ(window_->TakeUnregisteredPaths(), Paths{dir_ / L"last.bmp"});
}

bool Truncate(const std::wstring& path, LONG size) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool done = SetFilePointer(file, size, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                    SetEndOfFile(file) != FALSE;
  CloseHandle(file);
  return done;
}

std::wstring TipOf(const Morvane& window, int row) {
  return window.pageFile()->TipText(row);
}

// The text of the row tip in view once the pointer rests on `row`, as the
// user moves it there; empty when none shows within a few seconds.
std::wstring HoveredTip(const Morvane& window, int row) {
  const HWND list = window.pageFile()->list()->Handle();
  RECT cell{};
  cell.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
  POINT at{cell.left + 20, (cell.top + cell.bottom) / 2};
  ClientToScreen(list, &at);
  for (const LONG dx : {0, 1}) {
    SetCursorPos(at.x + dx, at.y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(at.x + dx, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof move);
    PumpFor(std::chrono::milliseconds(50));
  }
  const HWND tip = window.pageFile()->TipWindow();
  if (!PumpUntil([&] { return tip != nullptr && IsWindowVisible(tip); }, std::chrono::seconds(5))) {
    return std::wstring();
  }
  return WindowText(tip);
}

ListViewFileList::RowNote MarkOf(const Morvane& window, int row) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(window.pageFile()->list()->Handle(), LVM_GETITEMW, 0,
               reinterpret_cast<LPARAM>(&item));
  return static_cast<ListViewFileList::RowNote>(item.lParam);
}

// Each cause of a failure or a warning shows on its row in Japanese, with
// the row's colour; the title counts the failures.
TEST_F(WindowFeedbackTest, RowsTellWhyInJapanese) {
  using Note = ListViewFileList::RowNote;
  struct Case {
    std::wstring name;
    std::function<bool(const std::wstring& path)> make;
    std::wstring tip;  // for a truncation, its beginning
    Note note;
  };
  const auto bmp = [](const std::wstring& path) { return WriteBmp(path); };
  const std::vector<Case> cases = {
      {L"good.bmp", bmp, L"", Note::kNone},
      {L"gone.bmp", bmp, L"読込失敗: ファイルが見つかりません (登録の後でなくなりました)",
       Note::kFailed},
      {L"text.bmp",
       [](const std::wstring& path) {
         return testimg::WriteFileBytes(path, {'h', 'e', 'l', 'l', 'o'});
       },
       L"読込失敗: テキストファイルです (画像ではありません)", Note::kFailed},
      {L"empty.png", [](const std::wstring& path) { return testimg::WriteFileBytes(path, {}); },
       L"読込失敗: 空のファイルです", Note::kFailed},
      {L"taken.bmp",
       [&](const std::wstring& path) { return bmp(path) && WritePng(dir_ / L"taken.png"); },
       L"書込失敗: 出力ファイルがすでにあります (上書きしない設定)", Note::kFailed},
      {L"cut.bmp",
       [](const std::wstring& path) { return WriteBmp(path, 64, 64) && Truncate(path, 8000); },
       L"変換終了: ファイルが途中で切れています (", Note::kWarned},
      {L"a folder with a name far too long for the column\\and one more of them\\long.bmp",
       [&](const std::wstring& path) {
         const std::wstring outer = dir_ / L"a folder with a name far too long for the column";
         return CreateDirectoryW(outer.c_str(), nullptr) &&
                CreateDirectoryW((outer + L"\\and one more of them").c_str(), nullptr) && bmp(path);
       },
       L"", Note::kNone},
  };
  Paths paths;
  for (const Case& c : cases) {
    ASSERT_TRUE(c.make(dir_ / c.name));
    paths.push_back(dir_ / c.name);
  }
  SendMessageW(OptionControl(*window_, IDC_OVERWRITE), CB_SETCURSEL, 1, 0);  // fail mode
  Drop(*window_, paths);
  ASSERT_TRUE(DeleteFileW((dir_ / L"gone.bmp").c_str()));
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  PumpFor(std::chrono::milliseconds(50));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    const std::wstring tip = TipOf(*window_, static_cast<int>(i));
    if (cases[i].note == Note::kWarned) {
      EXPECT_EQ(tip.rfind(cases[i].tip, 0), 0u);
      EXPECT_NE(tip.find(L"8,000 バイト)"), std::wstring::npos);
    } else if (cases[i].tip.empty()) {
      // No note: the whole path, where the row shows it shortened.
      EXPECT_TRUE(tip.empty() || tip == dir_ / cases[i].name) << tip;
    } else {
      EXPECT_EQ(tip, cases[i].tip);
    }
    EXPECT_EQ(MarkOf(*window_, static_cast<int>(i)), cases[i].note);
  }
  EXPECT_EQ(WindowText(window_->Handle()), L"Morvane - 失敗 4 件");
  // The pointer resting on a failed row shows its reason, and on the next
  // failed row, that row's.
  EXPECT_EQ(HoveredTip(*window_, 2), cases[2].tip);
  EXPECT_EQ(HoveredTip(*window_, 3), cases[3].tip);
  // The rows in their colours, the long path shortened in the middle.
  EXPECT_TRUE(
      SaveScreenshot(window_->Handle(), kiv::AddSeparator(ScreenshotFolder()) + L"rows_told.png"));

  // A run that starts again clears the rows' notes with their states.
  ASSERT_TRUE(WriteBmp(dir_ / L"gone.bmp"));
  SendMessageW(OptionControl(*window_, IDC_OVERWRITE), CB_SETCURSEL, 0, 0);
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_EQ(TipOf(*window_, 1).find(L"読込失敗"), std::wstring::npos);
  EXPECT_EQ(MarkOf(*window_, 1), Note::kNone);
  EXPECT_EQ(WindowText(window_->Handle()), L"Morvane - 失敗 2 件");
}

// An output folder that is a file is told on the row that could not be written.
TEST_F(WindowFeedbackTest, OutputFolderThatIsAFileIsTold) {
  ASSERT_TRUE(WriteBmp(dir_ / L"a.bmp"));
  ASSERT_TRUE(testimg::WriteFileBytes(dir_ / L"out", {'x'}));
  SetCheck(*window_, IDC_OUT_SRC_DIRECTORY, false);
  SetEditText(*window_, IDC_OUTPUT, dir_ / L"out");
  Drop(*window_, {dir_ / L"a.bmp"});
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_EQ(TipOf(*window_, 0), L"書込失敗: 出力先フォルダがファイルです");
}

// Scrolled away during a run, the list stays where the user put it; back at
// its end it follows the rows being converted again.
TEST_F(WindowFeedbackTest, ScrollingDuringARunStaysWhereTheUserPutIt) {
  constexpr int kFiles = 150;
  Paths paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back(dir_ / (L"f" + std::to_wstring(i) + L".bmp"));
    ASSERT_TRUE(WriteBmp(paths.back(), 48, 48));
  }
  SetWorkers(1);
  SendMessageW(OptionControl(*window_, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, 9);
  Drop(*window_, paths);
  const int perPage = static_cast<int>(SendMessageW(List(), LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_LT(3 * perPage, kFiles);
  Press(*window_, IDC_CONVERT);
  ASSERT_TRUE(PumpUntil([&] { return ListRows(*window_)[0].state == L"変換終了"; }));
  SendMessageW(List(), WM_VSCROLL, SB_PAGEDOWN, 0);
  SendMessageW(List(), WM_VSCROLL, SB_PAGEDOWN, 0);
  const LRESULT top = SendMessageW(List(), LVM_GETTOPINDEX, 0, 0);
  ASSERT_GT(top, 0);
  ASSERT_TRUE(WaitUntilIdle(*window_));
  EXPECT_EQ(SendMessageW(List(), LVM_GETTOPINDEX, 0, 0), top);
  EXPECT_FALSE(window_->pageFile()->list()->Following());

  // Back at the end (the End key): the list follows again.
  SendMessageW(List(), WM_KEYDOWN, VK_END, 0);
  EXPECT_TRUE(window_->pageFile()->list()->Following());
}

// A settings file saved at another DPI (another window size) gives the
// position only: the window keeps its own size and lies on the screen.
TEST_F(WindowFeedbackTest, PlacementSavedAtAnotherSizeOpensWhole) {
  RECT own{};
  GetWindowRect(window_->Handle(), &own);
  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  CloseMainWindow(window_);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromRect(&own, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT work = monitor.rcWork;
  struct Case {
    LONG left, top, savedWidth, savedHeight;
    LONG wantLeft, wantTop;  // where the window must stand
  };
  const Case cases[] = {
      {40, 30, width * 2 / 3, height * 2 / 3, 40, 30},  // saved at 96, opened at 144
      {40, 30, width * 3 / 2, height * 3 / 2, 40, 30},  // saved at 144, opened at 96
      {20000, 15000, width, height, work.right - width, work.bottom - height},  // a monitor gone
      {-20000, -15000, width, height, work.left, work.top},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << "," << c.top);
    kiv::DataNode root(2);
    ASSERT_TRUE(kiv::LoadDataFile(SettingsPath(), root));
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    placement.showCmd = SW_SHOWNORMAL;
    placement.rcNormalPosition = {c.left, c.top, c.left + c.savedWidth, c.top + c.savedHeight};
    root.SetRecord(L"WindowPlacement", placement);
    ASSERT_TRUE(kiv::SaveDataFile(root, SettingsPath()));
    Open(false);
    RECT opened{};
    GetWindowRect(window_->Handle(), &opened);
    EXPECT_EQ(opened.right - opened.left, width);
    EXPECT_EQ(opened.bottom - opened.top, height);
    EXPECT_EQ(opened.left, c.wantLeft);
    EXPECT_EQ(opened.top, c.wantTop);
    // Every control lies inside the client area.
    RECT client{};
    GetClientRect(window_->Handle(), &client);
    for (int id : {IDC_TAB, IDC_ADD_FILES, IDC_ADD_FOLDER, IDC_CONVERT, IDC_EXIT}) {
      RECT control{};
      GetWindowRect(GetDlgItem(window_->Handle(), id), &control);
      MapWindowPoints(nullptr, window_->Handle(), reinterpret_cast<POINT*>(&control), 2);
      EXPECT_LE(control.right, client.right) << id;
      EXPECT_LE(control.bottom, client.bottom) << id;
    }
    CloseMainWindow(window_);
  }
}

// The state column holds each state text whole in the list's font, which
// grows with the DPI: the dialog's own font, and larger ones as at 144 and
// 192 DPI.
TEST_F(WindowFeedbackTest, StateColumnHoldsItsTextsInAnyFont) {
  const auto original = reinterpret_cast<HFONT>(SendMessageW(List(), WM_GETFONT, 0, 0));
  for (int height : {0, 18, 24, 32}) {
    SCOPED_TRACE(height);
    HFONT font = height == 0 ? nullptr
                             : CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                           DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    if (font != nullptr) {
      SendMessageW(List(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    const int width = StateColumnWidth(List());
    for (const wchar_t* text : {L"変換中...", L"読込失敗", L"書込失敗", L"変換終了"}) {
      const auto textWidth = static_cast<int>(
          SendMessageW(List(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
      EXPECT_GE(width, textWidth + 12) << kiv::WideToUtf8(text);
    }
    SendMessageW(List(), WM_SETFONT, reinterpret_cast<WPARAM>(original), FALSE);
    if (font != nullptr) {
      DeleteObject(font);
    }
  }
  // As the page made it.
  EXPECT_EQ(SendMessageW(List(), LVM_GETCOLUMNWIDTH, 1, 0), StateColumnWidth(List()));
}

// A long source path gives way in its folders first, then in the middle of
// its file name, so that the name's beginning, end and extension stay in
// view; a path that fits is shown whole.
TEST(ShortenedPathTest, FoldersGoFirstThenTheMiddleOfTheName) {
  struct Case {
    const wchar_t* path;
    std::size_t width;  // characters that fit
    const wchar_t* shown;
  };
  const Case cases[] = {
      {L"C:\\a\\b.bmp", 100, L"C:\\a\\b.bmp"},
      {L"C:\\photos\\2024\\summer\\name.bmp", 22, L"C:\\photos\\...\\name.bmp"},
      {L"C:\\photos\\2024\\summer\\name.bmp", 12, L"...\\name.bmp"},
      {L"C:\\d\\abcdefghijklmnop.bmp", 14, L"...\\abc…op.bmp"},
      {L"C:\\d\\abcdefghijklmnop.bmp", 6, L"a….bmp"},
      {L"C:\\d\\abcdefghijklmnop.bmp", 2, L"….bmp"},  // nothing fits: the least
      {L"abcdefgh.png", 8, L"ab…h.png"},
      {L"Z:\\写真\\とても長い名前の写真.bmp", 12, L"...\\とて…真.bmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kiv::WideToUtf8(c.path) + " in " + std::to_string(c.width));
    const std::wstring shown =
        ShortenedPath(c.path, [&c](const std::wstring& text) { return text.size() <= c.width; });
    EXPECT_EQ(kiv::WideToUtf8(shown), kiv::WideToUtf8(c.shown));
  }
}

// Tab from the tab strip goes into the page shown, not to the buttons.
TEST_F(WindowFeedbackTest, TabGoesThroughThePageBeforeTheButtons) {
  window_->ShowPage(1);
  SetFocus(window_->tabControl()->Handle());
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
  kiv::PumpMessages();
  EXPECT_EQ(GetFocus(), OptionControl(*window_, IDC_FILTER));
}

// After Delete the next row is selected, so Delete goes on; an emptied list
// gives way to the hint, and a new row brings the list back.
TEST_F(WindowFeedbackTest, DeleteGoesOnAndTheHintComesBack) {
  const Paths paths{dir_ / L"a.bmp", dir_ / L"b.bmp", dir_ / L"c.bmp"};
  for (const std::wstring& path : paths) {
    ASSERT_TRUE(WriteBmp(path));
  }
  Drop(*window_, paths);
  LVITEMW select{};
  select.state = select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(List(), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
  for (int i = 0; i < 3; ++i) {
    SendMessageW(List(), WM_KEYDOWN, VK_DELETE, 0);
  }
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(RowCount(*window_), 0);
  EXPECT_TRUE(IsWindowVisible(window_->pageFile()->hint()->Handle()));
  EXPECT_FALSE(IsWindowVisible(List()));

  Drop(*window_, {paths[0]});
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_TRUE(IsWindowVisible(List()));
  EXPECT_FALSE(IsWindowVisible(window_->pageFile()->hint()->Handle()));
}

// A list scrolled down shows nothing of the rows above the first one in view
// between its header and that row: no pieces of their text.
TEST_F(WindowFeedbackTest, NoPiecesOfRowsUnderTheHeader) {
  Paths paths;
  for (int i = 0; i < 60; ++i) {
    paths.push_back(dir_ / (L"row_" + std::to_wstring(i) + L"_.bmp"));
    ASSERT_TRUE(WriteBmp(paths.back()));
  }
  Drop(*window_, paths);
  PumpFor(std::chrono::milliseconds(50));
  for (const int scrolls : {1, 7, 30}) {
    SendMessageW(List(), LVM_ENSUREVISIBLE, 0, FALSE);
    for (int i = 0; i < scrolls; ++i) {
      SendMessageW(List(), WM_VSCROLL, SB_LINEDOWN, 0);
    }
    RedrawWindow(List(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    PumpFor(std::chrono::milliseconds(50));
    const LRESULT top = SendMessageW(List(), LVM_GETTOPINDEX, 0, 0);
    ASSERT_GT(top, 0);
    RECT header{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(List(), LVM_GETHEADER, 0, 0)), &header);
    MapWindowPoints(nullptr, List(), reinterpret_cast<POINT*>(&header), 2);
    RECT first{};
    first.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageW(List(), LVM_GETITEMRECT, static_cast<WPARAM>(top),
                             reinterpret_cast<LPARAM>(&first)));
    // Dark pixels between the header's bottom and the first row's grid line.
    const HDC dc = GetDC(List());
    int dark = 0;
    for (LONG y = header.bottom; y < first.top - 1; ++y) {
      for (LONG x = first.left; x < first.right; ++x) {
        const COLORREF c = GetPixel(dc, x, y);
        dark += c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128;
      }
    }
    ReleaseDC(List(), dc);
    EXPECT_EQ(dark, 0) << "first row " << top << ", strip " << header.bottom << " to " << first.top;
  }
}

}  // namespace
}  // namespace apptest
