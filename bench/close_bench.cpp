// Helper of bench/window --close: closes the real Morvane window while it
// registers or converts a folder, as a user does, and times the process's end.
//
//   morvane_close_bench MORVANE.EXE WORKDIR FOLDER WAY WHEN
//
// Copies Morvane.exe into WORKDIR (its settings file starts fresh there, so
// it converts what it is handed) and starts it with FOLDER on its command
// line. WHEN is "registering" (close half a second after the message box of
// the registration first shows) or "running" (close a second after the first
// PNG appears in FOLDER). WAY is how: "escape" (the Escape key), "exit" (a
// click on 終了) or "box" (a click on the close box). Prints, one
// "name value" line each:
//   close_after_seconds   from the start to the close
//   registered_seconds    from the start to the message box's going (-1: not seen)
//   first_png_seconds     from the start to the first PNG (-1: none before the close)
//   close_registering     1 when the message box was still shown at the close
//   close_unix            the wall time of the close, in seconds since 1970
//   end_seconds           from the close to the process's end (-1: not within 120 s)
// bench/window reads the PNGs' modification times against close_unix.
// Not part of the program; built with the Windows build, run under Wine.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/window_driver.h"
#include "pages/resource_ids.h"

namespace {

using bench::Clock;
using bench::Seconds;

bool AnyPng(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"\\*.png").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return false;
  }
  FindClose(search);
  return true;
}

// The point of the main window's close box: the hit test finds it along the
// caption, from the right.
bool CloseBoxPoint(HWND main, POINT& point) {
  RECT frame{};
  GetWindowRect(main, &frame);
  const int captionMiddle = GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
  for (int x = frame.right - 2; x > frame.right - 80; --x) {
    DWORD_PTR hit = 0;
    if (SendMessageTimeoutW(main, WM_NCHITTEST, 0, MAKELPARAM(x, frame.top + captionMiddle),
                            SMTO_NORMAL, 5000, &hit) != 0 &&
        hit == HTCLOSE) {
      point = POINT{x - 4, static_cast<LONG>(frame.top + captionMiddle)};
      return true;
    }
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) {
    std::fprintf(stderr,
                 "usage: morvane_close_bench MORVANE.EXE WORKDIR FOLDER escape|exit|box "
                 "registering|running\n");
    return 2;
  }
  const std::wstring exe = bench::FreshCopy(argv[1], argv[2]);
  const std::wstring folder = argv[3];
  const std::wstring way = argv[4];
  const bool whileRegistering = std::wstring(argv[5]) == L"registering";
  if (exe.empty()) {
    return 1;
  }
  std::wstring line = L"\"" + exe + L"\" \"" + folder + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const auto start = Clock::now();
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fprintf(stderr, "cannot start Morvane.exe\n");
    return 1;
  }
  HWND main = nullptr;
  for (int i = 0; i < 600 && main == nullptr; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    main = bench::FindWindows(info.dwProcessId).main;
  }
  POINT closeBox{};
  if (main == nullptr || (way == L"box" && !CloseBoxPoint(main, closeBox))) {
    std::fprintf(stderr, "Morvane's window or its close box did not appear\n");
    TerminateProcess(info.hProcess, 1);
    return 1;
  }
  RECT exitRect{};
  GetWindowRect(GetDlgItem(main, IDC_EXIT), &exitRect);

  // Wait for the moment to close: the message box's first showing, or the
  // first PNG.
  Clock::time_point seen{};
  bool boxShown = false;
  double registered = -1;
  double firstPng = -1;
  for (;;) {
    const bool box = bench::FindWindows(info.dwProcessId).message != nullptr;
    boxShown = boxShown || box;
    if (boxShown && !box && registered < 0) {
      registered = Seconds(Clock::now() - start);
    }
    if (firstPng < 0 && AnyPng(folder)) {
      firstPng = Seconds(Clock::now() - start);
    }
    const bool ready =
        whileRegistering ? bench::FindWindows(info.dwProcessId).message != nullptr : AnyPng(folder);
    if (ready && seen == Clock::time_point{}) {
      seen = Clock::now();
    }
    if (seen != Clock::time_point{} &&
        Clock::now() - seen >= std::chrono::milliseconds(whileRegistering ? 500 : 1000)) {
      break;
    }
    if (Clock::now() - start > std::chrono::seconds(300) ||
        WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
      std::fprintf(stderr, "the moment to close never came\n");
      TerminateProcess(info.hProcess, 1);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  SetForegroundWindow(main);
  const bool registering = bench::FindWindows(info.dwProcessId).message != nullptr;
  const double closeUnix = bench::UnixNow();
  const auto closed = Clock::now();
  if (way == L"escape") {
    bench::Key(VK_ESCAPE, false);
    bench::Key(VK_ESCAPE, true);
  } else if (way == L"exit") {
    bench::ClickAt((exitRect.left + exitRect.right) / 2, (exitRect.top + exitRect.bottom) / 2);
  } else {
    bench::ClickAt(closeBox.x, closeBox.y);
  }
  const bool ended = WaitForSingleObject(info.hProcess, 120000) == WAIT_OBJECT_0;
  const double endSeconds = ended ? Seconds(Clock::now() - closed) : -1.0;
  bench::Print("close_after_seconds", Seconds(closed - start));
  bench::Print("close_registering", registering ? 1 : 0);
  bench::Print("registered_seconds", registered);
  bench::Print("first_png_seconds", firstPng);
  std::printf("close_unix %.3f\n", closeUnix);
  bench::Print("end_seconds", endSeconds);
  if (!ended) {
    TerminateProcess(info.hProcess, 1);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 0;
}
