// kiv::File: the program's one byte stream, over a disk file or over a
// growable byte vector in memory.
//
// Reads never fail loudly: at the end of the data they return fewer bytes or
// none, and a failure of the platform reads as 0 bytes. Writes report the
// bytes written; a stream remembers whether any write since it was opened
// fell short (HasWriteError), so a writer can check everything once at the
// end.
//
// Threads: a stream belongs to one thread at a time. Distinct streams may be
// used on distinct threads at once.
//
// Ownership: a stream owns its open file handle and closes it in Close and
// in its destructor. It never owns an attached vector: the caller keeps the
// vector alive (and leaves it alone) while the stream uses it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_error.h"

namespace kiv {

class File {
 public:
  enum class Kind { kNone, kFile, kVector };

  File() = default;
  virtual ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Closes what was open, then opens an existing file for reading (others may
  // read it too, nobody may write it meanwhile). True on success: kind file,
  // size and read limit = the file's size, position 0. On failure the kind
  // is none.
  bool OpenRead(const std::wstring& path);

  // Closes what was open, then creates the file or truncates an existing one
  // for writing. True on success: kind file, size, position and read limit
  // 0. On failure the kind is none and an existing file is left as it was.
  bool OpenWrite(const std::wstring& path);

  // Closes what was open, then creates a new file for writing; fails when
  // anything already exists at `path`. Otherwise as OpenWrite.
  bool OpenCreateNew(const std::wstring& path);

  // Closes what was open, then works on `vector`: size and read limit = the
  // vector's size, position 0. Always true.
  // REQUIRES: `vector` outlives the attachment (until Close or the next open).
  bool AttachVector(std::vector<std::uint8_t>& vector);

  // Reads up to `count` bytes into `destination`, never past the read limit.
  // Returns the bytes read (0 at the end, for kind none, on a file opened for
  // writing and when the platform read fails). Destination bytes beyond what
  // was read are left untouched.
  std::uint32_t Read(std::uint32_t count, void* destination);

  // Writes `count` bytes from `source` at the position. A vector grows as
  // needed (new bytes are 0). Returns the bytes written: 0 for kind none;
  // fewer than `count` when the platform refused (the disk is full, ...),
  // which also sets the write error flag.
  std::uint32_t Write(std::uint32_t count, const void* source);

  // Moves the position by `distance` relative to the current one. A vector
  // stream's position stays within 0..size; a file stream's position stays
  // at or above 0.
  void Seek(std::int64_t distance);

  // Asks the platform to write the file's buffers through to the disk.
  // True for kind vector and kind none; for a file, whether the platform
  // succeeded (a failure also sets the write error flag).
  bool Flush();

  // Closes the file handle (kind file) or forgets the vector (kind vector);
  // then the kind is none. False when closing the file failed, which can
  // mean that written data was lost; true otherwise. Clears the write error
  // flag (read it before closing).
  bool Close();

  Kind kind() const { return kind_; }
  bool IsOpen() const { return kind_ != Kind::kNone; }
  // Bytes in the source: the file's size at opening for reading, the bytes
  // written for writing, the vector's size.
  std::uint64_t size() const { return size_; }
  std::uint64_t position() const { return position_; }
  // Bytes a read can still return from the position.
  std::uint64_t Remaining() const { return position_ < read_limit_ ? read_limit_ - position_ : 0; }
  // True when a write or flush fell short since the stream was opened.
  bool HasWriteError() const { return write_error_; }
  // Why the last open, write, flush or close of this stream failed; kNone when none failed
  // since the last open. Kept after Close.
  FileError error() const { return error_; }
  // The path of the open file (empty for the other kinds).
  const std::wstring& path() const { return path_; }

 private:
  enum class Mode { kRead, kTruncate, kCreateNew };
  bool OpenFile(const std::wstring& path, Mode mode);
  // Platform parts (file_win32.cpp / file_posix.cpp). The handle is a
  // HANDLE on Windows and a descriptor on POSIX, stored as an integer;
  // kNoHandle means none.
  static constexpr std::intptr_t kNoHandle = -1;
  static std::intptr_t PlatformOpen(const std::wstring& path, Mode mode, std::uint64_t* size);
  static bool PlatformRead(std::intptr_t handle, std::uint32_t count, void* destination,
                           std::uint32_t* done);
  static bool PlatformWrite(std::intptr_t handle, std::uint32_t count, const void* source,
                            std::uint32_t* done);
  static bool PlatformSeek(std::intptr_t handle, std::int64_t distance);
  static bool PlatformFlush(std::intptr_t handle);
  static bool PlatformClose(std::intptr_t handle);

  Kind kind_ = Kind::kNone;
  std::intptr_t handle_ = kNoHandle;
  std::vector<std::uint8_t>* vector_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t read_limit_ = 0;
  bool write_error_ = false;
  FileError error_ = FileError::kNone;
  bool writing_ = false;
  std::wstring path_;
};

}  // namespace kiv
