// Deleting a converted source file.
//
// Threads: any.
#pragma once

#include <string>

// Clears the file's read-only attribute (where the platform has one) and
// deletes it. Returns true when the file is gone.
bool RemoveSourceFile(const std::wstring& path);

// True when the source may be deleted after a successful conversion: the
// file written exists and neither it nor the registered output path names
// the source itself (compared as the platform compares names). A source
// converted onto itself is never deleted.
bool MayRemoveSource(const std::wstring& source, const std::wstring& outputPath,
                     const std::wstring& writtenPath);
