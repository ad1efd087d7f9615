// Which process owns a file: a short text naming the current process, and a
// check whether the process such a text names still runs. The safe writer
// puts the owner into its temporaries' names so that a later run can remove
// what a killed one left without touching the files of a live one.
//
// An owner text is the platform's letter ("w" for Windows, "p" for POSIX;
// process numbers of the one mean nothing to the other, as for a program run
// under Wine beside a native one), the process number in decimal, "@" and
// the machine's token (MachineName), such as "p4711@render07.3f9a0c12d4e5".
// Machines that share a folder (a network share), and process namespaces
// that share a machine (containers, separate Wine prefixes), then tell their
// own writers' files from those of the others, whose processes they cannot
// see.
//
// Threads: any.
#pragma once

#include <string>

namespace kiv {

// The owner text of the current process, such as "p4711@render07.3f9a0c12d4e5".
std::wstring CurrentProcessOwner();

// This machine's and process namespace's token in owner texts:
// MachineToken(PlatformHostName(), PlatformMachineIdentity()).
std::wstring MachineName();

// A machine token: the host name as far as it reads in ASCII (lower case,
// every character but ASCII letters, digits and "." written as "_", at most
// 24 characters; "pc" when empty), then "." and 12 hexadecimal digits of a
// 64-bit FNV-1a hash of the whole host name and `identity`. Two machines (or
// namespaces) whose host names or identities differ get different tokens
// however their names read in ASCII. The token holds no "-" and no "@".
std::wstring MachineToken(const std::wstring& host, const std::wstring& identity);

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
// What tells this machine and its process namespace from others of the same
// host name: the machine's identifier (machine-id or boot id on POSIX, the
// MachineGuid on Windows, which a Wine prefix has of its own) and, on
// Linux, the process namespace; empty parts when the system will not tell.
std::wstring PlatformMachineIdentity();
// True when a process with this number may run; false only when it surely
// does not. REQUIRES: number is in 1..0x7FFFFFFF.
bool ProcessMayRun(unsigned long number);

}  // namespace kiv
