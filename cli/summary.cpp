#include "cli/summary.h"

#include <cstdint>
#include <cwchar>

namespace cli {

namespace {

// A name is given at least this many columns, or none at all.
constexpr size_t kMinNameColumns = 12;

bool IsHighSurrogate(uint32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

// The character at `text[i]` (a surrogate pair joined) and its length in wchar_t.
uint32_t CharAt(const std::wstring& text, size_t i, size_t* length) {
  const uint32_t c = static_cast<uint32_t>(text[i]);
  *length = 1;
  if (sizeof(wchar_t) == 2 && IsHighSurrogate(c) && i + 1 < text.size()) {
    const uint32_t low = static_cast<uint32_t>(text[i + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      *length = 2;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return c;
}

size_t CharWidth(uint32_t c) {
  struct Range {
    uint32_t first;
    uint32_t last;
  };
  static constexpr Range kZero[] = {
      {0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
      {0x20D0, 0x20FF}, {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
  };
  static constexpr Range kWide[] = {
      {0x1100, 0x115F}, {0x231A, 0x231B},   {0x2E80, 0x303E},   {0x3041, 0x3247},
      {0x3250, 0x4DBF}, {0x4E00, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
      {0xF900, 0xFAFF}, {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  for (const Range& range : kZero) {
    if (c >= range.first && c <= range.last) {
      return 0;
    }
  }
  for (const Range& range : kWide) {
    if (c >= range.first && c <= range.last) {
      return 2;
    }
  }
  return 1;
}

}  // namespace

size_t DisplayWidth(const std::wstring& text) {
  size_t width = 0;
  for (size_t i = 0, length = 0; i < text.size(); i += length) {
    width += CharWidth(CharAt(text, i, &length));
  }
  return width;
}

std::wstring FitColumns(const std::wstring& text, size_t columns) {
  if (DisplayWidth(text) <= columns) {
    return text;
  }
  if (columns == 0) {
    return std::wstring();
  }
  // The head takes half of what is left beside the "…", the tail the rest.
  const size_t room = columns - 1;
  std::wstring head;
  size_t used = 0;
  for (size_t i = 0, length = 0; i < text.size(); i += length) {
    const size_t width = CharWidth(CharAt(text, i, &length));
    if (used + width > room / 2 + room % 2) {
      break;
    }
    head.append(text, i, length);
    used += width;
  }
  // The tail, gathered from the end: whole characters only.
  size_t start = text.size();
  size_t tailUsed = 0;
  while (start > 0) {
    size_t at = start - 1;
    if (sizeof(wchar_t) == 2 && at > 0 && !IsHighSurrogate(static_cast<uint32_t>(text[at])) &&
        IsHighSurrogate(static_cast<uint32_t>(text[at - 1]))) {
      --at;
    }
    size_t length = 0;
    const size_t width = CharWidth(CharAt(text, at, &length));
    if (used + tailUsed + width > room) {
      break;
    }
    tailUsed += width;
    start = at;
  }
  return head + L"\u2026" + text.substr(start);
}

Tally TallyRows(const std::vector<MemoryFileList::RowCopy>& rows) {
  Tally tally;
  size_t index = 0;
  for (const auto& row : rows) {
    ++index;
    if (row.stateText == kStateConverted) {
      ++tally.converted;
    } else if (row.stateText == kStateUpToDate) {
      ++tally.upToDate;
    } else if (row.stateText.empty()) {
      ++tally.waiting;
    } else {
      if (row.stateText == kStateReadFailed) {
        ++tally.readFailed;
      } else if (row.stateText == kStateWriteFailed) {
        ++tally.writeFailed;
      } else {
        ++tally.unwritten;
      }
      const std::wstring shown = row.stateText == kStateConverting
                                     ? std::wstring(L"not written (no overwrite mode selected)")
                                     : row.stateText;
      tally.failed.push_back({row.sourcePath, row.outputPath, shown, index - 1});
    }
  }
  return tally;
}

std::wstring GlossedState(const std::wstring& stateText, const std::wstring& reason) {
  std::wstring gloss;
  if (stateText == kStateReadFailed) {
    gloss = L"read failed";
  } else if (stateText == kStateWriteFailed) {
    gloss = L"write failed";
  }
  if (!reason.empty()) {
    gloss += (gloss.empty() ? L"" : L": ") + reason;
  }
  return gloss.empty() ? stateText : stateText + L" (" + gloss + L")";
}

uint32_t SecondsLeft(double elapsedSeconds, uint64_t bytesDone, uint64_t bytesTotal) {
  constexpr double kLongest = 99.0 * 3600;
  if (elapsedSeconds < 1.0 || bytesDone == 0 || bytesDone >= bytesTotal) {
    return 0;
  }
  const double left =
      elapsedSeconds * static_cast<double>(bytesTotal - bytesDone) / static_cast<double>(bytesDone);
  return static_cast<uint32_t>(left < kLongest ? left + 0.999 : kLongest);
}

std::wstring ProgressText(int done, int total, int failures, uint32_t etaSeconds,
                          const std::wstring& currentName, bool stopping) {
  wchar_t head[96];
  std::swprintf(head, sizeof head / sizeof head[0], L"[%d/%d]", done, total);
  std::wstring text = head;
  if (failures > 0) {
    text += L" " + std::to_wstring(failures) + L" failed";
  }
  if (etaSeconds != 0) {
    std::swprintf(head, sizeof head / sizeof head[0], L" %u:%02u left", etaSeconds / 60,
                  etaSeconds % 60);
    text += head;
  }
  if (stopping) {
    text += L" stopping: waiting for the files in progress";
  } else if (!currentName.empty() && DisplayWidth(text) + 1 + kMinNameColumns <= kProgressColumns) {
    text += L" " + FitColumns(currentName, kProgressColumns - DisplayWidth(text) - 1);
  }
  return FitColumns(text, kProgressColumns);
}

std::wstring SummaryText(const Tally& tally, int missing, double elapsedSeconds) {
  std::wstring text = L"converted " + std::to_wstring(tally.converted) + L", read failures " +
                      std::to_wstring(tally.readFailed) + L", write failures " +
                      std::to_wstring(tally.writeFailed);
  if (tally.deletionAsked) {
    text += L", sources deleted " + std::to_wstring(tally.sourcesDeleted) + L", kept " +
            std::to_wstring(tally.sourcesKept);
  }
  if (tally.upToDate > 0) {
    text += L", up to date " + std::to_wstring(tally.upToDate);
  }
  if (tally.unchanged > 0) {
    text += L", left as they were " + std::to_wstring(tally.unchanged);
  }
  if (tally.warnings > 0) {
    text += L", warnings " + std::to_wstring(tally.warnings);
  }
  if (tally.skipped > 0) {
    text += L", skipped " + std::to_wstring(tally.skipped);
  }
  if (tally.unwritten > 0) {
    text += L", not written " + std::to_wstring(tally.unwritten);
  }
  if (tally.waiting > 0) {
    text += L", not converted (stopped) " + std::to_wstring(tally.waiting);
  }
  if (missing > 0) {
    text += L", missing paths " + std::to_wstring(missing);
  }
  wchar_t seconds[48];
  std::swprintf(seconds, sizeof seconds / sizeof seconds[0], L"; %.1f s", elapsedSeconds);
  return text + seconds;
}

}  // namespace cli
