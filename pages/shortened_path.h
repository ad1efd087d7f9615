// A source path shortened to the width of its cell in the file list, so that
// its file name stays in view: the folders give way first, from their middle
// ("C:\photos\...\name.bmp", down to "...\name.bmp"), then the file name
// itself from its middle, keeping its beginning, its end and its extension
// ("...\とても長い…名前.bmp").
//
// Threads: any; the function only calls `fits`.
#ifndef MORVANE_PAGES_SHORTENED_PATH_H
#define MORVANE_PAGES_SHORTENED_PATH_H

#include <functional>
#include <string>

// Whether a text fits the cell; the wider a text's shown part, the sooner
// it does not (the answer must not turn back to true as characters are
// added).
using TextFits = std::function<bool(const std::wstring&)>;

// The longest text of the forms above that `fits` accepts: `path` itself
// when it fits; else the shortest form ("…" and the extension) even when
// that does not fit either.
std::wstring ShortenedPath(const std::wstring& path, const TextFits& fits);

#endif  // MORVANE_PAGES_SHORTENED_PATH_H
