// Helpers of the window benchmarks (bench/window): find the real Morvane
// window of a process and its controls, read them, and press keys and click
// as a user does. Not part of the program; built with the Windows build, run
// under Wine.
//
// Threads: any thread of the benchmark; the Send* calls wait at most their
// stated time for the Morvane window to answer.
#ifndef MORVANE_BENCH_WINDOW_DRIVER_H
#define MORVANE_BENCH_WINDOW_DRIVER_H

#include <windows.h>

#include <chrono>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d);

struct Found {
  DWORD process;
  HWND main = nullptr;
  HWND message = nullptr;
};

// The process's main window and its message box, when shown (visible).
Found FindWindows(DWORD process);
// A control `id` of one of the main window's pages, the page being the one
// that also holds `siblingId`; null when there is none.
HWND FindControl(HWND main, int id, int siblingId);
// The window's text, waiting at most 2 s for it.
std::wstring TextOf(HWND window);
// The list's row count, waiting at most 30 s; -1 when it did not answer.
int ItemCount(HWND list);

// Real input, as from the keyboard and the mouse: a key's press or release,
// and a left click at a screen point.
void Key(WORD key, bool up);
void ClickAt(int x, int y);

// The wall clock (not the steady one) in seconds since 1970, the scale of a
// file's modification time on the host.
double UnixNow();

void Print(const char* name, double value);

// Copies `source` (a Morvane.exe) into `workDir`, made if missing, with no
// settings file beside it, so that it starts with the defaults. Returns the
// copy's path, or an empty string when it could not be copied.
std::wstring FreshCopy(const std::wstring& source, const std::wstring& workDir);

}  // namespace bench

#endif  // MORVANE_BENCH_WINDOW_DRIVER_H
