#include "engine/memory_options.h"

#include <algorithm>

#include "settings/data_node.h"

namespace {

const wchar_t kCheckValue[] = L"Check";
const wchar_t kTextValue[] = L"Text";
const wchar_t kIndexValue[] = L"Index";
const wchar_t kPosValue[] = L"Pos";

// A child looked up without inserting it; a missing child reads like an
// empty one, so every value falls back to its default.
const kiv::DataNode& ChildOrEmpty(const kiv::DataNode& node, Option option) {
  static const kiv::DataNode empty;
  const auto found = node.children().find(OptionKey(option));
  if (found == node.children().end() || !found->second) {
    return empty;
  }
  return *found->second;
}

}  // namespace

MemoryOptionSet::MemoryOptionSet() {
  for (size_t i = 0; i < kCheckOptions.size(); ++i) {
    checks_[i] = kCheckOptions[i].defaultCheck;
  }
  for (size_t i = 0; i < kTextOptions.size(); ++i) {
    texts_[i] = kTextOptions[i].defaultText;
  }
}

int MemoryOptionSet::CheckIndex(Option option) {
  for (size_t i = 0; i < kCheckOptions.size(); ++i) {
    if (kCheckOptions[i].option == option) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int MemoryOptionSet::TextIndex(Option option) {
  for (size_t i = 0; i < kTextOptions.size(); ++i) {
    if (kTextOptions[i].option == option) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool MemoryOptionSet::IsOn(Option option) {
  const int index = CheckIndex(option);
  std::lock_guard<std::mutex> hold(mutex_);
  if (option == Option::kKeepOrientation) {
    return keepOrientation_;
  }
  if (option == Option::kStrip) {
    return strip_;
  }
  if (option == Option::kReduce) {
    return reduce_;
  }
  return index >= 0 && checks_[index] == 1;
}

std::wstring MemoryOptionSet::GetOptionText(Option option) {
  if (option != Option::kFilter && option != Option::kOutput) {
    return std::wstring();
  }
  std::lock_guard<std::mutex> hold(mutex_);
  return texts_[TextIndex(option)];
}

int MemoryOptionSet::GetOverwriteMode() {
  std::lock_guard<std::mutex> hold(mutex_);
  return overwrite_;
}

int MemoryOptionSet::GetCompressLevel() {
  std::lock_guard<std::mutex> hold(mutex_);
  return compressLevel_;
}

int MemoryOptionSet::GetConvertCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return convertCount_;
}

void MemoryOptionSet::SetOn(Option option, bool on) {
  const int index = CheckIndex(option);
  std::lock_guard<std::mutex> hold(mutex_);
  if (option == Option::kKeepOrientation) {
    keepOrientation_ = on;
  } else if (option == Option::kStrip) {
    strip_ = on;
  } else if (option == Option::kReduce) {
    reduce_ = on;
  } else if (index >= 0) {
    checks_[index] = on ? 1 : 0;
  }
}

void MemoryOptionSet::SetText(Option option, const std::wstring& text) {
  const int index = TextIndex(option);
  if (index < 0) {
    return;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  texts_[index] = text;
}

void MemoryOptionSet::SetOverwriteMode(int index) {
  std::lock_guard<std::mutex> hold(mutex_);
  overwrite_ = (index >= 0 && index <= 2) ? index : -1;
}

void MemoryOptionSet::SetCompressLevel(int level) {
  std::lock_guard<std::mutex> hold(mutex_);
  compressLevel_ = std::clamp(level, kMinCompressLevel, kMaxCompressLevel);
}

void MemoryOptionSet::SetConvertCount(int count) {
  std::lock_guard<std::mutex> hold(mutex_);
  convertCount_ = std::clamp(count, kMinConvertCount, kMaxConvertCount);
  texts_[TextIndex(Option::kConvertCountText)] = std::to_wstring(convertCount_);
}

void MemoryOptionSet::Load(const kiv::DataNode& node) {
  for (const CheckOptionRow& row : kCheckOptions) {
    const int check = ChildOrEmpty(node, row.option).GetInt(kCheckValue, row.defaultCheck);
    std::lock_guard<std::mutex> hold(mutex_);
    checks_[CheckIndex(row.option)] = check;
  }
  for (const TextOptionRow& row : kTextOptions) {
    SetText(row.option, ChildOrEmpty(node, row.option).GetString(kTextValue, row.defaultText));
  }
  SetOverwriteMode(ChildOrEmpty(node, Option::kOverWrite).GetInt(kIndexValue, 0));
  SetCompressLevel(
      ChildOrEmpty(node, Option::kCompressLevel).GetInt(kPosValue, kDefaultCompressLevel));
  SetConvertCount(
      ChildOrEmpty(node, Option::kConvertCount).GetInt(kPosValue, kDefaultConvertCount));
}

void MemoryOptionSet::Save(kiv::DataNode& node) {
  std::lock_guard<std::mutex> hold(mutex_);
  for (size_t i = 0; i < kCheckOptions.size(); ++i) {
    node.Child(OptionKey(kCheckOptions[i].option)).SetInt(kCheckValue, checks_[i]);
  }
  for (size_t i = 0; i < kTextOptions.size(); ++i) {
    node.Child(OptionKey(kTextOptions[i].option)).SetString(kTextValue, texts_[i]);
  }
  node.Child(OptionKey(Option::kOverWrite)).SetInt(kIndexValue, overwrite_);
  node.Child(OptionKey(Option::kCompressLevel)).SetInt(kPosValue, compressLevel_);
  node.Child(OptionKey(Option::kConvertCount)).SetInt(kPosValue, convertCount_);
}
