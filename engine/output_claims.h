// OutputClaims: which output files one conversion run has taken, so that no
// two rows of a run end in one file.
//
// Before writing, a worker asks Claim for its row. Claim takes the overwrite
// decision (output_naming.h) with the run's own claims counted, and holds the
// chosen name until the run ends; once the file is written, Written records
// the file's identity, and a failed write gives the name back (Release).
// Names are compared as the file system compares them: the folder by its
// identity where it exists, the file name by ComparableName (case-insensitive
// on Windows), and any file that exists by its identity (base/file_identity.h),
// so two spellings of one file are one file.
//
// What each mode makes of a name taken in this run:
//   force:  replaces only what stood there before the run. A file this run
//           wrote or is writing, or the source of another row of this run, is
//           in the way: the row is refused ("書込失敗") and `blockedBy` names
//           the source whose output (or which source) it is. A row's own
//           source may be rewritten in place, and a row whose source was
//           registered twice may write over its twin's output: both hold the
//           same image (`sameSource`). When nothing stood there, the
//           file must be created new, so a writer reaching it through another
//           spelling at the same moment cannot be replaced either.
//   fail:   refuses an existing file, as before, and also a name being written.
//   rename: takes the next number past every name that exists or is claimed.
// A new run (Reset) forgets everything: it may replace an earlier run's files.
//
// A dry run asks the same questions: Claim for each row in list order, and
// Written for each name it would write (nothing is written, so only names
// and files that stood before are noted); it never releases. The names it
// keeps make later rows meet the collisions a real run would meet.
//
// Threads: every function may be called from any thread; Claim is atomic
// against every other call. Each answer reads the disk at the moment of the
// call.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/file_identity.h"
#include "base/lock.h"
#include "engine/output_naming.h"

class OutputClaims {
 public:
  OutputClaims() = default;
  OutputClaims(const OutputClaims&) = delete;
  OutputClaims& operator=(const OutputClaims&) = delete;

  // The answer of Claim.
  struct Decision {
    // What to write, as DecideOverwrite decides, with this run counted.
    OverwriteDecision overwrite;
    // When the row is refused because of this run: the source of the row
    // whose output stands (or is being written) there, or the source that
    // stands there. Empty otherwise.
    std::wstring blockedBy;
    // While `overwrite` says write: the claim, for Written or Release.
    std::uint64_t ticket = 0;
    // Force mode: the name is held by another row of the same source file,
    // so the file is replaced whether or not the twin has made it yet.
    bool sameSource = false;
  };

  // Starts a new run: forgets every claim, written file and source.
  void Reset();

  // Notes a file this run reads (a row's source), so that no other row's
  // output replaces it before or after it is read. A missing file is skipped.
  // The disk is read only at the next Claim, on the claiming thread (before
  // that claim can let anything be written), so noting the sources of a
  // large drop costs the registering thread no file look-ups.
  void AddSource(const std::wstring& source);

  // Decides where the row of `source` writes its output `output` under the
  // OverWrite selection `mode` (0 force, 1 fail, 2 rename, other none) and,
  // when it is to write, claims that name for it.
  Decision Claim(int mode, const std::wstring& output, const std::wstring& source);

  // The file of claim `ticket` is written at `path`: it stays taken for the
  // rest of the run, by name and by identity.
  void Written(std::uint64_t ticket, const std::wstring& path);

  // The write of claim `ticket` did not happen: its name is free again.
  void Release(std::uint64_t ticket);

 private:
  using Identity = std::pair<std::uint64_t, std::uint64_t>;
  struct Held {
    std::wstring path;
    std::wstring key;
    bool hasIdentity = false;
    Identity identity;
    std::wstring source;
  };

  // Whom `path` belongs to in this run: the source of the row that claimed
  // or wrote it, or the other row's source that it is; none when it is free
  // for the row reading `ownSource`. REQUIRES: lock_ held.
  std::optional<std::wstring> HolderOf(const std::wstring& path, const std::wstring& ownSource);
  // True when another row claimed the name of `path`. REQUIRES: lock_ held.
  bool NameClaimed(const std::wstring& path);
  // True when both are one source: the same spelling, or one file by the
  // identities AddSource noted (the disk is not read: a file being moved
  // into place must not be disturbed). REQUIRES: lock_ held.
  bool SameSource(const std::wstring& a, const std::wstring& b) const;
  // Reads the identities of the sources noted since the last call.
  // REQUIRES: lock_ held.
  void ResolveSources();
  // Claims `path` for the row of `source`. REQUIRES: lock_ held.
  std::uint64_t Take(const std::wstring& path, const std::wstring& source);

  kiv::CriticalSection lock_;
  std::uint64_t nextTicket_ = 1;
  std::map<std::uint64_t, Held> held_;
  std::map<std::wstring, std::uint64_t> byKey_;
  std::map<Identity, std::uint64_t> byIdentity_;
  std::map<Identity, std::wstring> sources_;
  std::map<std::wstring, Identity> sourceIds_;
  std::vector<std::wstring> unresolved_;  // noted sources not yet looked at
  // Claims neither written nor released: their file may already be in
  // place under another name for it before Written records its identity.
  std::set<std::uint64_t> inFlight_;
};
