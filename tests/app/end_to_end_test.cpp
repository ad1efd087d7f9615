// The real Morvane.exe, started as a user starts it: with a folder of images
// on the command line, then a second time with more paths while it runs, then
// closed with "終了" and started again on the settings it saved. Also the
// instance marker on its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pages/resource_ids.h"
#include "app/single_instance.h"
#include "base/path.h"
#include "settings/data_file.h"
#include "tests/app/window_support.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace apptest {
namespace {

std::wstring Quote(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

// A started Morvane.exe.
class Process {
 public:
  Process(const std::wstring& exe, const std::vector<std::wstring>& arguments) {
    std::wstring line = Quote(exe);
    for (const std::wstring& argument : arguments) {
      line += L" " + Quote(argument);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_) != FALSE;
  }
  ~Process() {
    if (started_) {
      if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
      }
      CloseHandle(info_.hThread);
      CloseHandle(info_.hProcess);
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return started_; }
  DWORD id() const { return info_.dwProcessId; }
  // The exit code, or nothing when it has not ended within `ms`.
  bool Wait(DWORD ms, DWORD& code) const {
    if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) {
      return false;
    }
    return GetExitCodeProcess(info_.hProcess, &code) != FALSE;
  }

  // The process's visible top-level dialog, or null.
  HWND MainWindow() const {
    struct Search {
      DWORD process;
      HWND found;
    } search{info_.dwProcessId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner == s->process && IsWindowVisible(window) &&
              GetDlgItem(window, IDC_CONVERT) != nullptr) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// A control of the running program, found by id among its window's pages.
HWND FindControl(HWND mainWindow, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  EnumChildWindows(
      mainWindow,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) == s->id && GetParent(child) != nullptr &&
            GetDlgItem(GetParent(child), IDC_OUTPUT_BROWSE) != nullptr) {
          s->found = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

testimg::Picture Expected(int width, int height, uint8_t alpha) {
  testimg::Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.at(x, y) = {static_cast<uint8_t>(x * 29), static_cast<uint8_t>(y * 41),
                          static_cast<uint8_t>((x + y) * 13), alpha};
    }
  }
  return picture;
}

std::string Check(const std::wstring& png, int width, int height, uint8_t alpha, int tolerance) {
  const testimg::DecodedPng decoded = testimg::DecodePng(testimg::ReadFileBytes(png));
  if (!decoded.ok) {
    return "does not decode";
  }
  return testimg::Difference(Expected(width, height, alpha), decoded.picture, tolerance);
}

TEST(InstanceMarker, SecondStartWaitsForTheFirstWindow) {
  InstanceMarker first;
  if (first.role() == InstanceMarker::Role::kSecond) {
    GTEST_SKIP() << "another Morvane is already running";
  }
  ASSERT_EQ(first.role(), InstanceMarker::Role::kFirst);
  EXPECT_EQ(first.Read(), nullptr);

  HWND window =
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  HWND found = nullptr;
  std::thread second([&found] {
    InstanceMarker marker;
    if (marker.role() == InstanceMarker::Role::kSecond) {
      found = marker.WaitForWindow(kHandOffWaitMs);
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  first.Publish(window);
  second.join();
  EXPECT_EQ(found, window);
  DestroyWindow(window);

  // A marker that never names a window gives up after the wait.
  first.Publish(nullptr);
  ASSERT_TRUE(first.TakeWriter());
  std::thread again([] {
    InstanceMarker marker;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(marker.WaitForWindow(200), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(marker.role(), InstanceMarker::Role::kSecond);
  });
  again.join();

  // Once the running instance gives the marker up, a waiting start takes its
  // place; it may write once the first is gone altogether.
  std::atomic<bool> waiting{false};
  std::thread next([&waiting] {
    InstanceMarker marker;
    waiting = true;
    ASSERT_EQ(marker.role(), InstanceMarker::Role::kSecond);
    EXPECT_EQ(marker.WaitForWindow(kHandOffWaitMs), nullptr);
    EXPECT_EQ(marker.role(), InstanceMarker::Role::kFirst);
    EXPECT_FALSE(marker.TakeWriter());
  });
  while (!waiting) {
    std::this_thread::yield();
  }
  first.ReleaseInstance();
  next.join();
}

TEST(EndToEnd, CommandLineSecondStartExitAndRestart) {
  {
    InstanceMarker probe;
    if (probe.role() != InstanceMarker::Role::kFirst) {
      GTEST_SKIP() << "another Morvane is already running";
    }
  }
  const std::wstring built =
      kiv::AddSeparator(kiv::RemoveFileSpec(kiv::GetModulePath())) + L"..\\bin\\Morvane.exe";
  ASSERT_TRUE(kiv::FileExists(built));
  testimg::TempDir place;
  const std::wstring exe = place / L"Morvane.exe";
  ASSERT_TRUE(CopyFileW(built.c_str(), exe.c_str(), FALSE));

  testimg::TempDir sources;
  const std::wstring photos = sources / L"写真";
  const std::wstring blossom = photos + L"\\\U0001F338 花";
  ASSERT_TRUE(CreateDirectoryW(photos.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(blossom.c_str(), nullptr));
  ASSERT_TRUE(WriteBmp(photos + L"\\夕焼け.bmp", 9, 5));
  ASSERT_TRUE(WritePng(photos + L"\\透過 画像.png", 6, 6));
  ASSERT_TRUE(WriteJpeg(blossom + L"\\桜.jpg", 16, 8));
  ASSERT_TRUE(WriteBmp(sources / L"二番目.bmp", 4, 3));

  Process first(exe, {photos});
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(WaitFor([&] { return first.MainWindow() != nullptr; }, std::chrono::seconds(30)));
  ASSERT_TRUE(WaitFor(
      [&] {
        return kiv::FileExists(photos + L"\\夕焼け.png") &&
               kiv::FileExists(photos + L"\\透過 画像.png") &&
               kiv::FileExists(blossom + L"\\桜.png");
      },
      std::chrono::seconds(60)));
  EXPECT_TRUE(WaitFor([&] { return Check(photos + L"\\夕焼け.png", 9, 5, 255, 0).empty(); },
                      std::chrono::seconds(10)))
      << Check(photos + L"\\夕焼け.png", 9, 5, 255, 0);
  EXPECT_EQ(Check(photos + L"\\透過 画像.png", 6, 6, 200, 0), "");
  EXPECT_TRUE(IsPngOfSize(blossom + L"\\桜.png", 16, 8));

  // A second start hands its path to the first and ends without a window.
  Process second(exe, {sources / L"二番目.bmp"});
  ASSERT_TRUE(second.started());
  DWORD code = 99;
  ASSERT_TRUE(second.Wait(30000, code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitFor([&] { return Check(sources / L"二番目.png", 4, 3, 255, 0).empty(); },
                      std::chrono::seconds(30)));

  // Change a setting, then "終了": the settings file is written.
  HWND window = first.MainWindow();
  ASSERT_NE(window, nullptr);
  HWND upper = FindControl(window, IDC_UPPER_EXTENSION);
  ASSERT_NE(upper, nullptr);
  SendMessageW(upper, BM_CLICK, 0, 0);
  ASSERT_EQ(SendMessageW(upper, BM_GETCHECK, 0, 0), BST_CHECKED);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_EXIT)));
  ASSERT_TRUE(first.Wait(30000, code));
  EXPECT_EQ(code, 0u);
  const std::wstring settings = place / L"Morvane.dat";
  EXPECT_EQ(kiv::ReadDataFileType(settings), 2);

  // The next start is a first instance again and reads what was saved.
  Process third(exe, {});
  ASSERT_TRUE(third.started());
  ASSERT_TRUE(WaitFor([&] { return third.MainWindow() != nullptr; }, std::chrono::seconds(30)));
  window = third.MainWindow();
  EXPECT_EQ(SendMessageW(FindControl(window, IDC_UPPER_EXTENSION), BM_GETCHECK, 0, 0), BST_CHECKED);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  ASSERT_TRUE(third.Wait(30000, code));
  EXPECT_EQ(code, 0u);
}

// "終了" during a run, and a start a moment later: the closing process
// finishes its files, and the new start opens a window of its own and
// converts its path instead of handing it to the window that is gone.
TEST(EndToEnd, StartRightAfterExitOpensItsOwnWindow) {
  {
    InstanceMarker probe;
    if (probe.role() != InstanceMarker::Role::kFirst) {
      GTEST_SKIP() << "another Morvane is already running";
    }
  }
  const std::wstring built =
      kiv::AddSeparator(kiv::RemoveFileSpec(kiv::GetModulePath())) + L"..\\bin\\Morvane.exe";
  testimg::TempDir place;
  const std::wstring exe = place / L"Morvane.exe";
  ASSERT_TRUE(CopyFileW(built.c_str(), exe.c_str(), FALSE));
  testimg::TempDir sources;
  const std::wstring run = sources / L"run";
  ASSERT_TRUE(CreateDirectoryW(run.c_str(), nullptr));
  constexpr int kLarge = 12;
  for (int i = 0; i < kLarge; ++i) {
    ASSERT_TRUE(WriteLargeBmp(run + L"\\" + std::to_wstring(i) + L".bmp", 1200));
  }
  ASSERT_TRUE(WriteBmp(sources / L"後から.bmp", 4, 3));

  Process first(exe, {run});
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(WaitFor([&] { return first.MainWindow() != nullptr; }, std::chrono::seconds(30)));
  HWND window = first.MainWindow();
  ASSERT_TRUE(
      WaitFor([&] { return GetWindowTextLengthW(window) > 7 || kiv::FileExists(run + L"\\0.png"); },
              std::chrono::seconds(60)));
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(window); }, std::chrono::seconds(30)));

  Process second(exe, {sources / L"後から.bmp"});
  ASSERT_TRUE(second.started());
  ASSERT_TRUE(WaitFor([&] { return second.MainWindow() != nullptr; }, std::chrono::seconds(30)));
  EXPECT_TRUE(WaitFor([&] { return Check(sources / L"後から.png", 4, 3, 255, 0).empty(); },
                      std::chrono::seconds(120)));

  DWORD code = 99;
  ASSERT_TRUE(first.Wait(120000, code));
  EXPECT_EQ(code, 0u);
  // The files it was converting are finished and whole.
  for (int i = 0; i < kLarge; ++i) {
    const std::wstring png = run + L"\\" + std::to_wstring(i) + L".png";
    EXPECT_TRUE(!kiv::FileExists(png) || IsPngOfSize(png, 1200, 1200)) << i;
  }
  PostMessageW(second.MainWindow(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  ASSERT_TRUE(second.Wait(30000, code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace apptest
