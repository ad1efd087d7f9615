// kiv::ReplacingFile: writes a file safely. The bytes go into a temporary
// file in the target's folder; only a complete file, every write, flush and
// close checked, is moved over the target. Whatever happens, the target is
// either the earlier file untouched or the new file whole, and no partial
// file stays behind.
//
// The temporary is named ".morvane-<owner>-<unique>.tmp", <owner> naming the
// writing process and its machine (base/process.h; IsTemporaryName
// recognises such names), and created exclusively, so two writers never
// share one. A process killed while writing leaves its temporary behind; the
// first writer of a later process in that folder removes the temporaries of
// this machine whose owner is gone (RemoveStaleTemporaries) and leaves those
// of running processes and of other machines alone.
//
// A commit notes the identity, size and time of the file it moved into
// place (WrittenStamp), read at the target after the move (a FAT volume gives
// a file another identity when it is renamed to a longer name) and accepted
// only when its size and time are those of the temporary: what stands at the
// target later is then known to be this file, or not, whatever another
// program moved there meanwhile.
//
// Threads: one object belongs to one thread; distinct objects may write at
// once, also to the same folder. Ownership: the object owns the temporary
// file and removes it in its destructor unless a commit moved it.
#pragma once

#include <string>

#include "base/file.h"
#include "base/file_identity.h"

namespace kiv {

class ReplacingFile {
 public:
  enum class Result {
    kDone,    // the target now holds the new file
    kExists,  // CommitExclusive only: something exists at the target; it
              // was left alone and the temporary is removed
    kFailed,  // a write, flush, close or the move failed; the target is as
              // it was and the temporary is removed
  };

  // Where the temporary is made.
  enum class Place {
    kBeside,  // in the target's folder
    kInRoom,  // in this process's room of the target's folder (base/temporary_room.h), so
              // that only the move makes a new name in the target's folder; beside the
              // target when no room can be made. The caller calls temporary_rooms::CloseIdle
              // when its run ends.
  };

  // Creates the temporary for `target`. Check IsOpen: it is false when the
  // folder does not exist or cannot be written.
  explicit ReplacingFile(const std::wstring& target, Place place = Place::kBeside);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // What Commit does with a target the user made read-only.
  enum class ReadOnlyTarget {
    kReplace,  // replace it like any other file (the new file is writable)
    kKeep,     // leave it as it is, attribute and contents: the commit fails
  };

  // Makes the commit durable whatever stands at the target: the file is put
  // on the storage device through the handle that wrote it, before it is
  // closed and moved, and the move itself is written through. Call it when
  // the file is to become the only copy of its data (its source is to be
  // deleted); a flush that fails fails the commit.
  void MakeDurable() { durable_ = true; }

  // True while the temporary is open for writing (before a commit).
  bool IsOpen() const { return stream_.kind() == File::Kind::kFile; }

  // The stream over the temporary file. Write into it; do not close or
  // reopen it.
  File& stream() { return stream_; }

  // Checks that every write succeeded, closes the temporary and moves it
  // over the target (replacing it). A read-only target (no write permission
  // on POSIX, the read-only attribute on Windows) is replaced with
  // kReplace, its attribute lifted for the move; with kKeep it is left as
  // it is and the commit fails. True on success. On failure the temporary is
  // removed and the target is left as it was (its read-only attribute
  // restored). When a file stands at the target, the temporary is flushed to
  // the storage device before the move, so that a power cut leaves the old
  // file or the new one whole; a fresh target replaces nothing and is not
  // flushed (SyncToDisk in path.h makes it durable when that matters).
  // REQUIRES: IsOpen() (otherwise false).
  bool Commit(ReadOnlyTarget readOnly = ReadOnlyTarget::kReplace);

  // Checks that every write succeeded, flushes the temporary to the storage
  // device and closes it, without moving it: its bytes can then be read back
  // from temporary_path() before a commit moves it (which flushes no more).
  // True on success; on failure the temporary is removed and a commit fails.
  // REQUIRES: IsOpen() (otherwise false).
  bool Seal();
  // As Commit, but never replaces (and flushes only after MakeDurable): when
  // anything exists at the target the result is kExists and the target is
  // untouched. Two writers racing for
  // one name get kDone for one and kExists for the other.
  Result CommitExclusive();

  // After a successful commit: the stamp of the file moved into place, taken
  // from the temporary just before the move. False before, after a failed
  // commit, or when the system would not tell.
  bool WrittenStamp(FileStamp* stamp) const {
    *stamp = written_;
    return hasWritten_;
  }

  // Why the temporary could not be made or a commit failed; kNone before any failure.
  FileError error() const { return error_; }

  const std::wstring& target() const { return target_; }
  const std::wstring& temporary_path() const { return temporary_; }

  // True for a file name (without folder) of the form this class gives its
  // temporaries, so that folder scans can skip them.
  static bool IsTemporaryName(const std::wstring& name);

  // Removes the temporaries in `folder` whose owner process is surely gone
  // (kiv::IsOwnerGone): those a killed writer of this machine left, the
  // rooms of such a writer with the temporaries in them included.
  // Temporaries of running processes, of the current one, of another
  // platform and of other machines (whose processes cannot be seen from
  // here) stay. Returns how many were removed. The constructor calls it for
  // each folder the first time this process writes there.
  static int RemoveStaleTemporaries(const std::wstring& folder);

  // Removes this process's own temporaries in `folder` and in its room
  // there, and the room: what a run ended at once, in the middle of its
  // writes, leaves behind. REQUIRES: no write of this process is going on
  // in `folder` any more.
  static void RemoveOwnTemporaries(const std::wstring& folder);

 private:
  // Checks, flushes when `durable`, and closes; removes the temporary on
  // failure. Notes the temporary's stamp for NoteWritten.
  bool Finish(bool durable);
  // After the move: reads the target's stamp for WrittenStamp, kept only
  // when its size and time are the temporary's.
  void NoteWritten();
  void Discard();
  // Platform parts (replacing_file_win32.cpp / replacing_file_posix.cpp).
  static bool PlatformReplace(const std::wstring& from, const std::wstring& to, bool durable);
  static Result PlatformMoveNew(const std::wstring& from, const std::wstring& to, bool durable);
  static bool PlatformIsReadOnly(const std::wstring& path);

  std::wstring target_;
  std::wstring temporary_;
  std::wstring room_;  // the room the temporary is in; empty when beside the target
  File stream_;
  FileError error_ = FileError::kNone;
  bool done_ = false;
  bool sealed_ = false;  // Seal closed the temporary, flushed
  FileStamp written_;
  bool hasWritten_ = false;
  bool durable_ = false;
};

}  // namespace kiv
