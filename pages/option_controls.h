// Which control of the settings page holds which option. Together with the
// engine's option tables (engine/option_set.h: key, default, save and load
// order) this drives the page's creation, saving and loading.
//
// Threads: any; everything here is constant.
#ifndef MORVANE_PAGES_OPTION_CONTROLS_H
#define MORVANE_PAGES_OPTION_CONTROLS_H

#include <array>

#include "pages/resource_ids.h"
#include "engine/option_set.h"

// The control id of `option` on the settings page.
constexpr int OptionControlId(Option option) {
  switch (option) {
    case Option::kFilter:
      return IDC_FILTER;
    case Option::kSubDirectory:
      return IDC_SUB_DIRECTORY;
    case Option::kDeleteSrcFile:
      return IDC_DELETE_SRC_FILE;
    case Option::kConvertCount:
      return IDC_CONVERT_NUM_SLIDER;
    case Option::kConvertCountText:
      return IDC_CONVERT_NUM_TEXT;
    case Option::kOutput:
      return IDC_OUTPUT;
    case Option::kOutSrcDirectory:
      return IDC_OUT_SRC_DIRECTORY;
    case Option::kUpperExtension:
      return IDC_UPPER_EXTENSION;
    case Option::kOverWrite:
      return IDC_OVERWRITE;
    case Option::kCompressLevel:
      return IDC_COMPRESS_LEVEL;
    case Option::kInterlacePng:
      return IDC_INTERLACE_PNG;
    case Option::k24Bit:
      return IDC_24BIT;
    case Option::kAutoStartConvert:
      return IDC_AUTO_START_CONVERT;
    case Option::kAutoDeleteItem:
      return IDC_AUTO_DELETE_ITEM;
    case Option::kTopMostWindow:
      return IDC_TOPMOST_WINDOW;
    case Option::kKeepOrientation:
    case Option::kStrip:
    case Option::kReduce:
      return 0;  // run options of morvane-cli: no control
  }
  return 0;
}

// The items of the overwrite list, by index (the OverwriteMode value).
inline constexpr std::array<const wchar_t*, 3> kOverwriteItems = {
    L"強制的に上書きする",
    L"変換失敗扱いにする",
    L"名前を変更して保存する",
};

#endif  // MORVANE_PAGES_OPTION_CONTROLS_H
