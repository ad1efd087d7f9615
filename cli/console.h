// The console edge of morvane-cli: the command line as wide strings and text lines out.
//
// Called from the main thread only.
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

}  // namespace cli
