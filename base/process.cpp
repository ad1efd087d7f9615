// The portable part of the owner texts: their form and their parsing.
#include "base/process.h"

namespace kiv {

std::wstring CurrentProcessOwner() {
  return std::wstring(1, ProcessPlatformLetter()) + std::to_wstring(CurrentProcessNumber());
}

bool IsOwnerGone(const std::wstring& owner) {
  // A letter, then 1 to 10 digits without a leading zero.
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
