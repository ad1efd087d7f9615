// Helpers of the window benchmarks: see window_driver.h.
#include "bench/window_driver.h"

#include <commctrl.h>

#include <cstdio>

#include "pages/resource_ids.h"

namespace bench {

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

Found FindWindows(DWORD process) {
  Found found{process};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* f = reinterpret_cast<Found*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != f->process || !IsWindowVisible(window)) {
          return TRUE;
        }
        if (GetDlgItem(window, IDC_CONVERT) != nullptr) {
          f->main = window;
        } else if (GetDlgItem(window, IDC_MESSAGE_TEXT) != nullptr) {
          f->message = window;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND FindControl(HWND main, int id, int siblingId) {
  struct Search {
    int id;
    int sibling;
    HWND found;
  } search{id, siblingId, nullptr};
  EnumChildWindows(
      main,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) == s->id && GetParent(child) != nullptr &&
            GetDlgItem(GetParent(child), s->sibling) != nullptr) {
          s->found = child;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000,
                      &ignored);
  return text;
}

int ItemCount(HWND list) {
  DWORD_PTR count = 0;
  if (SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 30000, &count) == 0) {
    return -1;
  }
  return static_cast<int>(count);
}

void Key(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

void ClickAt(int x, int y) {
  // The move is part of the same input as the press: a pointer moved apart
  // (SetCursorPos) may reach the display after the press, which then lands
  // where the pointer was.
  SetCursorPos(x, y);
  INPUT input[3] = {};
  for (INPUT& one : input) {
    one.type = INPUT_MOUSE;
  }
  const int width = GetSystemMetrics(SM_CXSCREEN) - 1;
  const int height = GetSystemMetrics(SM_CYSCREEN) - 1;
  input[0].mi.dx = width > 0 ? MulDiv(x, 65535, width) : 0;
  input[0].mi.dy = height > 0 ? MulDiv(y, 65535, height) : 0;
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(3, input, sizeof input[0]);
}

void Print(const char* name, double value) {
  std::printf("%s %.3f\n", name, value);
  std::fflush(stdout);
}

double UnixNow() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // 100-nanosecond ticks since 1601; 1970 is 11,644,473,600 s later.
  return static_cast<double>(ticks) / 1e7 - 11644473600.0;
}

std::wstring FreshCopy(const std::wstring& source, const std::wstring& workDir) {
  const std::wstring exe = workDir + L"\\Morvane.exe";
  CreateDirectoryW(workDir.c_str(), nullptr);
  DeleteFileW((workDir + L"\\Morvane.dat").c_str());
  if (!CopyFileW(source.c_str(), exe.c_str(), FALSE)) {
    std::fprintf(stderr, "cannot copy Morvane.exe\n");
    return std::wstring();
  }
  return exe;
}

}  // namespace bench
