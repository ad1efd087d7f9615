// Splitting Morvane's command line into the paths it names.
//
// Portable: no platform headers. Any thread may call these functions.
#ifndef MORVANE_APP_STARTUP_COMMAND_LINE_H
#define MORVANE_APP_STARTUP_COMMAND_LINE_H

#include <string>
#include <vector>

namespace morvane {

// Splits the command-line text that follows the program's name into paths, in
// order, duplicates kept.
//
// Only the space (U+0020) separates paths; tabs and other white space belong
// to a path. A path in double quotes may hold spaces; the quotes are removed
// and the text between them is taken as is, even when empty. A quoted path may
// be followed directly by another path. There are no escapes: backslashes are
// literal and a quote inside an unquoted word is part of it. An opening quote
// without a closing one ends the splitting: the rest of the text is dropped.
// A NUL character ends the text.
//
// Returns the paths; an empty list when the text names none.
std::vector<std::wstring> SplitCommandLine(const std::wstring& text);

}  // namespace morvane

#endif  // MORVANE_APP_STARTUP_COMMAND_LINE_H
