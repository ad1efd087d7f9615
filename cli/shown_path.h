// Paths as morvane-cli takes them in and shows them.
//
// TidyPath is applied to every path a user names, so that "photos//a.jpg" and "out/./a.png"
// reach the same rows, outputs and filter matches as "photos/a.jpg" and "out/a.png".
// QuotedPath is applied to every path the terminal shows (not to JSON, which has its own
// quoting), so that a name with spaces or control characters cannot be misread or garble the
// terminal.
//
// Threads: pure functions, any thread.
#pragma once

#include <string>

namespace cli {

// `path` with each run of separators made one (a backslash on Windows, where "/" is one too)
// and every "." component removed; ".." is kept
// (on POSIX a link may make it mean something else than the folder before it). A leading pair
// of separators (a network path on Windows) stays; a path that is only "." stays.
std::wstring TidyPath(const std::wstring& path);

// `path` in double quotes when it holds a space, a quote or a control character, with a quote
// written \" and a control character \xHH; as it is otherwise.
std::wstring QuotedPath(const std::wstring& path);

}  // namespace cli
