// PassOptions: the options as one pass of the scheduler sees them.
//
// In the window each option read is a request to the user-interface thread,
// which a worker waits for. The scheduler makes one PassOptions per pass and
// hands it to the rows it starts in that pass: each option is read from the
// underlying set the first time anyone asks for it through this object, and
// the value then answers every later read through it. A change of an option
// reaches the rows of the next pass.
//
// Threads: any; reads are serialised by the object's own lock (a first read
// waits for the underlying set while holding it).
//
// Ownership: `options` is not owned and must outlive the object.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "base/lock.h"
#include "engine/option_set.h"

class PassOptions final : public OptionSet {
 public:
  explicit PassOptions(OptionSet& options) : options_(options) {}

  bool IsOn(Option option) override;
  std::wstring GetOptionText(Option option) override;
  int GetOverwriteMode() override;
  int GetCompressLevel() override;
  int GetConvertCount() override;

 private:
  // Every Option value, kReduce the last.
  static constexpr std::size_t kOptions = static_cast<std::size_t>(Option::kReduce) + 1;

  OptionSet& options_;
  kiv::CriticalSection lock_;
  std::array<std::optional<bool>, kOptions> on_;
  std::array<std::optional<std::wstring>, kOptions> texts_;
  std::optional<int> overwriteMode_;
  std::optional<int> compressLevel_;
  std::optional<int> convertCount_;
};
