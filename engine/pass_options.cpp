#include "engine/pass_options.h"

namespace {

// The value kept in `slot`, read through `read` the first time.
template <class T, class Read>
T Kept(std::optional<T>& slot, Read read) {
  if (!slot) {
    slot = read();
  }
  return *slot;
}

}  // namespace

bool PassOptions::IsOn(Option option) {
  const auto index = static_cast<std::size_t>(option);
  kiv::LockGuard hold(lock_);
  if (index >= kOptions) {
    return options_.IsOn(option);
  }
  return Kept(on_[index], [&] { return options_.IsOn(option); });
}

std::wstring PassOptions::GetOptionText(Option option) {
  const auto index = static_cast<std::size_t>(option);
  kiv::LockGuard hold(lock_);
  if (index >= kOptions) {
    return options_.GetOptionText(option);
  }
  return Kept(texts_[index], [&] { return options_.GetOptionText(option); });
}

int PassOptions::GetOverwriteMode() {
  kiv::LockGuard hold(lock_);
  return Kept(overwriteMode_, [&] { return options_.GetOverwriteMode(); });
}

int PassOptions::GetCompressLevel() {
  kiv::LockGuard hold(lock_);
  return Kept(compressLevel_, [&] { return options_.GetCompressLevel(); });
}

int PassOptions::GetConvertCount() {
  kiv::LockGuard hold(lock_);
  return Kept(convertCount_, [&] { return options_.GetConvertCount(); });
}
