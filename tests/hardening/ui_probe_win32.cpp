// The Windows helper of bench/reliability: drives a running Morvane window from another process.
//
//   morvane_ui_probe drop SECONDS FOLDER
//       waits for the main window and drops every file directly in FOLDER on it at once (as the
//       block a second start hands over). Meanwhile a second thread asks the window for WM_NULL
//       every 20 ms (SendMessageTimeoutW) and measures how long each answer takes, until the run
//       has finished (its file list empty and its title back to "Morvane" after work was seen)
//       or SECONDS have passed. Prints "finished|timeout|not-taken worst_ms N samples N rows N
//       registering_ms N converting_ms N dropped N": the worst answer overall, while the files
//       were being registered (before the title first showed a count) and while they were
//       converted. Exit 0 when finished.
//   morvane_ui_probe close
//       closes the main window as the close box does and waits for it to go. Exit 0 when gone.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "app/startup/drop_block.h"
#include "base/file_finder.h"
#include "base/path.h"

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

// What the measuring thread saw.
struct Watch {
  HWND main = nullptr;
  std::atomic<ULONGLONG> deadline{0};  // lowered by the dropping thread when the drop failed
  bool finished = false;
  double worst = 0;
  double worstRegistering = 0;  // before the title first showed a count
  double worstConverting = 0;
  long samples = 0;
  LRESULT rows = -1;
};

// The measuring thread: asks the window for WM_NULL every 20 ms and times each answer, until
// the run has finished (work was seen, then the list is empty and the title is back to
// "Morvane"), the window is gone, or the deadline has passed.
DWORD WINAPI MeasureAnswers(void* parameter) {
  Watch& watch = *static_cast<Watch*>(parameter);
  HWND list = nullptr;
  bool converting = false;
  bool sawWork = false;
  while (GetTickCount64() < watch.deadline && IsWindow(watch.main)) {
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    DWORD_PTR ignored = 0;
    QueryPerformanceCounter(&before);
    SendMessageTimeoutW(watch.main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    QueryPerformanceCounter(&after);
    const double latency = Milliseconds(before, after);
    watch.worst = latency > watch.worst ? latency : watch.worst;
    double& phase = converting ? watch.worstConverting : watch.worstRegistering;
    phase = latency > phase ? latency : phase;
    ++watch.samples;

    if (list == nullptr) {
      list = FindListView(watch.main);
    }
    DWORD_PTR count = 0;
    if (list != nullptr &&
        SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &count) != 0) {
      watch.rows = static_cast<LRESULT>(count);
    }
    wchar_t title[64] = {};
    GetWindowTextW(watch.main, title, 64);
    const bool idleTitle = std::wcscmp(title, L"Morvane") == 0;
    converting = converting || !idleTitle;
    if (watch.rows > 0 || !idleTitle) {
      sawWork = true;
    } else if (sawWork && watch.rows == 0 && idleTitle) {
      watch.finished = true;
      return 0;
    }
    Sleep(20);
  }
  return 0;
}

// The files (not folders) directly in `folder`, as full paths.
std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> paths;
  const std::wstring base = kiv::AddSeparator(folder);
  kiv::FileFinder finder;
  for (std::wstring name = finder.First(base + L"*"); !name.empty(); name = finder.Next()) {
    if (!finder.IsDirectory()) {
      paths.push_back(base + name);
    }
  }
  return paths;
}

int Drop(int seconds, const std::wstring& folder) {
  Watch watch;
  watch.deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  watch.main = WaitForMainWindow(60000);
  if (watch.main == nullptr) {
    std::printf("no window\n");
    return 3;
  }
  const std::vector<std::wstring> paths = FilesIn(folder);
  const std::vector<std::uint8_t> block = morvane::PackDropBlock(paths);
  HANDLE thread = CreateThread(nullptr, 0, MeasureAnswers, &watch, 0, nullptr);
  if (thread == nullptr) {
    return 3;
  }
  // The files arrive as one drop, handed over as a second start hands over its paths; the window
  // turns them into WM_DROPFILES for its drop handler.
  const bool sent = !block.empty() && HandOff(watch.main, block);
  if (!sent) {
    watch.deadline = 0;  // nothing to wait for
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  std::printf(
      "%s worst_ms %.1f samples %ld rows %ld registering_ms %.1f converting_ms %.1f "
      "dropped %ld\n",
      !sent            ? "not-taken"
      : watch.finished ? "finished"
                       : "timeout",
      watch.worst, watch.samples, static_cast<long>(watch.rows), watch.worstRegistering,
      watch.worstConverting, static_cast<long>(paths.size()));
  return watch.finished ? 0 : 1;
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
  if (argc >= 4 && std::wcscmp(argv[1], L"drop") == 0) {
    return Drop(_wtoi(argv[2]), argv[3]);
  }
  if (argc >= 2 && std::wcscmp(argv[1], L"close") == 0) {
    return Close();
  }
  std::fprintf(stderr, "usage: morvane_ui_probe drop SECONDS FOLDER | close\n");
  return 2;
}
