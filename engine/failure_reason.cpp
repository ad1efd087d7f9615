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

namespace {

// One English phrase and its Japanese line. A phrase ending in ": " or " " is a beginning: the
// rest of the reason follows its Japanese in brackets.
struct ReasonLine {
  const wchar_t* english;
  const wchar_t* japanese;
};

constexpr ReasonLine kJapaneseReasons[] = {
    {kReasonExists, L"出力ファイルがすでにあります (上書きしない設定)"},
    {kReasonNumbersTaken, L"番号付きの名前がすべて使われています"},
    {L"vanished", L"ファイルが見つかりません (登録の後でなくなりました)"},
    {L"not an image", L"画像ではありません"},
    {L"an empty file", L"空のファイルです"},
    {L"a text file", L"テキストファイルです (画像ではありません)"},
    {L"too large", L"画像が大きすぎます"},
    {L"corrupt", L"ファイルが壊れています"},
    {L"cannot be encoded as PNG", L"PNG に書き出せない画像です"},
    {L"output folder is a file", L"出力先フォルダがファイルです"},
    {L"output folder does not exist", L"出力先フォルダがありません"},
    {L"disk full", L"ディスクがいっぱいです"},
    {L"no such file or folder", L"ファイルまたはフォルダがありません"},
    {L"a part of the path is a file, not a folder", L"パスの途中がフォルダではなくファイルです"},
    {L"exists", L"同じ名前のファイルがあります"},
    {L"path too long", L"パスが長すぎます"},
    {L"input/output error", L"入出力エラー"},
    {L"16-bit samples rounded to 8 bits", L"16 ビットの色を 8 ビットに丸めました"},
    {L"corrupt: ", L"ファイルが壊れています"},
    {L"unreadable: ", L"ファイルを読めません"},
    {kReasonTakenInRun, L"出力先が同じ変換の別のファイルに使われています"},
    {kReasonExistsWhileDeleting, L"出力ファイルがすでにあります (元のファイルを削除する設定)"},
    {kReasonReadBackDiffers, L"書き出した PNG を読み直すと内容が違います"},
    {kNoteAlreadySmaller, L"元のファイルの方が小さいため、そのままにしました"},
    {kNoteReachedTwice, L"リストに別の名前でもあるため、元のファイルは削除しませんでした"},
    {L"page 1 of ", L"複数ページのうち 1 ページ目だけです"},
    {L"first frame of ", L"アニメーションの最初のフレームだけです"},
};

bool BeginsWith(const std::wstring& text, const std::wstring& start) {
  return text.compare(0, start.size(), start) == 0;
}

// "truncated: A of B bytes" and "truncated: A bytes, the image data ends early".
std::wstring JapaneseTruncation(const std::wstring& rest) {
  const std::wstring of = L" of ";
  const std::size_t ofAt = rest.find(of);
  const std::wstring bytes = L" bytes";
  if (ofAt != std::wstring::npos && rest.size() > bytes.size() &&
      rest.compare(rest.size() - bytes.size(), bytes.size(), bytes) == 0) {
    const std::wstring present = rest.substr(0, ofAt);
    const std::wstring whole =
        rest.substr(ofAt + of.size(), rest.size() - bytes.size() - ofAt - of.size());
    return L"ファイルが途中で切れています (" + whole + L" バイト中 " + present + L" バイト)";
  }
  const std::size_t space = rest.find(L' ');
  return L"ファイルが途中で切れています (" + rest.substr(0, space) +
         L" バイトで画像データが終わっています)";
}

std::wstring JapanesePart(const std::wstring& part, bool writing) {
  // "permission denied", or with the folder named: "permission denied (cannot write in out)".
  if (BeginsWith(part, L"permission denied")) {
    return writing ? L"出力先フォルダに書き込む権限がありません"
                   : L"ファイルを読む権限がありません";
  }
  const std::wstring truncated = L"truncated: ";
  if (BeginsWith(part, truncated)) {
    return JapaneseTruncation(part.substr(truncated.size()));
  }
  // What a file of another kind is: "a Photoshop document".
  if (!writing && (BeginsWith(part, L"a ") || BeginsWith(part, L"an "))) {
    for (const ReasonLine& line : kJapaneseReasons) {
      if (part == line.english) {
        return line.japanese;
      }
    }
    return L"画像ではありません (" + part + L")";
  }
  for (const ReasonLine& line : kJapaneseReasons) {
    const std::wstring english = line.english;
    const bool beginning = english.back() == L' ';
    if (part == english) {
      return line.japanese;
    }
    if (beginning && BeginsWith(part, english)) {
      std::wstring rest = part.substr(english.size());
      if (BeginsWith(english, L"unreadable")) {
        rest = JapanesePart(rest, writing);
      }
      return std::wstring(line.japanese) + L" (" + rest + L")";
    }
  }
  return part;
}

}  // namespace

std::wstring JapaneseReason(const std::wstring& reason, bool writing) {
  std::wstring japanese;
  const std::wstring separator = L"; ";
  std::size_t start = 0;
  while (true) {
    const std::size_t end = reason.find(separator, start);
    if (start != 0) {
      japanese += L"、";
    }
    japanese += JapanesePart(reason.substr(start, end - start), writing);
    if (end == std::wstring::npos) {
      return japanese;
    }
    start = end + separator.size();
  }
}
