#include "engine/failure_reason.h"

#include "base/path.h"

namespace {

std::wstring Widen(const std::string& text) {
  std::wstring wide;
  for (const char c : text) {
    // The decoders' messages are ASCII; anything else would be a byte of another encoding.
    wide += (static_cast<unsigned char>(c) < 0x80) ? static_cast<wchar_t>(c) : L'?';
  }
  return wide;
}

// The folder the writer put its temporary in: the target's, without a trailing separator (a
// file named with one is never found).
std::wstring FolderOf(const std::wstring& target) {
  const std::wstring folder = kiv::RemoveFileSpec(target);
  return folder.empty() ? std::wstring(L".") : folder;
}

}  // namespace

std::wstring GroupedNumber(uint64_t value) {
  std::wstring digits = std::to_wstring(value);
  for (size_t i = digits.size(); i > 3; i -= 3) {
    digits.insert(i - 3, 1, L',');
  }
  return digits;
}

std::wstring ReadFailureReason(const BitmapLoadNotes& notes) {
  using Failure = BitmapLoadNotes::Failure;
  switch (notes.failure) {
    case Failure::kOpen:
      if (notes.openError == kiv::FileError::kNotFound) {
        return L"vanished";
      }
      if (notes.openError == kiv::FileError::kAccessDenied) {
        return L"permission denied";
      }
      return std::wstring(L"unreadable: ") + kiv::FileErrorText(notes.openError);
    case Failure::kNotImage:
      return notes.detail.empty() ? std::wstring(L"not an image") : Widen(notes.detail);
    case Failure::kTooLarge:
      return L"too large";
    case Failure::kNone:
    case Failure::kCorrupt:
      break;
  }
  return notes.detail.empty() ? std::wstring(L"corrupt") : L"corrupt: " + Widen(notes.detail);
}

std::wstring WriteFailureReason(kiv::FileError error, const std::wstring& target) {
  switch (error) {
    case kiv::FileError::kNone:
      return L"cannot be encoded as PNG";
    case kiv::FileError::kNotFound:
    case kiv::FileError::kNotFolder:
    case kiv::FileError::kOther: {
      // A folder that is a file fails as "not found" on Windows and "not a folder" on POSIX; a
      // folder that could not be made, as "not found" on both.
      std::wstring problem = OutputFolderProblem(target);
      if (!problem.empty()) {
        return problem;
      }
      if (!kiv::FileExists(FolderOf(target))) {
        return L"output folder does not exist";
      }
      break;
    }
    default:
      break;
  }
  return kiv::FileErrorText(error);
}

std::wstring OutputFolderProblem(const std::wstring& target) {
  std::wstring folder = FolderOf(target);
  while (!kiv::FileExists(folder)) {
    const std::wstring parent = kiv::RemoveFileSpec(folder);
    if (parent.empty() || parent == folder) {
      return std::wstring();
    }
    folder = parent;
  }
  if (!kiv::IsDirectory(folder)) {
    return L"output folder is a file";
  }
  if (!kiv::CanCreateIn(folder)) {
    return kiv::FileErrorText(kiv::FileError::kAccessDenied);
  }
  return std::wstring();
}

std::wstring LoadWarning(const BitmapLoadNotes& notes) {
  std::wstring warning;
  auto add = [&warning](const std::wstring& part) {
    warning += (warning.empty() ? L"" : L"; ") + part;
  };
  if (notes.samplesRounded) {
    const uint32_t bits = notes.sampleBits == 0 ? 16 : notes.sampleBits;
    add(std::to_wstring(bits) + L"-bit samples rounded to 8 bits");
  }
  if (notes.pages > 1) {
    add(L"page 1 of " + std::to_wstring(notes.pages));
  }
  if (notes.frames > 1) {
    add(L"first frame of " + std::to_wstring(notes.frames));
  }
  if (notes.truncated) {
    add(L"truncated: " + GroupedNumber(notes.bytesPresent) +
        (notes.bytesExpected > notes.bytesPresent
             ? L" of " + GroupedNumber(notes.bytesExpected) + L" bytes"
             : std::wstring(L" bytes, the image data ends early")));
  }
  return warning;
}
