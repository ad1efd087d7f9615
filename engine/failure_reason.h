// Why a row failed, or what its PNG lacks of its source, in a few English words.
//
// The state texts of the list ("読込失敗", "書込失敗") are the window's; these words go beside
// them where a reader wants the cause: morvane-cli's terminal lines and its JSON "reason" and
// "warning" fields. They are plain lower-case phrases without a final stop, so that they can
// follow "書込失敗: " on a line.
//
// Threads: every function may be called from any thread; WriteFailureReason looks at the disk.
#pragma once

#include <string>

#include "base/file_error.h"
#include "image/bitmap.h"

// Why the overwrite rule refused a row, when no other row holds its name: the file is there in
// fail mode, or every numbered name is taken in rename mode.
inline constexpr wchar_t kReasonExists[] = L"exists (fail mode)";
inline constexpr wchar_t kReasonFolderIsFile[] = L"output folder is a file";
inline constexpr wchar_t kReasonNumbersTaken[] = L"every numbered name taken";
// Force mode while sources are deleted: a file that is not the row's own
// source stands at the output; it may be the only copy of another picture.
inline constexpr wchar_t kReasonExistsWhileDeleting[] = L"exists, and sources are being deleted";

// Why a written PNG was not let take its place: read back from the disk, it was not what was
// encoded.
inline constexpr wchar_t kReasonReadBackDiffers[] =
    L"the PNG read back from the disk differs from what was written";
// Why a source stays although sources are deleted: the list reaches that file by two names.
inline constexpr wchar_t kNoteReachedTwice[] = L"source kept: also reached by another name";

// Why a PNG converted in place was left as it was: the new file would have been larger.
inline constexpr wchar_t kNoteAlreadySmaller[] = L"left as it was: already smaller";

// Why a load failed: "vanished", "permission denied", "unreadable: ...", what a file of no
// image kind read here is ("an empty file", "a text file", ...), "corrupt: <the decoder's
// words>", "too large".
// REQUIRES: notes.failure != kNone.
std::wstring ReadFailureReason(const BitmapLoadNotes& notes);

// Why writing the PNG at `target` failed with `error`: "permission denied", "disk full",
// "output folder is a file", "output folder does not exist", ...
std::wstring WriteFailureReason(kiv::FileError error, const std::wstring& target);

// Why a PNG could not be written at `target`, told without writing: "output folder is a file"
// when the nearest existing folder on its path is a file, "permission denied" when no file may be
// added there; empty when nothing stands in the way that the disk shows now (the missing folders
// are made by the run).
std::wstring OutputFolderProblem(const std::wstring& target);

// What a loaded image lacks of its file: "16-bit samples rounded to 8 bits", "page 1 of 3",
// "first frame of 12", "truncated: 20,000 of 67,854 bytes", those that apply joined by "; ", or
// empty.
std::wstring LoadWarning(const BitmapLoadNotes& notes);

// `value` with a comma between each group of three digits: 67854 -> "67,854".
std::wstring GroupedNumber(uint64_t value);

// What "the output is taken in this run by <source>" begins with.
inline constexpr wchar_t kReasonTakenInRun[] = L"the output is taken in this run by ";

// `reason` (a failure above, a refusal, kiv::FileErrorText, or a LoadWarning, "; "-joined parts
// included) in Japanese, for the window's row tips: every phrase this module makes has its line
// in one table. `writing` tells a write failure's "permission denied" (the output folder's) from
// a read failure's (the source's). The decoders' own words after "corrupt: " and a path after
// "taken in this run by" are kept as they are; a phrase the table does not know is returned
// unchanged, so that nothing is hidden.
std::wstring JapaneseReason(const std::wstring& reason, bool writing);
