// kiv::ExactNamePath: a spelling of a path under which the system looks its
// last name up exactly as written.
//
// Windows looks a name up in any letter case, and NTFS answers from an
// index. Wine, which runs the Windows build on Linux, has no such index: to
// make a name that is not there yet it first reads the whole folder, to be
// sure the name is not there in another letter case. A file moved into a
// folder of twenty thousand names cost about 10 ms so, and a folder of
// thousands of outputs the square of its size. Wine's host namespace
// ("\\?\unix\" and the host's own path) looks a name up as spelled: a new
// name costs one look however large its folder.
//
// Hand such a path only to a step that makes a name the caller knows to be
// free in every letter case (FolderListing::SurelyAbsent): there the exact
// look finds what the folder search would have found.
//
// Threads: any.
#pragma once

#include <string>

namespace kiv {

// `path` ("folder\name") in Wine's host namespace, its folder spelled as the
// host spells it and its name as given. Empty on Windows, and when the
// folder has no such spelling (not under Wine, a host name that is not
// UTF-8, a path of no folder).
std::wstring ExactNamePath(const std::wstring& path);

}  // namespace kiv
