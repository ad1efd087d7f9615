// The Japanese lines of the window's row tips: every reason the conversion
// gives (made here by the same functions the conversion calls) reads in
// Japanese, with the numbers and the decoder's words kept.
#include "engine/failure_reason.h"

#include <gtest/gtest.h>

#include <string>

namespace {

BitmapLoadNotes Notes(BitmapLoadNotes::Failure failure,
                      kiv::FileError openError = kiv::FileError::kNone, std::string detail = "") {
  BitmapLoadNotes notes;
  notes.failure = failure;
  notes.openError = openError;
  notes.detail = std::move(detail);
  return notes;
}

BitmapLoadNotes Truncated(uint64_t present, uint64_t expected, bool rounded) {
  BitmapLoadNotes notes;
  notes.truncated = true;
  notes.bytesPresent = present;
  notes.bytesExpected = expected;
  notes.samplesRounded = rounded;
  return notes;
}

TEST(FailureReasonTest, EveryReasonReadsInJapanese) {
  using Failure = BitmapLoadNotes::Failure;
  using kiv::FileError;
  struct Case {
    std::wstring reason;
    bool writing;
    std::wstring japanese;
  };
  const Case cases[] = {
      {ReadFailureReason(Notes(Failure::kOpen, FileError::kNotFound)), false,
       L"ファイルが見つかりません (登録の後でなくなりました)"},
      {ReadFailureReason(Notes(Failure::kOpen, FileError::kAccessDenied)), false,
       L"ファイルを読む権限がありません"},
      {ReadFailureReason(Notes(Failure::kOpen, FileError::kTooLong)), false,
       L"ファイルを読めません (パスが長すぎます)"},
      {ReadFailureReason(Notes(Failure::kNotImage)), false, L"画像ではありません"},
      {ReadFailureReason(Notes(Failure::kNotImage, FileError::kNone, "a Photoshop document")),
       false, L"画像ではありません (a Photoshop document)"},
      {ReadFailureReason(Notes(Failure::kNotImage, FileError::kNone, "an empty file")), false,
       L"空のファイルです"},
      {kReasonExistsWhileDeleting, true,
       L"出力ファイルがすでにあります (元のファイルを削除する設定)"},
      {ReadFailureReason(Notes(Failure::kTooLarge)), false, L"画像が大きすぎます"},
      {ReadFailureReason(Notes(Failure::kCorrupt)), false, L"ファイルが壊れています"},
      {ReadFailureReason(Notes(Failure::kCorrupt, FileError::kNone, "bad Huffman table")), false,
       L"ファイルが壊れています (bad Huffman table)"},
      {WriteFailureReason(FileError::kAccessDenied, L"out/x.png"), true,
       L"出力先フォルダに書き込む権限がありません"},
      {WriteFailureReason(FileError::kDiskFull, L"out/x.png"), true, L"ディスクがいっぱいです"},
      {WriteFailureReason(FileError::kNone, L"out/x.png"), true, L"PNG に書き出せない画像です"},
      {WriteFailureReason(FileError::kOther, L"no-such-folder/x.png"), true,
       L"出力先フォルダがありません"},
      {L"output folder is a file", true, L"出力先フォルダがファイルです"},
      {kReasonExists, true, L"出力ファイルがすでにあります (上書きしない設定)"},
      {kReasonNumbersTaken, true, L"番号付きの名前がすべて使われています"},
      {std::wstring(kReasonTakenInRun) + L"C:\\a\\x.bmp", true,
       L"出力先が同じ変換の別のファイルに使われています (C:\\a\\x.bmp)"},
      {LoadWarning(Truncated(1800, 3738, false)), false,
       L"ファイルが途中で切れています (3,738 バイト中 1,800 バイト)"},
      {LoadWarning(Truncated(20000, 0, false)), false,
       L"ファイルが途中で切れています (20,000 バイトで画像データが終わっています)"},
      {LoadWarning(Truncated(1800, 3738, true)), false,
       L"16 ビットの色を 8 ビットに丸めました、ファイルが途中で切れています (3,738 バイト中 1,800 "
       L"バイト)"},
      {kNoteReachedTwice, false, L"リストに別の名前でもあるため、元のファイルは削除しませんでした"},
      {L"a reason nobody wrote down", true, L"a reason nobody wrote down"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JapaneseReason(c.reason, c.writing), c.japanese);
  }
}

}  // namespace
