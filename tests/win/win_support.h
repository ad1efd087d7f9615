// Helpers for the framework tests that drive real windows in process.
//
// Threads: the test's thread, which owns the windows it creates.
#ifndef TESTS_WIN_WIN_SUPPORT_H_
#define TESTS_WIN_WIN_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tests/win/pumping.h"  // PumpUntil, PumpFor

namespace kiv_test {

// Holds the Ctrl key down in this thread's keyboard state (SetKeyboardState)
// for the life of the object.
class CtrlHeld {
 public:
  CtrlHeld();
  ~CtrlHeld();
  CtrlHeld(const CtrlHeld&) = delete;
  CtrlHeld& operator=(const CtrlHeld&) = delete;

 private:
  BYTE saved_[256];
};

// A dropped-files block (DROPFILES with wide paths) as the shell makes it.
HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths);

// A fresh empty folder under the system's temporary folder; ends with no
// separator.
std::wstring MakeTempFolder(const std::wstring& name);
// Writes `text` into the file `path` (ANSI bytes); returns success.
bool WriteTextFile(const std::wstring& path, const std::string& text);

// Text of item `item`, column `column` of a list view, read from the control.
std::wstring ControlItemText(HWND list, int item, int column);

}  // namespace kiv_test

#endif  // TESTS_WIN_WIN_SUPPORT_H_
