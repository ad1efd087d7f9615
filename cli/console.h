// The console edge of morvane-cli: the command line as wide strings, text out,
// the progress line, Ctrl+C, and full paths.
//
// Called from the main thread only, except InterruptRequested, which any
// thread may call.
#pragma once

#include <string>
#include <vector>

namespace cli {

// The program's arguments after its own name, as wide strings (UTF-8 decoded on POSIX, the
// process's UTF-16 command line on Windows).
std::vector<std::wstring> Arguments(int argc, char** argv);

// Writes `text` and a line end to standard output (toError false) or standard error. A console
// gets the text as the console shows it; a pipe or file gets UTF-8.
void WriteLine(const std::wstring& text, bool toError = false);

// Writes `text` to standard error without a line end (for the progress line,
// which starts with a carriage return to overwrite itself).
void WriteRaw(const std::wstring& text);

// True when standard output (toError false) or standard error is a terminal.
bool IsTerminal(bool toError);

// From now on the first Ctrl+C (or termination request) only sets the flag
// InterruptRequested reports; a second one ends the process as usual.
void InstallInterruptHandler();
bool InterruptRequested();
// True once the user asked a second time (a second Ctrl+C).
bool InterruptInsisted();
// Ends the process with `status` at once, waiting for no thread.
[[noreturn]] void EndAtOnce(int status);

// Reads standard input to its end into `bytes`, unchanged. False when it
// cannot be read or holds more than `limit` bytes.
bool ReadStandardInput(std::string* bytes, size_t limit);

// `path` as a full path: a relative path is taken from the current folder.
std::wstring FullPath(const std::wstring& path);

}  // namespace cli
