// The portable part of kiv::ReplacingFile: the temporary's name, the checks
// before the move, and the clean-up. The moves themselves live in
// replacing_file_posix.cpp and replacing_file_win32.cpp.
#include "base/replacing_file.h"

#include <atomic>
#include <chrono>
#include <cwchar>
#include <mutex>
#include <set>
#include <vector>

#include "base/file_fault.h"
#include "base/file_finder.h"
#include "base/folder_listing.h"
#include "base/path.h"
#include "base/process.h"
#include "base/temporary_room.h"

namespace kiv {
namespace {

constexpr wchar_t kPrefix[] = L".morvane-";
constexpr wchar_t kSuffix[] = L".tmp";
constexpr int kNameAttempts = 100;

// A name part that differs between processes (the clock's ticks at start
// and the object's address) and between calls within one (a counter).
std::wstring UniquePart(const void* self) {
  static std::atomic<unsigned> counter{0};
  static const auto start =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned long long mix =
      start ^ (static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(self)) << 16);
  wchar_t buffer[48];
  std::swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), L"%08llx%04x", mix & 0xFFFFFFFFFFFFull,
                counter.fetch_add(1) & 0xFFFFu);
  return buffer;
}

// The owner part of a temporary's name: what lies between the prefix and the
// next '-'; empty when the name has no owner part.
std::wstring OwnerOf(const std::wstring& name) {
  const std::size_t start = std::wcslen(kPrefix);
  const std::size_t end = name.find(L'-', start);
  return end == std::wstring::npos ? std::wstring() : name.substr(start, end - start);
}

// True the first time a folder is named in this process, so that each folder
// is swept once per process however many files are written into it.
bool FirstTimeIn(const std::wstring& folder) {
  static std::mutex lock;
  static std::set<std::wstring> seen;
  const std::lock_guard<std::mutex> hold(lock);
  return seen.insert(folder).second;
}

// The kCorrupt fault: flips the bits of the byte in the middle of the file at `path`.
void CorruptForTest(const std::wstring& path) {
  File file;
  if (!file.OpenRead(path) || file.size() == 0 || file.size() > (std::uint64_t{1} << 30)) {
    return;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
  file.Read(static_cast<std::uint32_t>(bytes.size()), bytes.data());
  file.Close();
  bytes[bytes.size() / 2] ^= 0xFF;
  if (file.OpenWrite(path)) {
    file.Write(static_cast<std::uint32_t>(bytes.size()), bytes.data());
    file.Close();
  }
}

// Removes the temporaries in `base` (a folder path ending in a separator) that
// `remove` picks by name, and the rooms it picks with the files in them.
// Returns how many files were removed.
int RemoveTemporaries(const std::wstring& base, const std::wstring& pattern,
                      bool (*remove)(const std::wstring& name)) {
  std::vector<std::wstring> files;
  std::vector<std::wstring> rooms;
  FileFinder finder;
  for (std::wstring name = finder.First(base + pattern); !name.empty(); name = finder.Next()) {
    if (ReplacingFile::IsTemporaryName(name) && remove(name)) {
      (finder.IsDirectory() ? rooms : files).push_back(base + name);
    }
  }
  finder.Close();
  int removed = 0;
  for (const std::wstring& room : rooms) {
    removed += RemoveTemporaries(AddSeparator(room), kPrefix + std::wstring(L"*") + kSuffix,
                                 [](const std::wstring&) { return true; });
    RemoveFolder(room);
  }
  for (const std::wstring& file : files) {
    removed += RemoveFile(file) ? 1 : 0;
  }
  return removed;
}

}  // namespace

int ReplacingFile::RemoveStaleTemporaries(const std::wstring& folder) {
  return RemoveTemporaries(AddSeparator(folder), kPrefix + std::wstring(L"*") + kSuffix,
                           [](const std::wstring& name) { return IsOwnerGone(OwnerOf(name)); });
}

void ReplacingFile::RemoveOwnTemporaries(const std::wstring& folder) {
  RemoveTemporaries(AddSeparator(folder.empty() ? std::wstring(L".") : folder),
                    kPrefix + CurrentProcessOwner() + L"-*",
                    [](const std::wstring&) { return true; });
}

ReplacingFile::ReplacingFile(const std::wstring& target, Place place) : target_(target) {
  if (target.empty() || FindFileName(target).empty()) {
    return;
  }
  const std::wstring folder = target.substr(0, target.size() - FindFileName(target).size());
  if (FirstTimeIn(folder)) {
    RemoveStaleTemporaries(folder.empty() ? L"." : folder);
  }
  if (place == Place::kInRoom) {
    room_ = temporary_rooms::Enter(folder);
  }
  const std::wstring owner = CurrentProcessOwner();
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring candidate =
        (room_.empty() ? folder : room_) + kPrefix + owner + L"-" + UniquePart(this) + kSuffix;
    if (stream_.OpenCreateNew(candidate)) {
      temporary_ = candidate;
      return;
    }
    error_ = stream_.error();
    // Only a name taken by someone else is worth another try.
    if (error_ != FileError::kExists && !FileExists(candidate)) {
      return;
    }
  }
}

ReplacingFile::~ReplacingFile() {
  if (!done_) {
    Discard();
  }
  if (!room_.empty()) {
    temporary_rooms::Leave(room_);
  }
}

void ReplacingFile::Discard() {
  stream_.Close();
  if (!temporary_.empty()) {
    RemoveFile(temporary_);
  }
  done_ = true;
}

bool ReplacingFile::Finish(bool durable) {
  if (sealed_ && !done_) {
    return true;  // flushed and closed already; the stamp is taken
  }
  if (done_ || !IsOpen()) {
    return false;
  }
  const bool written = !stream_.HasWriteError();
  const bool flushed = written && (!durable || stream_.Flush());
  const bool closed = stream_.Close();
  if (!flushed || !closed) {
    error_ = stream_.error();
    Discard();
    return false;
  }
  if (fault::ShouldFail(FaultStep::kCorrupt, temporary_)) {
    CorruptForTest(temporary_);
  }
  // Only its size and time are compared with the file found at the target
  // after the move (NoteWritten).
  hasWritten_ = ReadSizeAndTime(temporary_, &written_);
  return true;
}

bool ReplacingFile::Seal() {
  sealed_ = Finish(true);
  return sealed_;
}

void ReplacingFile::NoteWritten() {
  FileStamp moved;
  hasWritten_ = hasWritten_ && ReadFileStamp(target_, &moved) && moved.size == written_.size &&
                moved.seconds == written_.seconds && moved.nanoseconds == written_.nanoseconds;
  if (hasWritten_) {
    written_ = moved;
  }
}

bool ReplacingFile::Commit(ReadOnlyTarget readOnly) {
  const bool replacing = ListedFileExists(target_);
  if (replacing && readOnly == ReadOnlyTarget::kKeep && PlatformIsReadOnly(target_)) {
    error_ = FileError::kAccessDenied;
    Discard();
    return false;
  }
  const bool durable = replacing || durable_;
  if (!Finish(durable)) {
    return false;
  }
  if (fault::ShouldFail(FaultStep::kMove, target_)) {
    error_ = FileError::kOther;
    hasWritten_ = false;
    Discard();
    return false;
  }
  if (!PlatformReplace(temporary_, target_, durable)) {
    error_ = LastPlatformFileError();
    hasWritten_ = false;
    Discard();
    return false;
  }
  done_ = true;
  NoteFileMade(target_);
  NoteWritten();
  return true;
}

ReplacingFile::Result ReplacingFile::CommitExclusive() {
  if (!Finish(durable_)) {
    return Result::kFailed;
  }
  Result result = Result::kFailed;
  error_ = FileError::kOther;
  if (!fault::ShouldFail(FaultStep::kMove, target_)) {
    result = PlatformMoveNew(temporary_, target_, durable_);
    error_ = result == Result::kFailed ? LastPlatformFileError() : FileError::kNone;
  }
  if (result != Result::kDone) {
    hasWritten_ = false;
    Discard();
    return result;
  }
  done_ = true;
  NoteFileMade(target_);
  NoteWritten();
  return result;
}

bool ReplacingFile::IsTemporaryName(const std::wstring& name) {
  const std::size_t prefix = std::wcslen(kPrefix);
  const std::size_t suffix = std::wcslen(kSuffix);
  return name.size() > prefix + suffix && name.compare(0, prefix, kPrefix) == 0 &&
         name.compare(name.size() - suffix, suffix, kSuffix) == 0;
}

}  // namespace kiv
