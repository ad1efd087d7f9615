// OutputClaims: which output files the rows of a conversion run take, so
// that no two rows end in one file, no row writes over a source of the run,
// and no file written from one source is replaced by another source's output
// for as long as the claims live (the window keeps one object while it is
// open; morvane-cli one per run).
//
// The scheduler asks Claim for each row in list order, before the row's
// worker starts: the earlier row in the list keeps a name, whatever the
// worker count, the image sizes or the timing, and a later row that would
// meet it is refused ("書込失敗") or, in rename mode, takes the next number.
// A claim is a reservation for the rest of the run, also when the row then
// fails to read or to write, so that no later decision depends on when an
// earlier row failed. Once its file is in place, Written records the file's
// identity (taken by the safe writer from the file it moved into place);
// Unwritten says nothing was written. EndRun gives back the reservations
// that were never written, each removing only its own entry, and forgets the
// run's sources; written files stay claimed by the source they were made
// from.
//
// Names are compared as the file system compares them: the folder by its
// identity where it exists, the file name by ComparableName (case-insensitive
// on Windows), and any file that exists by its identity (base/file_identity.h),
// so two spellings of one file are one file. A file of several names (hard
// links) is known by its name only: writing one of its names replaces that
// name alone, so hard-linked outputs are written each on its own. A source is known by its name
// and by its identity, both read when the run's first claim after it was
// noted is decided (before anything of the run can delete it).
//
// What each mode makes of a name that is taken:
//   force:  replaces only what stood there before. A file claimed or written
//           for another source, or another row's source, is in the way: the
//           row is refused and `blockedBy` names that source. A row's own
//           source may be rewritten in place, and a row may replace what a
//           row of the same source claimed or wrote (`sameSource`), so
//           converting a file again replaces its own output. When nothing
//           stood there the file must be created new. While sources are
//           deleted, a file that stood there before is replaced only when it
//           is the row's own source (in place): once its source is gone a PNG
//           may be the only copy of its picture, so any other existing file
//           refuses the row (`reason`), in this run and in any later one.
//   fail:   refuses an existing file, a claimed name and another row's source.
//   rename: takes the next number past every such name.
//
// A dry run asks the same questions in the same order: Claim for each row,
// then Written or Unwritten as the row would end.
//
// Threads: every function may be called from any thread. The scheduler's
// thread decides the rows in list order; a worker claims again only when
// another program took its name meanwhile (rename mode), and two decisions
// made at one moment may then choose one free name, which the exclusive
// write settles. The disk is read only outside the object's lock, so a
// decision that looks at many files never holds up a thread noting a source.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
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
    // What to write, as DecideOverwrite decides, with the claims counted.
    OverwriteDecision overwrite;
    // When the row is refused because of a claim or a source: the source of
    // the row whose output stands (or will stand) there, or the source that
    // stands there. Empty otherwise.
    std::wstring blockedBy;
    // While `overwrite` says write: the claim, for Written or Unwritten.
    std::uint64_t ticket = 0;
    // Force mode: the name is held by a row of the same source file, so the
    // file is replaced whether or not that row has made it yet.
    bool sameSource = false;
    // Why the claims refused the row when no other row stands in the way
    // (empty: the overwrite rule's own refusal).
    std::wstring reason;
  };

  // Notes a file the run reads (a row's source, or a source of another part
  // of a split run), so that no output replaces it. The disk is read at the
  // next Claim, on the deciding thread.
  void AddSource(const std::wstring& source);

  // Decides where the row of `source` writes its output `output` under the
  // OverWrite selection `mode` (0 force, 1 fail, 2 rename, other none) and,
  // when it is to write, claims that name for it. `sourcesDeleted`: the
  // run deletes each source once converted (force mode then replaces no
  // existing file but the row's own source).
  Decision Claim(int mode, const std::wstring& output, const std::wstring& source,
                 bool sourcesDeleted = false);

  // The file of claim `ticket` is in place, with the stamp the safe writer
  // took of it (null when none is known: a dry run).
  void Written(std::uint64_t ticket, const kiv::FileStamp* stamp);
  // Nothing was written for claim `ticket`; its name stays taken until
  // EndRun.
  void Unwritten(std::uint64_t ticket);

  // True when another claim of the same source holds the name of claim
  // `ticket` (its file may stand there already and holds the same image).
  bool TwinHolds(std::uint64_t ticket);

  // The run is over: gives back the names never written and forgets the
  // run's sources; written files stay claimed.
  void EndRun();

  // All spellings noted for the source `source` reaches, `source` first
  // (several when one file was noted by two spellings). Reads no disk.
  std::vector<std::wstring> SpellingsOf(const std::wstring& source);

 private:
  using Identity = std::pair<std::uint64_t, std::uint64_t>;
  enum class State { kInFlight, kWritten, kUnwritten };
  struct Held {
    std::wstring path;
    std::wstring key;
    std::wstring source;
    std::optional<Identity> sourceId;
    std::optional<Identity> identity;  // what stood there, then the file written
    State state = State::kInFlight;
    // Written in an earlier run: it holds its name only while that file
    // still stands there.
    bool earlierRun = false;
  };
  // Who holds a name: the source, and whether it is the asking row's own.
  struct Holder {
    std::wstring source;
    bool same = false;
    bool earlierRun = false;  // the holder's file was written by an earlier run
  };

  // Reads the names and identities of the sources noted since the last call.
  void ResolveSources();
  // The identity noted for `source`, or read now when it was not noted.
  std::optional<Identity> SourceIdentity(const std::wstring& source);
  // True when `path` is taken for the rename and fail decisions.
  bool Taken(const std::wstring& path);
  // Who holds `path` against the row of `source`: the first holder of
  // another source, else one of the same source, else none.
  std::optional<Holder> HolderOf(const std::wstring& path, const std::wstring& source,
                                 const std::optional<Identity>& sourceId);
  // The name's key: the folder by identity when it exists (so "photos/."
  // and "photos" are one folder), else by its spelling; the file name as the
  // file system compares it. A folder's identity is read once a run.
  std::wstring KeyOf(const std::wstring& path);
  // The key's part the folder gives ("volume:index|"), from the run's
  // folders when known; none when the folder cannot be read.
  std::optional<std::wstring> FolderKey(const std::wstring& folder);
  // True when `held` was claimed for the row of `source`. REQUIRES: lock_.
  static bool SameSource(const Held& held, const std::wstring& source,
                         const std::optional<Identity>& sourceId);
  // Removes the entries of `ticket` from the indexes. REQUIRES: lock_.
  void Unindex(std::uint64_t ticket, const Held& held);
  // Removes the identity entry of `ticket` for `identity`. REQUIRES: lock_.
  void UnindexIdentity(std::uint64_t ticket, const std::optional<Identity>& identity);

  kiv::CriticalSection lock_;
  std::uint64_t nextTicket_ = 1;
  std::map<std::uint64_t, Held> held_;
  std::multimap<std::wstring, std::uint64_t> byKey_;
  std::multimap<Identity, std::uint64_t> byIdentity_;
  // The run's sources.
  std::vector<std::wstring> unresolved_;
  std::map<std::wstring, Identity> sourceIds_;
  std::multimap<Identity, std::wstring> sourcesById_;
  std::map<std::wstring, std::wstring> sourcesByKey_;
  // The identity part of the keys of the run's folders, by spelling.
  std::map<std::wstring, std::wstring> folderKeys_;
};
