// MemoryOptionSet: the option set kept in memory, for morvane-cli and the
// engine's tests. It starts with every option at its default and can be
// filled from (and saved to) the "PageOption" node of a settings file written
// by the window, with the same keys, value names and defaults as the
// settings page.
//
// Threads: every operation may be called from any thread at any time; reads
// return the value set last.
#pragma once

#include <mutex>
#include <string>

#include "engine/option_set.h"

namespace kiv {
class DataNode;
}

class MemoryOptionSet final : public OptionSet {
 public:
  MemoryOptionSet();

  bool IsOn(Option option) override;
  std::wstring GetOptionText(Option option) override;
  int GetOverwriteMode() override;
  int GetCompressLevel() override;
  int GetConvertCount() override;

  // Changes an on/off option or a run option (kKeepOrientation, kStrip, kReduce);
  // ignored for the other options. Run options are not loaded or saved.
  void SetOn(Option option, bool on);
  // Changes a text option (Filter, ConvertNum, Output); ignored otherwise.
  void SetText(Option option, const std::wstring& text);
  // Selects an OverWrite item; an index outside 0 to 2 selects none (-1).
  void SetOverwriteMode(int index);
  // Sets the sliders; values outside their range are brought into it. The
  // worker count also updates the ConvertNum text, as the page's mirror does.
  void SetCompressLevel(int level);
  void SetConvertCount(int count);

  // Restores every option from `node`, the "PageOption" child of a settings
  // tree, as the settings page loads it: each option from the child named by
  // its key ("Check", "Text", "Index" or "Pos"); a missing or malformed value
  // gives the default.
  void Load(const kiv::DataNode& node);
  // Writes every option into `node` the way the settings page saves it.
  void Save(kiv::DataNode& node);

 private:
  static int CheckIndex(Option option);
  static int TextIndex(Option option);

  std::mutex mutex_;
  int checks_[9];
  bool keepOrientation_ = false;
  bool strip_ = false;
  bool reduce_ = false;
  std::wstring texts_[3];
  int overwrite_ = 0;
  int compressLevel_ = kDefaultCompressLevel;
  int convertCount_ = kDefaultConvertCount;
};
