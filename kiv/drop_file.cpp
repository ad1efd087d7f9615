#include "kiv/drop_file.h"

namespace kiv {

DropFile::DropFile(HDROP handle) : handle_(handle) {
  if (handle_ != nullptr) {
    count_ = DragQueryFileW(handle_, 0xFFFFFFFF, nullptr, 0);
  }
}

DropFile::~DropFile() {
  if (handle_ != nullptr) {
    DragFinish(handle_);
  }
}

std::wstring DropFile::NextPath() {
  while (next_ < count_) {
    const UINT length = DragQueryFileW(handle_, next_, nullptr, 0);
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    DragQueryFileW(handle_, next_, &buffer[0], length + 1);
    ++next_;
    buffer.resize(buffer.find(L'\0'));
    return buffer;
  }
  return std::wstring();
}

}  // namespace kiv
