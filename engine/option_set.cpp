#include "engine/option_set.h"

const wchar_t* OptionKey(Option option) {
  switch (option) {
    case Option::kFilter:
      return L"Filter";
    case Option::kSubDirectory:
      return L"SubDirectory";
    case Option::kDeleteSrcFile:
      return L"DeleteSrcFile";
    case Option::kConvertCount:
      return L"spConvertNum";
    case Option::kConvertCountText:
      return L"ConvertNum";
    case Option::kOutput:
      return L"Output";
    case Option::kOutSrcDirectory:
      return L"OutSrcDirectory";
    case Option::kUpperExtension:
      return L"UpperExtension";
    case Option::kOverWrite:
      return L"OverWrite";
    case Option::kCompressLevel:
      return L"CompressLevel";
    case Option::kInterlacePng:
      return L"InterlacePng";
    case Option::k24Bit:
      return L"24bit";
    case Option::kAutoStartConvert:
      return L"AutoStartConvert";
    case Option::kAutoDeleteItem:
      return L"AutoDeleteItem";
    case Option::kTopMostWindow:
      return L"TopMostWindow";
    case Option::kKeepOrientation:
    case Option::kStrip:
    case Option::kReduce:
      return L"";  // not stored
  }
  return L"";
}

const std::array<CheckOptionRow, 9> kCheckOptions = {{
    {Option::kSubDirectory, 1},
    {Option::kDeleteSrcFile, 0},
    {Option::kOutSrcDirectory, 1},
    {Option::kUpperExtension, 0},
    {Option::kInterlacePng, 0},
    {Option::k24Bit, 0},
    {Option::kAutoStartConvert, 1},
    {Option::kAutoDeleteItem, 1},
    {Option::kTopMostWindow, 0},
}};

const std::array<TextOptionRow, 3> kTextOptions = {{
    {Option::kFilter, kDefaultFilter},
    {Option::kConvertCountText, L"8"},
    {Option::kOutput, L""},
}};
