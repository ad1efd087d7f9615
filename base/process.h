// Which process owns a file: a short text naming the current process, and a
// check whether the process such a text names still runs. The safe writer
// puts the owner into its temporaries' names so that a later run can remove
// what a killed one left without touching the files of a live one.
//
// An owner text is the platform's letter ("w" for Windows, "p" for POSIX;
// process numbers of the one mean nothing to the other, as for a program run
// under Wine beside a native one) followed by the process number in decimal.
//
// Threads: any.
#pragma once

#include <string>

namespace kiv {

// The owner text of the current process, such as "p4711".
std::wstring CurrentProcessOwner();

// True only when `owner` is a well-formed owner text of this platform, names
// a process other than the current one, and no process with that number
// runs. False whenever in doubt (another platform's letter, a malformed
// text, a number that cannot be checked), so that a caller removing files of
// gone owners keeps them instead.
bool IsOwnerGone(const std::wstring& owner);

// The platform parts (process_posix.cpp / process_win32.cpp).
wchar_t ProcessPlatformLetter();
unsigned long CurrentProcessNumber();
// True when a process with this number may run; false only when it surely
// does not. REQUIRES: number is in 1..0x7FFFFFFF.
bool ProcessMayRun(unsigned long number);

}  // namespace kiv
