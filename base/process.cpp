// The portable part of the owner texts: their form and their parsing.
#include "base/process.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include "base/unicode.h"

namespace kiv {

namespace {

constexpr std::size_t kReadableHostLength = 24;

std::uint64_t Fnv1a64(const std::string& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char byte : bytes) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

std::wstring MachineToken(const std::wstring& host, const std::wstring& identity) {
  std::wstring text;
  for (const wchar_t c : host) {
    if (text.size() == kReadableHostLength) {
      break;
    }
    if (c >= L'A' && c <= L'Z') {
      text += static_cast<wchar_t>(c - L'A' + L'a');
    } else if ((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.') {
      text += c;
    } else {
      text += L'_';
    }
  }
  if (text.empty()) {
    text = L"pc";
  }
  // The separator keeps ("ab", "c") and ("a", "bc") apart.
  const std::uint64_t hash = Fnv1a64(WideToUtf8(host) + '\n' + WideToUtf8(identity));
  wchar_t digits[16];
  std::swprintf(digits, sizeof digits / sizeof digits[0], L"%012llx",
                static_cast<unsigned long long>(hash & 0xFFFFFFFFFFFFull));
  return text + L"." + digits;
}

std::wstring MachineName() {
  static const std::wstring name = MachineToken(PlatformHostName(), PlatformMachineIdentity());
  return name;
}

std::wstring CurrentProcessOwner() {
  return std::wstring(1, ProcessPlatformLetter()) + std::to_wstring(CurrentProcessNumber()) + L"@" +
         MachineName();
}

bool IsOwnerGone(const std::wstring& text) {
  // A letter, then 1 to 10 digits without a leading zero, then this machine.
  const std::size_t at = text.find(L'@');
  if (at == std::wstring::npos || text.compare(at + 1, std::wstring::npos, MachineName()) != 0) {
    return false;
  }
  const std::wstring owner = text.substr(0, at);
  if (owner.size() < 2 || owner.size() > 11 || owner[0] != ProcessPlatformLetter() ||
      owner[1] == L'0') {
    return false;
  }
  unsigned long long number = 0;
  for (std::size_t i = 1; i < owner.size(); ++i) {
    if (owner[i] < L'0' || owner[i] > L'9') {
      return false;
    }
    number = number * 10 + static_cast<unsigned>(owner[i] - L'0');
  }
  if (number > 0x7FFFFFFFu || number == CurrentProcessNumber()) {
    return false;
  }
  return !ProcessMayRun(static_cast<unsigned long>(number));
}

}  // namespace kiv
