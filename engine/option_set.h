// The program's fifteen options and the engine's read access to them.
//
// The options have no record of their own: each lives wherever the front end
// keeps it (a control of the settings page in the window, memory in
// morvane-cli), and whoever needs an option asks for its value at that
// moment through OptionSet. Nothing keeps an option longer than one pass of
// the scheduler (engine/pass_options.h).
//
// Threads: the engine's scheduler and workers call the read operations from
// their own threads; every implementation must answer them thread-safely with
// the option's current value.
#pragma once

#include <array>
#include <string>

// Each option is named by its settings key (see OptionKey).
enum class Option {
  kFilter,            // "Filter": file-name patterns separated by "|"
  kSubDirectory,      // "SubDirectory": folder scans descend into subfolders
  kDeleteSrcFile,     // "DeleteSrcFile": delete the source after a successful conversion
  kConvertCount,      // "spConvertNum": largest number of workers at once, 1 to 16
  kConvertCountText,  // "ConvertNum": the worker count shown as text; read by nobody
  kOutput,            // "Output": output folder while OutSrcDirectory is off
  kOutSrcDirectory,   // "OutSrcDirectory": write each output beside its source
  kUpperExtension,    // "UpperExtension": ".PNG" instead of ".png"
  kOverWrite,         // "OverWrite": what to do when the output exists (OverwriteMode)
  kCompressLevel,     // "CompressLevel": zlib level 0 to 9
  kInterlacePng,      // "InterlacePng": write Adam7-interlaced PNGs
  k24Bit,             // "24bit": reduce to 24-bit colour without transparency first
  kAutoStartConvert,  // "AutoStartConvert": start converting after each registration
  kAutoDeleteItem,    // "AutoDeleteItem": remove a row once its file converted whole
  kTopMostWindow,     // "TopMostWindow": keep the main window above others

  // Options of one morvane-cli run, with no settings key: they are never stored, and the
  // window's option set answers them off, so the window always writes what the source says
  // about colour and resolution, and turns JPEGs upright.
  kKeepOrientation,  // keep a JPEG's stored orientation instead of turning it upright
  kStrip,            // write only IHDR, PLTE, IDAT and IEND: no colour profile, no resolution
  kReduce,           // write each image in its smallest form that keeps every pixel
};

// The stored settings: the options before kKeepOrientation.
inline constexpr int kOptionCount = 15;

// The OverWrite selection; the value is the index of the item in the
// settings page's list.
enum class OverwriteMode : int {
  kNone = -1,   // nothing selected: a worker writes nothing and leaves its row as it is
  kForce = 0,   // "強制的に上書きする": replace the existing file
  kFail = 1,    // "変換失敗扱いにする": leave it; the file counts as a write failure
  kRename = 2,  // "名前を変更して保存する": write under the first free numbered name
};

inline constexpr wchar_t kDefaultFilter[] =
    L"*.bmp|*.png|*.jpg|*.jpeg|*.webp|*.gif|*.tif|*.tiff|*.heic|*.heif|*.avif";
inline constexpr int kMinCompressLevel = 0;
inline constexpr int kMaxCompressLevel = 9;
inline constexpr int kDefaultCompressLevel = 6;
inline constexpr int kMinConvertCount = 1;
inline constexpr int kMaxConvertCount = 16;
inline constexpr int kDefaultConvertCount = 8;

// The settings key of an option, as stored in the settings file.
const wchar_t* OptionKey(Option option);

// The nine on/off options with their default check state (1 on, 0 off), in
// the order the settings page saves and loads them.
struct CheckOptionRow {
  Option option;
  int defaultCheck;
};
extern const std::array<CheckOptionRow, 9> kCheckOptions;

// The three text options with their default text, in the order the settings
// page saves and loads them.
struct TextOptionRow {
  Option option;
  const wchar_t* defaultText;
};
extern const std::array<TextOptionRow, 3> kTextOptions;

class OptionSet {
 public:
  OptionSet() = default;
  OptionSet(const OptionSet&) = delete;
  OptionSet& operator=(const OptionSet&) = delete;
  virtual ~OptionSet() = default;

  // For the nine on/off options and the two run options: true when the
  // option is on. False for any other option.
  virtual bool IsOn(Option option) = 0;
  // For Filter and Output: the current text, as typed. Empty for any other
  // option.
  virtual std::wstring GetOptionText(Option option) = 0;
  // The OverWrite selection: 0, 1 or 2, or -1 when nothing is selected.
  virtual int GetOverwriteMode() = 0;
  // CompressLevel, 0 to 9.
  virtual int GetCompressLevel() = 0;
  // spConvertNum, 1 to 16.
  virtual int GetConvertCount() = 0;
};
