#include "cli/summary.h"

#include <cwchar>

namespace cli {

namespace {

// Long names are cut in the middle so that the line fits a narrow terminal.
constexpr size_t kMaxNameLength = 40;

std::wstring Shortened(const std::wstring& name) {
  if (name.size() <= kMaxNameLength) {
    return name;
  }
  const size_t keep = (kMaxNameLength - 1) / 2;
  return name.substr(0, keep) + L"…" + name.substr(name.size() - keep);
}

}  // namespace

Tally TallyRows(const std::vector<MemoryFileList::RowCopy>& rows) {
  Tally tally;
  for (const auto& row : rows) {
    if (row.stateText == kStateConverted) {
      ++tally.converted;
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
      tally.failed.push_back({row.sourcePath, row.outputPath, shown});
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
  } else if (!currentName.empty()) {
    text += L" " + Shortened(currentName);
  }
  return text;
}

std::wstring SummaryText(const Tally& tally, int missing, double elapsedSeconds) {
  std::wstring text = L"converted " + std::to_wstring(tally.converted) + L", read failures " +
                      std::to_wstring(tally.readFailed) + L", write failures " +
                      std::to_wstring(tally.writeFailed);
  if (tally.deletionAsked) {
    text += L", sources deleted " + std::to_wstring(tally.sourcesDeleted) + L", kept " +
            std::to_wstring(tally.sourcesKept);
  }
  if (tally.unchanged > 0) {
    text += L", left as they were " + std::to_wstring(tally.unchanged);
  }
  if (tally.warnings > 0) {
    text += L", warnings " + std::to_wstring(tally.warnings);
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
