// Helpers for the tests that drive the real Morvane main window in process:
// message pumping, a main window whose dialogs answer from the test, source
// images on disk, and reading the list and the controls back from the
// windows themselves.
//
// Threads: the test's thread, which owns the windows; the main window's
// option reads and list may also be reached from the engine's threads.
#ifndef MORVANE_TESTS_APP_WINDOW_SUPPORT_H
#define MORVANE_TESTS_APP_WINDOW_SUPPORT_H

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/win/pumping.h"

namespace apptest {

using kiv_test::PumpFor;
using kiv_test::PumpUntil;
// Removes a quit message the main window posted when it was destroyed.
void DropQuitMessage();

// The main window with the open-file dialog and the folder browser answered
// by the test, and every title and button text the engine sets recorded.
class TestMorvane : public Morvane {
 public:
  // What the next ChooseSourceFiles / ChooseSourceFolder returns; an empty
  // answer stands for the user cancelling.
  std::vector<std::wstring> nextFiles;
  std::wstring nextFolder;
  // What the dialogs were asked with.
  std::wstring lastFilter;
  int fileDialogRuns = 0;
  int folderDialogRuns = 0;
  // Runs while the open-file dialog would be shown, when set.
  std::function<void()> whileChoosingFiles;
  // Gives the taskbar button when the shell reports it; none when unset.
  std::function<std::unique_ptr<TaskbarButton>()> makeTaskbarButton;

  void SetTitle(const std::wstring& title) override;
  void SetConvertButtonText(const std::wstring& text) override;
  std::vector<std::wstring> Titles();
  std::vector<std::wstring> ButtonTexts();

 protected:
  bool ChooseSourceFiles(const std::wstring& filter, std::vector<std::wstring>& chosen) override;
  bool ChooseSourceFolder(std::wstring& chosen) override;
  std::unique_ptr<TaskbarButton> MakeTaskbarButton() override;

 private:
  std::mutex mutex_;
  std::vector<std::wstring> titles_;
  std::vector<std::wstring> buttonTexts_;
};

// The settings file the main window of this test program reads and writes.
std::wstring SettingsPath();

// Creates the main window (removing the settings file first when `fresh`).
// Returns null when it could not be created.
std::unique_ptr<TestMorvane> OpenMainWindow(bool fresh = true);
// Destroys the window as the exit button does, then the object, and drops
// the quit message.
void CloseMainWindow(std::unique_ptr<TestMorvane>& window);

// The rows of the file list, read from the list control: column 0 and 1.
struct Row {
  std::wstring path;
  std::wstring state;
};
std::vector<Row> ListRows(const Morvane& window);
std::vector<std::wstring> ListPaths(const Morvane& window);

// Waits (pumping) until no run is active; false on timeout.
bool WaitUntilIdle(Morvane& window, std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Settings page controls by id.
HWND OptionControl(const Morvane& window, int id);
void SetCheck(const Morvane& window, int id, bool on);  // as a click would
bool IsChecked(const Morvane& window, int id);
void SetEditText(const Morvane& window, int id, const std::wstring& text);
std::wstring WindowText(HWND window);
// Presses a button of the main window as a click does.
void Press(const Morvane& window, int id);

// Sends WM_DROPFILES with these paths to the window, as the shell does.
void Drop(const Morvane& window, const std::vector<std::wstring>& paths);

// Small source images on disk.
bool WriteBmp(const std::wstring& path, int width = 8, int height = 6);
bool WritePng(const std::wstring& path, int width = 8, int height = 6);
bool WriteJpeg(const std::wstring& path, int width = 8, int height = 6);
// A larger BMP that takes a noticeable while to convert at level 9.
bool WriteLargeBmp(const std::wstring& path, int side);
// True when `path` is a PNG of the given size that decodes.
bool IsPngOfSize(const std::wstring& path, int width, int height);

// Saves what the screen shows of `window` (and what lies over it) as a PNG.
bool SaveScreenshot(HWND window, const std::wstring& path);
// The folder the screenshots are saved in (created on first use).
std::wstring ScreenshotFolder();

}  // namespace apptest

#endif  // MORVANE_TESTS_APP_WINDOW_SUPPORT_H
