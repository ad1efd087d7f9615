// Which process owns a file: a short text naming the current process, and a
// check whether the process such a text names still runs. The safe writer
// puts the owner into its temporaries' names so that a later run can remove
// what a killed one left without touching the files of a live one.
//
// An owner text is the platform's letter ("w" for Windows, "p" for POSIX;
// process numbers of the one mean nothing to the other, as for a program run
// under Wine beside a native one), the process number in decimal, "@" and
// the machine's name (MachineName), such as "p4711@render07". Machines that
// share a folder (a network share) then tell their own writers' files from
// those of the others, whose processes they cannot see.
//
// Threads: any.
#pragma once

#include <string>

namespace kiv {

// The owner text of the current process, such as "p4711@render07".
std::wstring CurrentProcessOwner();

// The machine's host name as owner texts carry it: lower case, with every
// character but ASCII letters, digits and "." written as "_", at most 63
// characters; "unknown" when the system will not tell.
std::wstring MachineName();

// True only when `owner` is a well-formed owner text of this platform and
// this machine, names a process other than the current one, and no process
// with that number runs. False whenever in doubt (another platform's letter,
// another machine, a malformed text or one without a machine, a number that
// cannot be checked), so that a caller removing files of gone owners keeps
// them instead.
bool IsOwnerGone(const std::wstring& owner);

// The platform parts (process_posix.cpp / process_win32.cpp).
wchar_t ProcessPlatformLetter();
unsigned long CurrentProcessNumber();
// The host name as the system gives it (empty when it will not tell).
std::wstring PlatformHostName();
// True when a process with this number may run; false only when it surely
// does not. REQUIRES: number is in 1..0x7FFFFFFF.
bool ProcessMayRun(unsigned long number);

}  // namespace kiv
