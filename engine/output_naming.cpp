#include "engine/output_naming.h"

#include "base/path.h"

std::wstring OutputFolder(bool outSrcDirectory, const std::wstring& outputText) {
  if (outSrcDirectory) {
    return std::wstring();
  }
  return kiv::AddSeparator(outputText);
}

std::wstring OutputPathFor(const std::wstring& source, const std::wstring& folder,
                           bool upperExtension) {
  const std::wstring extension = upperExtension ? L".PNG" : L".png";
  if (folder.empty()) {
    return kiv::RenameExtension(source, extension);
  }
  return folder + kiv::RenameExtension(kiv::FindFileName(source), extension);
}

std::wstring RowOutputFolder(const std::wstring& folder, const std::wstring& subfolder) {
  if (folder.empty() || subfolder.empty()) {
    return folder;
  }
  return kiv::AddSeparator(folder + subfolder);
}

void CreateFolderChain(const std::wstring& folder) {
  for (size_t i = 0; i < folder.size(); ++i) {
    if (kiv::IsPathSeparator(folder[i]) && i > 0) {
      kiv::MakeDirectory(folder.substr(0, i));
    }
  }
}

namespace {

// Length of a counter " (digits)" starting at `at` in text[at, end), or 0.
size_t CounterLength(const std::wstring& text, size_t at, size_t end) {
  if (at + 4 > end || text[at] != L' ' || text[at + 1] != L'(') {
    return 0;
  }
  size_t i = at + 2;
  while (i < end && text[i] >= L'0' && text[i] <= L'9') {
    ++i;
  }
  if (i == at + 2 || i >= end || text[i] != L')') {
    return 0;
  }
  return i + 1 - at;
}

bool IsLineBreak(wchar_t c) {
  return c == L'\n' || c == L'\r' || c == 0x2028 || c == 0x2029;
}

}  // namespace

// The rule is the search-and-replace of "(.+) \(\d+\)" by "$1": the greedy
// group, which needs at least one character and stops at line breaks, makes
// one match per line run from its start to the end of its last counter, and
// the replacement drops just that counter.
std::wstring StripRenameCounter(const std::wstring& pathWithoutExtension) {
  const std::wstring& text = pathWithoutExtension;
  std::wstring result;
  result.reserve(text.size());
  size_t runStart = 0;
  while (runStart <= text.size()) {
    size_t runEnd = runStart;
    while (runEnd < text.size() && !IsLineBreak(text[runEnd])) {
      ++runEnd;
    }
    size_t counterAt = 0;
    size_t counterLength = 0;
    for (size_t at = runEnd; at > runStart + 1;) {
      --at;
      const size_t length = CounterLength(text, at, runEnd);
      if (length != 0) {
        counterAt = at;
        counterLength = length;
        break;
      }
    }
    if (counterLength != 0) {
      result.append(text, runStart, counterAt - runStart);
      result.append(text, counterAt + counterLength, runEnd - counterAt - counterLength);
    } else {
      result.append(text, runStart, runEnd - runStart);
    }
    if (runEnd == text.size()) {
      break;
    }
    result.push_back(text[runEnd]);
    runStart = runEnd + 1;
  }
  return result;
}

OverwriteDecision DecideOverwrite(int mode, const std::wstring& output) {
  return DecideOverwrite(mode, output, &kiv::FileExists);
}

OverwriteDecision DecideOverwrite(int mode, const std::wstring& output,
                                  const std::function<bool(const std::wstring&)>& taken) {
  OverwriteDecision decision;
  switch (mode) {
    case 0:
      decision.action = OverwriteDecision::Action::kWrite;
      decision.path = output;
      return decision;
    case 1:
      if (taken(output)) {
        decision.action = OverwriteDecision::Action::kRefuse;
        return decision;
      }
      decision.action = OverwriteDecision::Action::kWrite;
      decision.path = output;
      decision.createNew = true;
      return decision;
    case 2:
      break;
    default:
      return decision;
  }

  decision.createNew = true;
  if (!taken(output)) {
    decision.action = OverwriteDecision::Action::kWrite;
    decision.path = output;
    return decision;
  }
  // The counter belongs to the file name: a folder such as "x (2)" stays.
  const std::wstring extension = kiv::FindExtension(output);
  const std::wstring stem = kiv::RemoveExtension(output);
  const size_t nameAt = stem.size() - kiv::FindFileName(stem).size();
  const std::wstring base = stem.substr(0, nameAt) + StripRenameCounter(stem.substr(nameAt));
  for (int n = 1; n <= kMaxRenameCounter; ++n) {
    std::wstring candidate = base + L" (" + std::to_wstring(n) + L")" + extension;
    if (!taken(candidate)) {
      decision.action = OverwriteDecision::Action::kWrite;
      decision.path = std::move(candidate);
      return decision;
    }
  }
  decision.action = OverwriteDecision::Action::kRefuse;
  return decision;
}
