#include "pages/shortened_path.h"

#include <cstddef>

namespace {

constexpr wchar_t kFolderEllipsis[] = L"...\\";
constexpr wchar_t kNameEllipsis[] = L"…";

// The greatest count in 0..most for which `fits(make(count))` holds, found by
// halving (the answers turn from true to false once as the count grows);
// -1 when not even 0 fits.
template <typename Make>
long Greatest(std::size_t most, const Make& make, const TextFits& fits) {
  long low = -1;                            // the greatest count known to fit
  auto high = static_cast<long>(most) + 1;  // the least known not to
  while (high - low > 1) {
    const long middle = low + (high - low) / 2;
    if (fits(make(static_cast<std::size_t>(middle)))) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return low;
}

}  // namespace

std::wstring ShortenedPath(const std::wstring& path, const TextFits& fits) {
  if (fits(path)) {
    return path;
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t nameAt = slash == std::wstring::npos ? 0 : slash + 1;
  const std::wstring name = path.substr(nameAt);
  // The folders from their beginning, as much of them as fits before the name.
  if (nameAt > 0) {
    const auto folders = [&](std::size_t kept) {
      return path.substr(0, kept) + kFolderEllipsis + name;
    };
    // Below the whole folder part, which would not shorten anything.
    const long kept = Greatest(nameAt - 1, folders, fits);
    if (kept >= 0) {
      return folders(static_cast<std::size_t>(kept));
    }
  }
  // The name from its middle: its beginning and its end around the mark,
  // the extension whole.
  const std::size_t dot = name.find_last_of(L'.');
  const std::size_t stemLength = dot == std::wstring::npos || dot == 0 ? name.size() : dot;
  const std::wstring stem = name.substr(0, stemLength);
  const std::wstring extension = name.substr(stemLength);
  const std::wstring lead = nameAt > 0 ? kFolderEllipsis : L"";
  const auto middle = [&](std::size_t kept) {
    const std::size_t back = kept / 2;
    return lead + stem.substr(0, kept - back) + kNameEllipsis + stem.substr(stem.size() - back) +
           extension;
  };
  const long kept = Greatest(stem.size() > 0 ? stem.size() - 1 : 0, middle, fits);
  if (kept >= 0) {
    return middle(static_cast<std::size_t>(kept));
  }
  // Without the folders' mark.
  const auto bare = [&](std::size_t kept) {
    const std::size_t back = kept / 2;
    return stem.substr(0, kept - back) + kNameEllipsis + stem.substr(stem.size() - back) +
           extension;
  };
  const long bareKept = Greatest(stem.size() > 0 ? stem.size() - 1 : 0, bare, fits);
  return bare(bareKept > 0 ? static_cast<std::size_t>(bareKept) : 0);
}
