// Screenshots of the main window's three tabs (the file list during a run)
// and of the message box, saved as PNG files under the build tree for a
// person to look at: screenshots/morvane-*.png beside the test program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "pages/resource_ids.h"
#include "base/path.h"
#include "pages/message_dialog.h"
#include "tests/app/window_support.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

void PickTab(const Morvane& window, int index) {
  HWND tab = window.tabControl()->Handle();
  SendMessageW(tab, TCM_SETCURSEL, index, 0);
  NMHDR header{tab, static_cast<UINT_PTR>(IDC_TAB), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(window.Handle(), WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
}

void Shoot(HWND window, const std::wstring& name) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  PumpFor(std::chrono::milliseconds(300));
  const std::wstring path = kiv::AddSeparator(ScreenshotFolder()) + name;
  EXPECT_TRUE(SaveScreenshot(window, path));
  EXPECT_TRUE(kiv::FileExists(path));
}

TEST(Screenshots, EachTabAndTheMessageBox) {
  auto window = OpenMainWindow();
  ASSERT_TRUE(window);
  SetWindowPos(window->Handle(), HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
  SetCheck(*window, IDC_AUTO_START_CONVERT, false);
  SetCheck(*window, IDC_AUTO_DELETE_ITEM, false);
  SendMessageW(OptionControl(*window, IDC_CONVERT_NUM_SLIDER), TBM_SETPOS, TRUE, 2);
  SendMessageW(OptionControl(*window, IDC_COMPRESS_LEVEL), TBM_SETPOS, TRUE, 9);

  testimg::TempDir dir;
  std::vector<std::wstring> files;
  for (const wchar_t* name :
       {L"風景 01.bmp", L"風景 02.bmp", L"風景 03.bmp", L"風景 04.bmp", L"人物.bmp", L"夜景.bmp"}) {
    files.push_back(dir / name);
    ASSERT_TRUE(WriteLargeBmp(files.back(), 1200));
  }
  ASSERT_TRUE(testimg::WriteFileBytes(dir / L"壊れた画像.bmp", {'B', 'M', 0, 0}));
  files.insert(files.begin() + 1, dir / L"壊れた画像.bmp");
  Drop(*window, files);
  Press(*window, IDC_CONVERT);
  ASSERT_TRUE(PumpUntil([&] {
    const auto rows = ListRows(*window);
    return rows[1].state == L"読込失敗" && rows[2].state == L"変換中...";
  }));
  Shoot(window->Handle(), L"morvane-file-list.png");
  Press(*window, IDC_CONVERT);  // stop
  ASSERT_TRUE(WaitUntilIdle(*window));

  PickTab(*window, 1);
  Shoot(window->Handle(), L"morvane-settings.png");
  PickTab(*window, 2);
  Shoot(window->Handle(), L"morvane-help.png");

  PickTab(*window, 0);
  {
    MessageDialog message(Morvane::kRegisteringMessage);
    ASSERT_TRUE(message.Show(*window));
    Shoot(window->Handle(), L"morvane-registering.png");
  }
  CloseMainWindow(window);
  DeleteFileW(SettingsPath().c_str());
}

}  // namespace
}  // namespace apptest
