// Conversions between the program's wide strings and the encodings it meets
// at its edges: UTF-8 for POSIX file-system calls and UTF-16LE code units
// for the settings file.
//
// std::wstring holds UTF-16 on Windows and UTF-32 on Linux. Every function
// here is pure, thread-safe and never throws (beyond std::bad_alloc).
#pragma once

#include <string>

namespace kiv {

// Wide string to UTF-8. On Windows a surrogate pair becomes one four-byte
// sequence. A lone surrogate code unit is encoded as its own three-byte
// sequence, so that a name decoded by Utf8ToWide (which maps undecodable
// bytes to U+DC80..U+DCFF) is encoded back to the very bytes it came from.
// Values above U+10FFFF (only possible on Linux) become U+FFFD.
std::string WideToUtf8(const std::wstring& text);

// UTF-8 to wide string. A byte that does not start a well-formed sequence
// (stray continuation, overlong form, truncated sequence, encoded surrogate,
// value above U+10FFFF) becomes the code point U+DC00 + byte, so any byte
// string survives WideToUtf8(Utf8ToWide(bytes)) unchanged on Linux. On
// Windows a code point above U+FFFF becomes a surrogate pair.
std::wstring Utf8ToWide(const std::string& bytes);

// Wide string to UTF-16 code units: a copy on Windows; on Linux each code
// point above U+FFFF becomes a surrogate pair, a lone surrogate stays one
// unit and a value above U+10FFFF becomes U+FFFD.
std::u16string WideToUtf16(const std::wstring& text);

// UTF-16 code units to a wide string: a copy on Windows; on Linux each
// well-formed surrogate pair becomes one code point and a lone surrogate
// stays as it is, so WideToUtf16(Utf16ToWide(units)) == units.
std::wstring Utf16ToWide(const std::u16string& units);

// Simple case folding for case-insensitive name comparison: maps the
// letters of ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the
// full-width Latin forms to their upper-case form; every other character is
// returned unchanged. Used for wildcard matching of file names.
wchar_t FoldCase(wchar_t c);

}  // namespace kiv
