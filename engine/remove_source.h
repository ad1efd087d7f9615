// Deleting a converted source file.
//
// Threads: any.
#pragma once

#include <string>

#include "base/file_identity.h"

// Deletes the source at `path` when it is still the file `loaded` describes
// (identity, size and modification time) at the moment of the deletion: on
// Windows the check and the deletion go through one handle that no other
// program may open meanwhile, so a file saved onto the source after the
// check is never deleted. A read-only source loses its read-only attribute
// only through that handle, and gets it back when the deletion then fails.
// Returns true when the file is gone.
bool RemoveSourceFile(const std::wstring& path, const kiv::FileStamp& loaded);

// True when the source may be deleted after a successful conversion: the
// file written exists and is another file than the source by identity (not
// only by spelling: "photos/./a.png", "C:/in" and "A.PNG" may all reach the
// source), neither path names the source by spelling either, and the source
// is still the file that was read: `loaded` (its stamp taken before reading)
// matches its identity, size and modification time now. The PNG must also
// still be the file this conversion wrote: `written` (its stamp taken right
// after writing) matches it now, so a PNG that another program (a second
// morvane-cli on the same folder) replaced meanwhile keeps its source. A
// source converted onto itself, or changed meanwhile, is never deleted.
bool MayRemoveSource(const std::wstring& source, const kiv::FileStamp& loaded,
                     const std::wstring& outputPath, const std::wstring& writtenPath,
                     const kiv::FileStamp& written);
