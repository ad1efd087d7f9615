#include "cli/json.h"

#include <cwchar>

#include "engine/file_list.h"

namespace cli {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

void AppendEscaped(std::wstring& out, uint32_t c) {
  wchar_t escape[8];
  std::swprintf(escape, sizeof escape / sizeof escape[0], L"\\u%04x", c);
  out += escape;
}

std::wstring Field(const wchar_t* name, uint64_t value) {
  return std::wstring(L"\"") + name + L"\":" + std::to_wstring(value);
}

std::wstring Field(const wchar_t* name, const std::wstring& text) {
  return std::wstring(L"\"") + name + L"\":" + JsonString(text);
}

std::wstring Field(const wchar_t* name, bool value) {
  return std::wstring(L"\"") + name + L"\":" + (value ? L"true" : L"false");
}

}  // namespace

std::wstring JsonString(const std::wstring& text) {
  std::wstring out = L"\"";
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    if (c == L'"' || c == L'\\') {
      out += L'\\';
      out += static_cast<wchar_t>(c);
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\t') {
      out += L"\\t";
    } else if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
      AppendEscaped(out, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && sizeof(wchar_t) == 2 && i + 1 < text.size() &&
               static_cast<uint32_t>(text[i + 1]) >= 0xDC00 &&
               static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
      out += text[i];  // a well-formed UTF-16 pair
      out += text[++i];
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      out += kReplacement;
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  out += L'"';
  return out;
}

const wchar_t* StateWord(const std::wstring& stateText) {
  if (stateText == kStateConverted) {
    return L"converted";
  }
  if (stateText == kStateReadFailed) {
    return L"read-failed";
  }
  if (stateText == kStateWriteFailed) {
    return L"write-failed";
  }
  if (stateText == kStateUpToDate) {
    return L"up-to-date";
  }
  if (stateText.empty()) {
    return L"not-converted";
  }
  return L"kept";
}

std::wstring FileJson(const FileReport& report, bool dryRun) {
  std::wstring line =
      L"{\"type\":\"file\"," + Field(L"source", report.source) + L"," +
      Field(L"output", report.output) + L"," +
      Field(L"state", std::wstring(report.unchanged ? L"unchanged" : StateWord(report.stateText))) +
      L"," + Field(L"state_text", report.stateText) + L"," + Field(L"bytes_in", report.bytesIn) +
      L"," + Field(L"bytes_out", report.bytesOut) + L"," +
      Field(L"milliseconds", report.milliseconds);
  if (!report.blockedBy.empty()) {
    line += L"," + Field(L"blocked_by", report.blockedBy);
  }
  if (!report.reason.empty()) {
    line += L"," + Field(L"reason", report.reason);
  }
  if (!report.warning.empty()) {
    line += L"," + Field(L"warning", report.warning);
  }
  if (!report.sourceKept.empty()) {
    line += L"," + Field(L"source_kept", report.sourceKept);
  }
  if (dryRun) {
    line += L"," + Field(L"dry_run", true);
  }
  return line + L"}";
}

std::wstring SummaryJson(const Tally& tally, int missing, double elapsedSeconds, bool stopped,
                         bool dryRun) {
  // Whole milliseconds written out by hand: no locale can turn the point into a comma.
  const uint64_t milliseconds =
      elapsedSeconds > 0 ? static_cast<uint64_t>(elapsedSeconds * 1000.0 + 0.5) : 0;
  wchar_t fraction[8];
  std::swprintf(fraction, sizeof fraction / sizeof fraction[0], L".%03u",
                static_cast<unsigned>(milliseconds % 1000));
  const std::wstring seconds = std::to_wstring(milliseconds / 1000) + fraction;
  auto count = [](int n) { return static_cast<uint64_t>(n < 0 ? 0 : n); };
  return L"{\"type\":\"summary\"," + Field(L"converted", count(tally.converted)) + L"," +
         Field(L"read_failed", count(tally.readFailed)) + L"," +
         Field(L"write_failed", count(tally.writeFailed)) + L"," +
         Field(L"kept", count(tally.unwritten)) + L"," +
         (tally.upToDate > 0 ? Field(L"up_to_date", count(tally.upToDate)) + L","
                             : std::wstring()) +
         (tally.unchanged > 0 ? Field(L"unchanged", count(tally.unchanged)) + L","
                              : std::wstring()) +
         Field(L"not_converted", count(tally.waiting)) + L"," + Field(L"missing", count(missing)) +
         (tally.deletionAsked ? L"," + Field(L"sources_deleted", count(tally.sourcesDeleted)) +
                                    L"," + Field(L"sources_kept", count(tally.sourcesKept))
                              : std::wstring()) +
         (tally.warnings > 0 ? L"," + Field(L"warnings", count(tally.warnings)) : std::wstring()) +
         (tally.skipped > 0 ? L"," + Field(L"skipped", count(tally.skipped)) : std::wstring()) +
         L",\"seconds\":" + seconds + L"," + Field(L"stopped", stopped) + L"," +
         Field(L"dry_run", dryRun) + L"}";
}

}  // namespace cli
