// The portable part of kiv::File: the bookkeeping of size, position and read
// limit, the vector stream, and the checks of the fault seam. The platform
// calls live in file_posix.cpp and file_win32.cpp.
#include "base/file.h"

#include <algorithm>
#include <cstring>

#include "base/file_fault.h"

namespace kiv {

File::~File() {
  Close();
}

bool File::OpenRead(const std::wstring& path) {
  return OpenFile(path, Mode::kRead);
}

bool File::OpenWrite(const std::wstring& path) {
  return OpenFile(path, Mode::kTruncate);
}

bool File::OpenCreateNew(const std::wstring& path) {
  return OpenFile(path, Mode::kCreateNew);
}

bool File::OpenFile(const std::wstring& path, Mode mode) {
  Close();
  error_ = FileError::kNone;
  if (path.empty()) {
    error_ = FileError::kNotFound;
    return false;
  }
  if (mode != Mode::kRead && fault::ShouldFail(FaultStep::kOpenWrite, path)) {
    error_ = FileError::kAccessDenied;
    return false;
  }
  std::uint64_t file_size = 0;
  const std::intptr_t handle = PlatformOpen(path, mode, &file_size);
  if (handle == kNoHandle) {
    error_ = LastPlatformFileError();
    return false;
  }
  kind_ = Kind::kFile;
  handle_ = handle;
  writing_ = mode != Mode::kRead;
  size_ = writing_ ? 0 : file_size;
  read_limit_ = size_;
  position_ = 0;
  write_error_ = false;
  path_ = path;
  return true;
}

bool File::AttachVector(std::vector<std::uint8_t>& vector) {
  Close();
  error_ = FileError::kNone;
  kind_ = Kind::kVector;
  vector_ = &vector;
  size_ = vector.size();
  read_limit_ = size_;
  position_ = 0;
  write_error_ = false;
  return true;
}

std::uint32_t File::Read(std::uint32_t count, void* destination) {
  if (kind_ == Kind::kNone) {
    return 0;
  }
  count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, Remaining()));
  if (count == 0) {
    return 0;
  }
  if (kind_ == Kind::kVector) {
    std::memcpy(destination, vector_->data() + position_, count);
    position_ += count;
    return count;
  }
  std::uint32_t done = 0;
  if (!PlatformRead(handle_, count, destination, &done)) {
    return 0;
  }
  position_ += done;
  return done;
}

std::uint32_t File::Write(std::uint32_t count, const void* source) {
  if (kind_ == Kind::kNone || count == 0) {
    return 0;
  }
  if (kind_ == Kind::kVector) {
    const std::uint64_t end = position_ + count;
    if (end > vector_->size()) {
      vector_->resize(static_cast<std::size_t>(end));
      size_ = end;
      read_limit_ = end;
    }
    std::memcpy(vector_->data() + position_, source, count);
    position_ = end;
    return count;
  }
  const std::uint32_t allowed = fault::AllowedWrite(path_, count);
  std::uint32_t done = 0;
  const bool written = PlatformWrite(handle_, allowed, source, &done);
  if (!written || allowed != count) {
    // A write the seam cut short stands for a full disk.
    error_ = written ? FileError::kDiskFull : LastPlatformFileError();
    write_error_ = true;
  }
  position_ += done;
  size_ = std::max(size_, position_);
  return done;
}

void File::Seek(std::int64_t distance) {
  if (kind_ == Kind::kVector) {
    if (distance < 0) {
      const std::uint64_t back = 0 - static_cast<std::uint64_t>(distance);
      position_ = back > position_ ? 0 : position_ - back;
    } else {
      position_ = std::min(position_ + static_cast<std::uint64_t>(distance), size_);
    }
  } else if (kind_ == Kind::kFile) {
    if (distance < 0 && 0 - static_cast<std::uint64_t>(distance) > position_) {
      return;
    }
    if (PlatformSeek(handle_, distance)) {
      position_ += static_cast<std::uint64_t>(distance);
    }
  }
}

bool File::Flush() {
  if (kind_ != Kind::kFile) {
    return true;
  }
  const bool refused = writing_ && fault::ShouldFail(FaultStep::kFlush, path_);
  const bool ok = !refused && PlatformFlush(handle_);
  if (!ok && writing_) {
    error_ = refused ? FileError::kOther : LastPlatformFileError();
    write_error_ = true;
  }
  return ok;
}

bool File::Close() {
  bool ok = true;
  if (kind_ == Kind::kFile && handle_ != kNoHandle) {
    const bool refused = writing_ && fault::ShouldFail(FaultStep::kClose, path_);
    ok = PlatformClose(handle_) && !refused;
    if (!ok) {
      error_ = refused ? FileError::kOther : LastPlatformFileError();
    }
  }
  kind_ = Kind::kNone;
  handle_ = kNoHandle;
  vector_ = nullptr;
  size_ = 0;
  position_ = 0;
  read_limit_ = 0;
  write_error_ = false;
  writing_ = false;
  path_.clear();
  return ok;
}

}  // namespace kiv
