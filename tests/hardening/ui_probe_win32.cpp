// The Windows helper of bench/reliability: watches a running Morvane window from another process.
//
//   morvane_ui_probe watch SECONDS
//       waits for the main window, then asks it for WM_NULL every 20 ms (SendMessageTimeoutW) and
//       measures how long each answer takes, until the run it shows has finished (its file list
//       empty and its title back to "Morvane" after work was seen) or SECONDS have passed.
//       Prints "finished|timeout worst_ms N samples N rows N registering_ms N converting_ms N": the
//       worst answer overall, while the files were being registered (before the title first
//       showed a count) and while they were converted. Exit 0 when finished.
//   morvane_ui_probe close
//       closes the main window as the close box does and waits for it to go. Exit 0 when gone.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND FindMainWindow() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (std::wcsncmp(title, L"Morvane", 7) == 0 && IsWindowVisible(window)) {
          reinterpret_cast<Search*>(data)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindListView(HWND main) {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumChildWindows(
      main,
      [](HWND window, LPARAM data) -> BOOL {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        if (std::wcscmp(name, WC_LISTVIEWW) == 0) {
          reinterpret_cast<Search*>(data)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

HWND WaitForMainWindow(DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  HWND main = nullptr;
  while ((main = FindMainWindow()) == nullptr && GetTickCount64() < deadline) {
    Sleep(50);
  }
  return main;
}

int Watch(int seconds) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  HWND main = WaitForMainWindow(60000);
  if (main == nullptr) {
    std::printf("no window\n");
    return 3;
  }
  HWND list = nullptr;
  double worst = 0;
  double worstRegistering = 0;
  double worstConverting = 0;
  bool converting = false;
  long samples = 0;
  bool sawWork = false;
  LRESULT rows = -1;
  while (GetTickCount64() < deadline) {
    if (!IsWindow(main)) {
      std::printf("window gone worst_ms %.1f samples %ld rows %ld\n", worst, samples,
                  static_cast<long>(rows));
      return 3;
    }
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    DWORD_PTR ignored = 0;
    QueryPerformanceCounter(&before);
    SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    QueryPerformanceCounter(&after);
    const double latency = Milliseconds(before, after);
    worst = latency > worst ? latency : worst;
    double& phase = converting ? worstConverting : worstRegistering;
    phase = latency > phase ? latency : phase;
    ++samples;

    if (list == nullptr) {
      list = FindListView(main);
    }
    DWORD_PTR count = 0;
    if (list != nullptr &&
        SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &count) != 0) {
      rows = static_cast<LRESULT>(count);
    }
    wchar_t title[64] = {};
    GetWindowTextW(main, title, 64);
    const bool idleTitle = std::wcscmp(title, L"Morvane") == 0;
    converting = converting || !idleTitle;
    if (rows > 0 || !idleTitle) {
      sawWork = true;
    } else if (sawWork && rows == 0 && idleTitle) {
      std::printf(
          "finished worst_ms %.1f samples %ld rows 0 registering_ms %.1f converting_ms %.1f\n",
          worst, samples, worstRegistering, worstConverting);
      return 0;
    }
    Sleep(20);
  }
  std::printf("timeout worst_ms %.1f samples %ld rows %ld registering_ms %.1f converting_ms %.1f\n",
              worst, samples, static_cast<long>(rows), worstRegistering, worstConverting);
  return 1;
}

int Close() {
  HWND main = WaitForMainWindow(10000);
  if (main == nullptr) {
    return 3;
  }
  PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while (IsWindow(main) && GetTickCount64() < deadline) {
    Sleep(50);
  }
  return IsWindow(main) ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"watch") == 0) {
    return Watch(_wtoi(argv[2]));
  }
  if (argc >= 2 && std::wcscmp(argv[1], L"close") == 0) {
    return Close();
  }
  std::fprintf(stderr, "usage: morvane_ui_probe watch SECONDS | close\n");
  return 2;
}
