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

// A refused write names the folder it was refused in: the row's line names only the source.
std::wstring PermissionDeniedIn(const std::wstring& folder) {
  return std::wstring(kiv::FileErrorText(kiv::FileError::kAccessDenied)) + L" (cannot write in " +
         folder + L")";
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
      return L"not a BMP, PNG or JPEG image";
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
    case kiv::FileError::kAccessDenied:
      return PermissionDeniedIn(FolderOf(target));
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
    return kReasonFolderIsFile;
  }
  if (!kiv::CanCreateIn(folder)) {
    return PermissionDeniedIn(folder);
  }
  return std::wstring();
}

std::wstring LoadWarning(const BitmapLoadNotes& notes) {
  std::wstring warning;
  if (notes.samplesRounded) {
    warning = L"16-bit samples rounded to 8 bits";
  }
  if (notes.truncated) {
    if (!warning.empty()) {
      warning += L"; ";
    }
    warning += L"truncated: " + GroupedNumber(notes.bytesPresent);
    warning += notes.bytesExpected > notes.bytesPresent
                   ? L" of " + GroupedNumber(notes.bytesExpected) + L" bytes"
                   : std::wstring(L" bytes, the image data ends early");
  }
  return warning;
}
