// Helper of bench/window: drives the real Morvane window as a user would and
// prints what it measured, one "name value" line each.
//
//   morvane_window_bench MORVANE.EXE WORKDIR SMALL_FOLDER SMALL_COUNT LARGE_FOLDER LARGE_COUNT
//
// Copies Morvane.exe into WORKDIR (its settings file starts fresh there),
// starts it, switches the automatic conversion off in the settings page, then
//   - hands SMALL_FOLDER over as a second start does and times its
//     registration until the list holds SMALL_COUNT rows and the message box
//     is gone, noting the texts the message box showed, the longest time it
//     showed one count while rows were arriving, and the longest time the
//     window took to answer a message;
//   - clicks the list, presses Ctrl+A and Delete, and times the removal;
//   - hands LARGE_FOLDER over and, while it registers, times further
//     hand-offs of one path each (the longest is printed), then waits for
//     the registration to end;
//   - closes the window with 終了.
// Not part of the program; built with the Windows build, run under Wine.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/single_instance.h"
#include "app/startup/drop_block.h"
#include "bench/window_driver.h"
#include "pages/resource_ids.h"

namespace {

using bench::ClickAt;
using bench::Clock;
using bench::FindControl;
using bench::FindWindows;
using bench::Found;
using bench::ItemCount;
using bench::Key;
using bench::Print;
using bench::Seconds;
using bench::TextOf;

// Hands `path` to the window as a second start does; returns the seconds the
// window took to take it, or a negative number when it did not.
double HandOff(HWND main, const std::wstring& path) {
  std::vector<std::uint8_t> block = morvane::PackDropBlock({path});
  COPYDATASTRUCT data{};
  data.dwData = kHandOffTag;
  data.cbData = static_cast<DWORD>(block.size());
  data.lpData = block.data();
  DWORD_PTR taken = 0;
  const auto start = Clock::now();
  const LRESULT sent = SendMessageTimeoutW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                           SMTO_NORMAL, 30000, &taken);
  const double seconds = Seconds(Clock::now() - start);
  return sent != 0 && taken != 0 ? seconds : -1.0;
}

// Waits until the list holds `count` rows and no message box is shown.
// Returns the seconds from `start`; notes the message box's texts, the
// longest time one count stood while rows were still arriving, and the
// longest time the window took to answer.
struct Registration {
  double seconds = -1;
  int texts = 0;
  double longestText = 0;
  double longestAnswer = 0;
  std::wstring lastText;
};

Registration WaitForRegistration(DWORD process, HWND list, int count, Clock::time_point start,
                                 double limitSeconds) {
  Registration result;
  std::wstring shown;
  Clock::time_point shownSince = start;
  int rowsAtShown = 0;
  int rowsBefore = 0;  // at the poll before this one
  for (;;) {
    const Found windows = FindWindows(process);
    const bool open = windows.message != nullptr;
    // The text before the rows: a count that changes between the two reads is then never paired
    // with the rows from before it, which would look like rows the count had not caught up with.
    const std::wstring text = open ? TextOf(GetDlgItem(windows.message, IDC_MESSAGE_TEXT)) : L"";
    const Clock::time_point asked = Clock::now();
    const int rows = ItemCount(list);
    const Clock::time_point now = Clock::now();
    result.longestAnswer = std::max(result.longestAnswer, Seconds(now - asked));
    if (!open || (!text.empty() && text != shown)) {
      // The count shown until now stood while the list grew: it was behind.
      // (Rows that came with this change, as a next registration's, do not
      // count.)
      if (!shown.empty() && rowsBefore > rowsAtShown) {
        result.longestText = std::max(result.longestText, Seconds(now - shownSince));
      }
      shown = text;
      shownSince = now;
      rowsAtShown = rows;
      if (open) {
        ++result.texts;
        result.lastText = text;
      }
    }
    rowsBefore = rows;
    if (!open && rows >= count) {
      result.seconds = Seconds(now - start);
      return result;
    }
    if (Seconds(now - start) > limitSeconds) {
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: morvane_window_bench MORVANE.EXE WORKDIR SMALL_FOLDER SMALL_COUNT "
                 "LARGE_FOLDER LARGE_COUNT\n");
    return 2;
  }
  const std::wstring exe = bench::FreshCopy(argv[1], argv[2]);
  if (exe.empty()) {
    return 1;
  }
  const std::wstring smallFolder = argv[3];
  const int smallCount = _wtoi(argv[4]);
  const std::wstring largeFolder = argv[5];
  const int largeCount = _wtoi(argv[6]);

  std::wstring line = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fprintf(stderr, "cannot start Morvane.exe\n");
    return 1;
  }
  HWND main = nullptr;
  for (int i = 0; i < 600 && main == nullptr; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    main = FindWindows(info.dwProcessId).main;
  }
  HWND autoStart = main ? FindControl(main, IDC_AUTO_START_CONVERT, IDC_OUTPUT_BROWSE) : nullptr;
  HWND list = main ? FindControl(main, IDC_FILE_LIST, IDC_DROP_HINT) : nullptr;
  if (autoStart == nullptr || list == nullptr) {
    std::fprintf(stderr, "Morvane's window did not appear\n");
    TerminateProcess(info.hProcess, 1);
    return 1;
  }
  if (SendMessageW(autoStart, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    SendMessageW(autoStart, BM_CLICK, 0, 0);
  }

  // A folder of many small files.
  auto start = Clock::now();
  if (HandOff(main, smallFolder) < 0) {
    std::fprintf(stderr, "the window did not take the folder\n");
  }
  Registration small = WaitForRegistration(info.dwProcessId, list, smallCount, start, 900);
  Print("register_seconds", small.seconds);
  Print("register_rows", ItemCount(list));
  Print("message_texts", small.texts);
  Print("message_longest_seconds", small.longestText);
  Print("answer_longest_seconds", small.longestAnswer);
  char last[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, small.lastText.c_str(), -1, last, sizeof last - 1, nullptr,
                      nullptr);
  std::printf("message_last %s\n", last);
  std::fflush(stdout);

  // Ctrl+A and Delete in the list, as the user presses them.
  SetForegroundWindow(main);
  RECT rect{};
  GetWindowRect(list, &rect);
  ClickAt(rect.left + 40, rect.top + 30);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Key(VK_CONTROL, false);
  Key('A', false);
  Key('A', true);
  Key(VK_CONTROL, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ItemCount(list);  // the selection is made once the window answers
  start = Clock::now();
  Key(VK_DELETE, false);
  Key(VK_DELETE, true);
  double removal = -1;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ItemCount(list) == 0) {
      removal = Seconds(Clock::now() - start);
      break;
    }
    if (Seconds(Clock::now() - start) > 900) {
      break;
    }
  }
  Print("remove_seconds", removal);

  // A very large folder; hand-offs meanwhile.
  start = Clock::now();
  HandOff(main, largeFolder);
  double longestHandOff = 0;
  int probes = 0;
  while (probes < 8) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    if (FindWindows(info.dwProcessId).message == nullptr) {
      break;  // registration already over
    }
    const double taken = HandOff(main, smallFolder + L"\\0.bmp");
    longestHandOff = std::max(longestHandOff, taken < 0 ? 99.0 : taken);
    ++probes;
  }
  Print("handoff_probes", probes);
  Print("handoff_longest_seconds", longestHandOff);
  Registration large =
      WaitForRegistration(info.dwProcessId, list, largeCount + probes, start, 1800);
  Print("large_register_seconds", large.seconds);
  Print("large_message_longest_seconds", large.longestText);
  Print("large_answer_longest_seconds", large.longestAnswer);
  std::fflush(stdout);

  PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
  if (WaitForSingleObject(info.hProcess, 120000) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return 0;
}
