// The main window with its real pages: defaults, settings that survive a
// restart, page switching, the option reads, the help page and the message
// box.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "pages/resource_ids.h"
#include "base/path.h"
#include "kiv/instance.h"
#include "kiv/message_loop.h"
#include "kiv/pumping_lock.h"
#include "pages/message_dialog.h"
#include "pages/page_help.h"
#include "settings/data_file.h"
#include "tests/app/window_support.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

bool Visible(const std::shared_ptr<kiv::Dialog>& page) {
  return IsWindowVisible(page->Handle()) != FALSE;
}

int SelectedTab(const Morvane& window) {
  return static_cast<int>(SendMessageW(window.tabControl()->Handle(), TCM_GETCURSEL, 0, 0));
}

// Picks a tab as a click does: the selection moves, then the window is told.
void PickTab(const Morvane& window, int index) {
  HWND tab = window.tabControl()->Handle();
  SendMessageW(tab, TCM_SETCURSEL, index, 0);
  NMHDR header{tab, static_cast<UINT_PTR>(IDC_TAB), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(window.Handle(), WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
}

class MainWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseMainWindow(window_);
    DeleteFileW(SettingsPath().c_str());
  }
  std::unique_ptr<TestMorvane> window_;
};

TEST_F(MainWindowTest, StartsWithDefaultsWithoutSettingsFile) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  const Morvane& w = *window_;
  EXPECT_TRUE(IsWindowVisible(w.Handle()));
  EXPECT_EQ(WindowText(w.Handle()), L"Morvane");
  EXPECT_EQ(WindowText(w.convertButton()->Handle()), L"変換");

  // First tab and file page shown; the hint instead of the list.
  EXPECT_EQ(SelectedTab(w), 0);
  EXPECT_TRUE(Visible(w.page(0)));
  EXPECT_FALSE(Visible(w.page(1)));
  EXPECT_FALSE(Visible(w.page(2)));
  EXPECT_TRUE(IsWindowVisible(w.pageFile()->hint()->Handle()));
  EXPECT_FALSE(IsWindowVisible(w.pageFile()->list()->Handle()));
  EXPECT_EQ(w.pageFile()->list()->Options(), 14u);

  // Every option at its default, on the controls and through the reads.
  for (int id :
       {IDC_SUB_DIRECTORY, IDC_OUT_SRC_DIRECTORY, IDC_AUTO_START_CONVERT, IDC_AUTO_DELETE_ITEM}) {
    EXPECT_TRUE(IsChecked(w, id)) << id;
  }
  for (int id : {IDC_DELETE_SRC_FILE, IDC_UPPER_EXTENSION, IDC_INTERLACE_PNG, IDC_24BIT,
                 IDC_TOPMOST_WINDOW}) {
    EXPECT_FALSE(IsChecked(w, id)) << id;
  }
  PageOption& options = *w.pageOption();
  EXPECT_EQ(options.GetOptionText(Option::kFilter), kDefaultFilter);
  EXPECT_EQ(options.GetOptionText(Option::kOutput), L"");
  EXPECT_EQ(options.GetOverwriteMode(), 0);
  EXPECT_EQ(WindowText(OptionControl(w, IDC_OVERWRITE)), L"強制的に上書きする");
  EXPECT_EQ(options.GetCompressLevel(), 6);
  EXPECT_EQ(options.GetConvertCount(), 8);
  EXPECT_TRUE(options.IsOn(Option::kSubDirectory));
  EXPECT_FALSE(options.IsOn(Option::k24Bit));
  EXPECT_FALSE(options.IsOn(Option::kFilter));  // not an on/off option
  PumpFor(std::chrono::milliseconds(50));       // the mirror follows the slider's repaint
  EXPECT_EQ(WindowText(OptionControl(w, IDC_CONVERT_NUM_TEXT)), L"8");

  // The output folder is the source's: field and browse button disabled.
  EXPECT_FALSE(IsWindowEnabled(OptionControl(w, IDC_OUTPUT)));
  EXPECT_FALSE(IsWindowEnabled(OptionControl(w, IDC_OUTPUT_BROWSE)));
  EXPECT_FALSE(GetWindowLongPtrW(w.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MainWindowTest, LinksActAtOnce) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  SetEditText(*window_, IDC_OUTPUT, L"C:\\out");
  SetCheck(*window_, IDC_OUT_SRC_DIRECTORY, false);
  EXPECT_TRUE(IsWindowEnabled(OptionControl(*window_, IDC_OUTPUT)));
  EXPECT_TRUE(IsWindowEnabled(OptionControl(*window_, IDC_OUTPUT_BROWSE)));
  SetCheck(*window_, IDC_OUT_SRC_DIRECTORY, true);
  EXPECT_FALSE(IsWindowEnabled(OptionControl(*window_, IDC_OUTPUT)));
  EXPECT_FALSE(IsWindowEnabled(OptionControl(*window_, IDC_OUTPUT_BROWSE)));
  EXPECT_EQ(window_->pageOption()->GetOptionText(Option::kOutput), L"C:\\out");

  SetCheck(*window_, IDC_TOPMOST_WINDOW, true);
  EXPECT_TRUE(GetWindowLongPtrW(window_->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetCheck(*window_, IDC_TOPMOST_WINDOW, false);
  EXPECT_FALSE(GetWindowLongPtrW(window_->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);

  // The worker-count default button: the slider, then its mirror when the
  // slider repaints, which it does while its page is shown.
  PickTab(*window_, 1);
  SendMessageW(OptionControl(*window_, IDC_CONVERT_NUM_SLIDER), TBM_SETPOS, TRUE, 3);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(WindowText(OptionControl(*window_, IDC_CONVERT_NUM_TEXT)), L"3");
  SendMessageW(window_->pageOption()->Handle(), WM_COMMAND,
               MAKEWPARAM(IDC_CONVERT_NUM_DEFAULT, BN_CLICKED), 0);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(window_->pageOption()->GetConvertCount(), 8);
  EXPECT_EQ(WindowText(OptionControl(*window_, IDC_CONVERT_NUM_TEXT)), L"8");

  SetEditText(*window_, IDC_FILTER, L"*.gif");
  SendMessageW(OptionControl(*window_, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, 1);
  SendMessageW(window_->pageOption()->Handle(), WM_COMMAND,
               MAKEWPARAM(IDC_FILTER_DEFAULT, BN_CLICKED), 0);
  SendMessageW(window_->pageOption()->Handle(), WM_COMMAND,
               MAKEWPARAM(IDC_COMPRESS_DEFAULT, BN_CLICKED), 0);
  EXPECT_EQ(window_->pageOption()->GetOptionText(Option::kFilter), kDefaultFilter);
  EXPECT_EQ(window_->pageOption()->GetCompressLevel(), 6);
}

TEST_F(MainWindowTest, RestoresTabOptionsAndPlacementAfterRestart) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  PickTab(*window_, 1);
  SetCheck(*window_, IDC_SUB_DIRECTORY, false);
  SetCheck(*window_, IDC_TOPMOST_WINDOW, true);
  SetEditText(*window_, IDC_FILTER, L"*.png");
  SendMessageW(OptionControl(*window_, IDC_OVERWRITE), CB_SETCURSEL, 2, 0);
  SendMessageW(OptionControl(*window_, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, 9);
  SendMessageW(OptionControl(*window_, IDC_CONVERT_NUM_SLIDER), TBM_SETPOS, TRUE, 3);
  PumpFor(std::chrono::milliseconds(50));
  SetWindowPos(window_->Handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  RECT before{};
  GetWindowRect(window_->Handle(), &before);
  CloseMainWindow(window_);

  ASSERT_GE(kiv::ReadDataFileType(SettingsPath()), 2);
  window_ = OpenMainWindow(false);
  ASSERT_TRUE(window_);
  const Morvane& w = *window_;
  EXPECT_EQ(SelectedTab(w), 1);
  EXPECT_FALSE(Visible(w.page(0)));
  EXPECT_TRUE(Visible(w.page(1)));
  EXPECT_FALSE(IsChecked(w, IDC_SUB_DIRECTORY));
  EXPECT_TRUE(IsChecked(w, IDC_TOPMOST_WINDOW));
  EXPECT_TRUE(GetWindowLongPtrW(w.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(w.pageOption()->GetOptionText(Option::kFilter), L"*.png");
  EXPECT_EQ(w.pageOption()->GetOverwriteMode(), 2);
  EXPECT_EQ(w.pageOption()->GetCompressLevel(), 9);
  EXPECT_EQ(w.pageOption()->GetConvertCount(), 3);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(WindowText(OptionControl(w, IDC_CONVERT_NUM_TEXT)), L"3");
  RECT after{};
  GetWindowRect(w.Handle(), &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
}

TEST_F(MainWindowTest, ExitRewritesSettingsFileEvenWithoutChanges) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  CloseMainWindow(window_);
  ASSERT_TRUE(kiv::FileExists(SettingsPath()));
  // A stale file is replaced by the next exit.
  kiv::DataNode stale(2);
  stale.Child(L"TabControl").SetInt(L"Index", 2);
  ASSERT_TRUE(kiv::SaveDataFile(stale, SettingsPath()));
  window_ = OpenMainWindow(false);
  ASSERT_TRUE(window_);
  EXPECT_EQ(SelectedTab(*window_), 2);
  PickTab(*window_, 0);
  CloseMainWindow(window_);
  kiv::DataNode saved;
  ASSERT_TRUE(kiv::LoadDataFile(SettingsPath(), saved));
  EXPECT_EQ(saved.type, 2);
  EXPECT_EQ(saved.Child(L"TabControl").GetInt(L"Index", -5), 0);
  EXPECT_EQ(saved.Child(L"PageOption").Child(L"spConvertNum").GetInt(L"Pos", -5), 8);
  EXPECT_EQ(saved.Child(L"PageOption").Child(L"ConvertNum").GetString(L"Text"), L"8");
  WINDOWPLACEMENT placement{};
  EXPECT_TRUE(saved.GetRecord(L"WindowPlacement", placement));
}

TEST_F(MainWindowTest, MalformedValuesLoadAsDefaults) {
  kiv::DataNode root(2);
  kiv::DataNode& options = root.Child(L"PageOption");
  options.Child(L"DeleteSrcFile").SetBytes(L"Check", {1, 0});  // 2 bytes, not an integer
  options.Child(L"SubDirectory").SetInt(L"Check", 0);          // proves the file was read
  options.Child(L"OverWrite").SetInt(L"Index", 7);             // outside the list
  options.Child(L"CompressLevel").SetInt(L"Pos", 42);          // outside the slider
  root.Child(L"TabControl").SetInt(L"Index", 9);               // no such tab
  root.SetBytes(L"WindowPlacement", {1, 2, 3});                // not a placement
  ASSERT_TRUE(kiv::SaveDataFile(root, SettingsPath()));

  window_ = OpenMainWindow(false);
  ASSERT_TRUE(window_);
  EXPECT_FALSE(IsChecked(*window_, IDC_DELETE_SRC_FILE));
  EXPECT_FALSE(IsChecked(*window_, IDC_SUB_DIRECTORY));
  EXPECT_EQ(window_->pageOption()->GetOverwriteMode(), -1);
  EXPECT_EQ(window_->pageOption()->GetCompressLevel(), 9);
  EXPECT_EQ(SelectedTab(*window_), 0);
  EXPECT_TRUE(Visible(window_->page(0)));
}

TEST_F(MainWindowTest, ShowPageAndTabPicks) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  Morvane& w = *window_;
  PickTab(w, 2);
  EXPECT_FALSE(Visible(w.page(0)));
  EXPECT_FALSE(Visible(w.page(1)));
  EXPECT_TRUE(Visible(w.page(2)));
  PickTab(w, 2);  // the selected tab again changes nothing
  EXPECT_TRUE(Visible(w.page(2)));
  EXPECT_EQ(SelectedTab(w), 2);

  PickTab(w, 1);
  w.ShowPage(0);  // brings the list forward and moves the tab selection
  EXPECT_TRUE(Visible(w.page(0)));
  EXPECT_FALSE(Visible(w.page(1)));
  EXPECT_EQ(SelectedTab(w), 0);

  w.ShowPage(3);
  w.ShowPage(-1);
  EXPECT_FALSE(Visible(w.page(0)));
  EXPECT_FALSE(Visible(w.page(1)));
  EXPECT_FALSE(Visible(w.page(2)));
}

// What the engine's threads ask of the window while a run goes on never waits
// for the window's thread, which may be busy drawing: here that thread does not
// look at its messages until each ask has returned. What the user changes
// reaches the next read at once, each kind of control telling the page as it
// is worked.
TEST_F(MainWindowTest, OptionReadsComeFromOtherThreadsAndOutliveTheWindow) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  SetCheck(*window_, IDC_AUTO_START_CONVERT, false);
  std::shared_ptr<PageOption> options = window_->pageOption();
  const auto fromAnotherThread = [](const std::function<void()>& ask) {
    std::atomic<bool> done{false};
    std::thread engine([&] {
      ask();
      done = true;
    });
    for (int i = 0; i < 500 && !done; ++i) {
      Sleep(10);
    }
    EXPECT_TRUE(done) << "a read waited for the window's thread";
    PumpUntil([&] { return done.load(); });
    engine.join();
  };
  const struct {
    const char* what;
    std::function<void()> change;
    std::function<int()> read;
    int expected;
  } changes[] = {
      {"a check box clicked", [&] { SetCheck(*window_, IDC_24BIT, true); },
       [&] { return options->IsOn(Option::k24Bit) ? 1 : 0; }, 1},
      {"a check box cleared", [&] { SetCheck(*window_, IDC_OUT_SRC_DIRECTORY, false); },
       [&] { return options->IsOn(Option::kOutSrcDirectory) ? 1 : 0; }, 0},
      {"a slider moved by a key",
       [&] {
         const HWND slider = OptionControl(*window_, IDC_COMPRESS_LEVEL);
         SendMessageW(slider, WM_KEYDOWN, VK_RIGHT, 0);
         SendMessageW(slider, WM_KEYUP, VK_RIGHT, 0);
       },
       [&] { return options->GetCompressLevel(); }, 7},
      {"a choice picked in the list",
       [&] {
         const HWND list = OptionControl(*window_, IDC_OVERWRITE);
         SendMessageW(list, CB_SETCURSEL, 2, 0);
         SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_OVERWRITE, CBN_SELCHANGE),
                      reinterpret_cast<LPARAM>(list));
       },
       [&] { return options->GetOverwriteMode(); }, 2},
      {"a folder typed", [&] { SetEditText(*window_, IDC_OUTPUT, L"D:\\出力"); },
       [&] { return options->GetOptionText(Option::kOutput) == L"D:\\出力" ? 1 : 0; }, 1},
      {"a program's change that tells the page nothing, kept as a run's start keeps it",
       [&] {
         SendMessageW(OptionControl(*window_, IDC_OVERWRITE), CB_SETCURSEL, 1, 0);
         options->KeepValues();
       },
       [&] { return options->GetOverwriteMode(); }, 1},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    c.change();
    int value = -1;
    fromAnotherThread([&] { value = c.read(); });
    EXPECT_EQ(value, c.expected);
  }

  // A row's text and the title, asked the same way.
  testimg::TempDir dir;
  ASSERT_TRUE(WriteBmp(dir / L"row.bmp"));
  Drop(*window_, {dir / L"row.bmp"});
  ASSERT_EQ(ListRows(*window_).size(), 1u);
  kiv::ListView& list = *window_->pageFile()->list();
  std::wstring path;
  fromAnotherThread([&] {
    kiv::PumpingLock hold(list.Lock());
    path = list.GetItemText(*list.ItemShownAt(0), 0);
  });
  EXPECT_EQ(path, dir / L"row.bmp");
  fromAnotherThread([&] { window_->SetTitle(L"Morvane - 7"); });
  kiv::PumpMessages();
  EXPECT_EQ(WindowText(window_->Handle()), L"Morvane - 7");

  // Once the window is gone, conversions still finishing read the last values
  // instead of the zeros of vanished controls (a zero would mean "replace").
  DestroyWindow(window_->Handle());
  DropQuitMessage();
  EXPECT_EQ(options->GetOverwriteMode(), 1);
  EXPECT_TRUE(options->IsOn(Option::k24Bit));
  EXPECT_FALSE(options->IsOn(Option::kOutSrcDirectory));
  EXPECT_EQ(options->GetCompressLevel(), 7);
  EXPECT_EQ(options->GetConvertCount(), 8);
  EXPECT_EQ(options->GetOptionText(Option::kOutput), L"D:\\出力");
}

TEST_F(MainWindowTest, HelpPageShowsNameAndVersion) {
  window_ = OpenMainWindow();
  ASSERT_TRUE(window_);
  HWND help = window_->page(2)->Handle();
  EXPECT_EQ(WindowText(GetDlgItem(help, IDC_PRODUCT_NAME)), L"Morvane");
  EXPECT_EQ(WindowText(GetDlgItem(help, IDC_FILE_VERSION)), MORVANE_TEST_VERSION);
  const LONG_PTR style = GetWindowLongPtrW(GetDlgItem(help, IDC_FILE_VERSION), GWL_STYLE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & ES_CENTER);
}

// A page on its own in a bare main-window dialog, with the shell replaced by
// a record of what the page would have opened.
template <class Page>
struct HostedPage {
  class Recording : public Page {
   public:
    std::vector<std::wstring> opened;

   protected:
    void OpenWithShell(const std::wstring& target) override { opened.push_back(target); }
  };

  // Creates the host and the page from `pageTemplate` in it, both shown;
  // false when either cannot be created.
  bool Show(int pageTemplate) {
    kiv::InitCommonControlsOnce();
    if (!host.CreateModeless(nullptr, IDD_MAIN) || !page.CreateModeless(&host, pageTemplate)) {
      return false;
    }
    ShowWindow(host.Handle(), SW_SHOW);
    ShowWindow(page.Handle(), SW_SHOW);
    return true;
  }

  kiv::Dialog host;
  Recording page;  // destroyed before its host
};

TEST(HelpPage, PictureClickOpensHomePageAndButtonFindsManual) {
  HostedPage<PageHelp> hosted;
  ASSERT_TRUE(hosted.Show(IDD_PAGE_HELP));
  auto& page = hosted.page;

  RECT picture{};
  GetWindowRect(page.linkPicture()->Handle(), &picture);
  POINT inside{(picture.left + picture.right) / 2, (picture.top + picture.bottom) / 2};
  POINT beside{picture.left - 5, inside.y};
  ScreenToClient(page.Handle(), &inside);
  ScreenToClient(page.Handle(), &beside);
  SendMessageW(page.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(beside.x, beside.y));
  EXPECT_TRUE(page.opened.empty());
  SendMessageW(page.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inside.x, inside.y));
  ASSERT_EQ(page.opened.size(), 1u);
  EXPECT_EQ(page.opened[0], kHomePageAddress);

  // The manual: first in the current folder, then beside the program.
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  testimg::TempDir here;
  SetCurrentDirectoryW(here.path().c_str());
  const std::wstring besideProgram =
      kiv::AddSeparator(kiv::RemoveFileSpec(kiv::GetModulePath())) + L"Manual";
  CreateDirectoryW(besideProgram.c_str(), nullptr);
  const std::wstring besideManual = besideProgram + L"\\index.html";
  DeleteFileW(besideManual.c_str());
  EXPECT_EQ(PageHelp::FindManual(), L"");
  page.opened.clear();
  SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_OPEN_MANUAL, BN_CLICKED), 0);
  EXPECT_TRUE(page.opened.empty());

  HANDLE f =
      CreateFileW(besideManual.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(f);
  EXPECT_EQ(PageHelp::FindManual(), besideManual);
  CreateDirectoryW((here / L"Manual").c_str(), nullptr);
  f = CreateFileW((here / L"Manual\\index.html").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  0, nullptr);
  CloseHandle(f);
  EXPECT_EQ(PageHelp::FindManual(), L"Manual\\index.html");
  SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_OPEN_MANUAL, BN_CLICKED), 0);
  EXPECT_EQ(page.opened, std::vector<std::wstring>{L"Manual\\index.html"});

  SetCurrentDirectoryW(saved);
  DeleteFileW(besideManual.c_str());
  RemoveDirectoryW(besideProgram.c_str());
}

TEST(FilePage, DoubleClickOpensTheRowUnderThePointer) {
  HostedPage<PageFile> hosted;
  ASSERT_TRUE(hosted.Show(IDD_PAGE_FILE));
  SetWindowPos(hosted.host.Handle(), nullptr, 600, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  auto& page = hosted.page;
  page.RevealList();
  EXPECT_FALSE(IsWindowVisible(page.hint()->Handle()));
  kiv::ListView& list = *page.list();
  list.AddItem(L"C:\\a.bmp");
  list.AddItem(L"C:\\b.bmp");

  RECT second{};
  second.left = LVIR_LABEL;
  SendMessageW(list.Handle(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
  NMITEMACTIVATE click{};
  click.hdr = {list.Handle(), static_cast<UINT_PTR>(IDC_FILE_LIST), static_cast<UINT>(NM_DBLCLK)};
  click.iItem = 1;
  click.ptAction = {second.left + 4, (second.top + second.bottom) / 2};
  EXPECT_EQ(SendMessageW(page.Handle(), WM_NOTIFY, IDC_FILE_LIST, reinterpret_cast<LPARAM>(&click)),
            0);
  EXPECT_EQ(page.opened, std::vector<std::wstring>{L"C:\\b.bmp"});

  // Below the last row: nothing.
  click.iItem = -1;
  click.ptAction = {second.left + 4, second.bottom + 3 * (second.bottom - second.top)};
  SendMessageW(page.Handle(), WM_NOTIFY, IDC_FILE_LIST, reinterpret_cast<LPARAM>(&click));
  EXPECT_EQ(page.opened.size(), 1u);
}

TEST(MessageDialogBox, IsCentredOverItsOwnerAndGoesWithItsObject) {
  kiv::Dialog owner;
  ASSERT_TRUE(owner.CreateModeless(nullptr, IDD_MAIN));
  SetWindowPos(owner.Handle(), nullptr, 5, 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
  HWND box = nullptr;
  {
    MessageDialog message(L"ファイル登録中…");
    ASSERT_TRUE(message.Show(owner));
    box = message.Handle();
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ(WindowText(GetDlgItem(box, IDC_MESSAGE_TEXT)), L"ファイル登録中…");
    RECT o{};
    RECT m{};
    GetWindowRect(owner.Handle(), &o);
    GetWindowRect(box, &m);
    EXPECT_EQ(m.left, o.left + ((o.right - o.left) - (m.right - m.left)) / 2);
    EXPECT_EQ(m.top, o.top + ((o.bottom - o.top) - (m.bottom - m.top)) / 2);
  }
  EXPECT_FALSE(IsWindow(box));
}

}  // namespace
}  // namespace apptest
