#include "engine/output_claims.h"

#include <optional>
#include <unordered_map>

#include "base/file_identity.h"
#include "base/folder_listing.h"
#include "base/path.h"
#include "engine/failure_reason.h"
#include "engine/option_set.h"

namespace {

// The key's part its folder gives ("volume:index|"); none when the folder
// cannot be read, and the key is then the whole path's spelling.
std::optional<std::wstring> ReadFolderKey(const std::wstring& folder) {
  kiv::FileStamp stamp;
  if (kiv::ReadFileStamp(folder.empty() ? L"." : folder, &stamp)) {
    return std::to_wstring(stamp.volume) + L":" + std::to_wstring(stamp.index) + L"|";
  }
  return std::nullopt;
}

std::wstring KeyIn(const std::optional<std::wstring>& folderKey, const std::wstring& path,
                   const std::wstring& name) {
  return folderKey ? *folderKey + kiv::ComparableName(name) : L"|" + kiv::ComparableName(path);
}

}  // namespace

std::optional<std::wstring> OutputClaims::FolderKey(const std::wstring& folder) {
  {
    kiv::LockGuard hold(lock_);
    const auto known = folderKeys_.find(folder);
    if (known != folderKeys_.end()) {
      return known->second;
    }
  }
  std::optional<std::wstring> key = ReadFolderKey(folder);
  if (key) {
    kiv::LockGuard hold(lock_);
    folderKeys_.emplace(folder, *key);
  }
  return key;
}

std::wstring OutputClaims::KeyOf(const std::wstring& path) {
  const std::wstring name = kiv::FindFileName(path);
  return KeyIn(FolderKey(path.substr(0, path.size() - name.size())), path, name);
}

void OutputClaims::AddSource(const std::wstring& source) {
  kiv::LockGuard hold(lock_);
  unresolved_.push_back(source);
}

void OutputClaims::ResolveSources() {
  std::vector<std::wstring> noted;
  {
    kiv::LockGuard hold(lock_);
    noted.swap(unresolved_);
  }
  if (noted.empty()) {
    return;
  }
  // Each folder is read once: its identity for the keys, and its entries'
  // identities in one listing. A run's sources are mostly many files of a
  // few folders, and a look per file costs milliseconds on some systems.
  std::unordered_map<std::wstring, std::optional<std::wstring>> folderKeys;
  for (const std::wstring& source : noted) {
    const std::wstring folder = source.substr(0, source.size() - kiv::FindFileName(source).size());
    if (folderKeys.count(folder) == 0) {
      folderKeys[folder] = FolderKey(folder);
    }
  }
  const std::vector<std::optional<kiv::FileStamp>> stamps = kiv::ReadFileStamps(noted);
  struct Resolved {
    std::wstring source;
    std::wstring key;
    Identity identity;
  };
  std::vector<Resolved> resolved;
  for (std::size_t i = 0; i < noted.size(); ++i) {
    if (!stamps[i]) {
      continue;  // gone: it holds no name
    }
    std::wstring& source = noted[i];
    const std::wstring name = kiv::FindFileName(source);
    std::wstring key =
        KeyIn(folderKeys.at(source.substr(0, source.size() - name.size())), source, name);
    resolved.push_back(
        {std::move(source), std::move(key), Identity(stamps[i]->volume, stamps[i]->index)});
  }
  kiv::LockGuard hold(lock_);
  for (const Resolved& r : resolved) {
    if (sourceIds_.emplace(r.source, r.identity).second) {
      sourcesById_.emplace(r.identity, r.source);
    }
    sourcesByKey_.emplace(r.key, r.source);
  }
}

std::optional<OutputClaims::Identity> OutputClaims::SourceIdentity(const std::wstring& source) {
  {
    kiv::LockGuard hold(lock_);
    const auto noted = sourceIds_.find(source);
    if (noted != sourceIds_.end()) {
      return noted->second;
    }
  }
  kiv::FileStamp stamp;
  if (kiv::ReadFileStamp(source, &stamp)) {
    return Identity(stamp.volume, stamp.index);
  }
  return std::nullopt;
}

bool OutputClaims::SameSource(const Held& held, const std::wstring& source,
                              const std::optional<Identity>& sourceId) {
  return held.source == source || (held.sourceId && sourceId && *held.sourceId == *sourceId);
}

bool OutputClaims::Taken(const std::wstring& path) {
  if (kiv::ListedFileExists(path)) {
    return true;
  }
  // Nothing stands there: an earlier run's file that was removed since no
  // longer takes the name.
  const std::wstring key = KeyOf(path);
  kiv::LockGuard hold(lock_);
  for (auto [it, end] = byKey_.equal_range(key); it != end; ++it) {
    if (!held_.at(it->second).earlierRun) {
      return true;
    }
  }
  return sourcesByKey_.count(key) != 0;
}

std::optional<OutputClaims::Holder> OutputClaims::HolderOf(
    const std::wstring& path, const std::wstring& source, const std::optional<Identity>& sourceId) {
  // Everything the answer needs from the disk, read before the lock.
  const std::wstring key = KeyOf(path);
  kiv::FileStamp stamp;
  const bool exists = kiv::ReadListedStamp(path, &stamp);
  const Identity identity(stamp.volume, stamp.index);
  // A file of several names (hard links) met under another name is another
  // entry: writing replaces only the name written, so only a file of one
  // name is known by its identity (two spellings of one entry).
  const bool byIdentity = exists && stamp.links <= 1;
  std::vector<std::pair<std::wstring, std::wstring>> inFlight;  // path, source
#ifndef _WIN32
  // A file just moved into place by a row not yet reported written may stand
  // under a name the keys cannot tell apart (a hard link, a case-insensitive
  // mount). Not on Windows: there a look at a file while it is being moved
  // into place can make the move fail, and names that differ only in case
  // are folded by ComparableName.
  if (byIdentity) {
    std::vector<std::pair<std::wstring, std::wstring>> candidates;
    {
      kiv::LockGuard hold(lock_);
      for (const auto& [ticket, held] : held_) {
        if (held.state == State::kInFlight && !SameSource(held, source, sourceId)) {
          candidates.emplace_back(held.path, held.source);
        }
      }
    }
    for (auto& candidate : candidates) {
      kiv::FileStamp made;
      if (kiv::ReadFileStamp(candidate.first, &made) && made.SameFile(stamp)) {
        inFlight.push_back(std::move(candidate));
      }
    }
  }
#endif

  std::vector<std::wstring> sameFileSources;
  std::optional<Holder> same;  // a holder of the asking row's own source
  {
    kiv::LockGuard hold(lock_);
    auto consider = [&](const Held& held) -> bool {
      if (!SameSource(held, source, sourceId)) {
        return true;
      }
      if (!same || same->earlierRun) {
        same = Holder{held.source, true, held.earlierRun};
      }
      return false;
    };
    for (auto [it, end] = byKey_.equal_range(key); it != end; ++it) {
      const Held& held = held_.at(it->second);
      if (held.earlierRun && !(exists && held.identity && *held.identity == identity)) {
        continue;  // that file is gone or was replaced since
      }
      if (consider(held)) {
        return Holder{held.source, false};
      }
    }
    if (byIdentity) {
      for (auto [it, end] = byIdentity_.equal_range(identity); it != end; ++it) {
        const Held& held = held_.at(it->second);
        if (!held.earlierRun && consider(held)) {
          return Holder{held.source, false};
        }
      }
    }
    if (!inFlight.empty()) {
      return Holder{inFlight.front().second, false};
    }
    // Another row's source, by name or by identity; a row may rewrite its own.
    auto other = [&](const std::wstring& noted) {
      const auto id = sourceIds_.find(noted);
      return noted != source && !(sourceId && id != sourceIds_.end() && id->second == *sourceId);
    };
    const auto byName = sourcesByKey_.find(key);
    if (byName != sourcesByKey_.end() && other(byName->second)) {
      return Holder{byName->second, false};
    }
    if (!byIdentity) {
      return same;
    }
    for (auto [it, end] = sourcesById_.equal_range(identity); it != end; ++it) {
      if (other(it->second)) {
        sameFileSources.push_back(it->second);
      }
    }
  }
  // A source noted by identity counts only while it still is that file: one
  // deleted since (by this run or another part) may have left its identity
  // to a new file.
  for (const std::wstring& noted : sameFileSources) {
    kiv::FileStamp now;
    if (kiv::ReadFileStamp(noted, &now) && now.SameFile(stamp)) {
      return Holder{noted, false};
    }
  }
  return same;
}

OutputClaims::Decision OutputClaims::Claim(int mode, const std::wstring& output,
                                           const std::wstring& source, bool sourcesDeleted) {
  ResolveSources();
  const std::optional<Identity> sourceId = SourceIdentity(source);
  Decision decision;
  decision.overwrite =
      DecideOverwrite(mode, output, [this](const std::wstring& path) { return Taken(path); });
  OverwriteDecision& overwrite = decision.overwrite;
  if (overwrite.action == OverwriteDecision::Action::kRefuse) {
    const std::optional<Holder> holder = HolderOf(output, source, sourceId);
    if (holder && !holder->same) {
      decision.blockedBy = holder->source;
    }
    return decision;
  }
  if (overwrite.action != OverwriteDecision::Action::kWrite) {
    return decision;
  }
  if (mode == static_cast<int>(OverwriteMode::kForce)) {
    const std::optional<Holder> holder = HolderOf(overwrite.path, source, sourceId);
    if (holder && !holder->same) {
      overwrite.action = OverwriteDecision::Action::kRefuse;
      decision.blockedBy = holder->source;
      return decision;
    }
    // Only a file that stood there before, or one of the same source, may be
    // replaced.
    decision.sameSource = holder.has_value();
    kiv::FileStamp there;
    const bool exists = kiv::ReadListedStamp(overwrite.path, &there);
    overwrite.createNew = !decision.sameSource && !exists;
    const bool ownSource = exists && sourceId && *sourceId == Identity(there.volume, there.index);
    const bool madeThisRun = holder && !holder->earlierRun;
    if (sourcesDeleted && exists && !ownSource && !madeThisRun) {
      overwrite.action = OverwriteDecision::Action::kRefuse;
      decision.sameSource = false;
      decision.reason = kReasonExistsWhileDeleting;
      return decision;
    }
  }

  Held held;
  held.path = overwrite.path;
  held.key = KeyOf(overwrite.path);
  held.source = source;
  held.sourceId = sourceId;
  kiv::FileStamp stamp;
  // A file with other names is not indexed by identity: the write replaces
  // only this name, and the others keep the old file.
  if (kiv::ReadListedStamp(overwrite.path, &stamp) && stamp.links <= 1) {
    held.identity = Identity(stamp.volume, stamp.index);
  }
  kiv::LockGuard hold(lock_);
  decision.ticket = nextTicket_++;
  byKey_.emplace(held.key, decision.ticket);
  if (held.identity) {
    byIdentity_.emplace(*held.identity, decision.ticket);
  }
  held_.emplace(decision.ticket, std::move(held));
  return decision;
}

void OutputClaims::Unindex(std::uint64_t ticket, const Held& held) {
  for (auto [it, end] = byKey_.equal_range(held.key); it != end; ++it) {
    if (it->second == ticket) {
      byKey_.erase(it);
      break;
    }
  }
  UnindexIdentity(ticket, held.identity);
}

void OutputClaims::UnindexIdentity(std::uint64_t ticket, const std::optional<Identity>& identity) {
  if (!identity) {
    return;
  }
  for (auto [it, end] = byIdentity_.equal_range(*identity); it != end; ++it) {
    if (it->second == ticket) {
      byIdentity_.erase(it);
      return;
    }
  }
}

void OutputClaims::Written(std::uint64_t ticket, const kiv::FileStamp* stamp) {
  kiv::LockGuard hold(lock_);
  const auto it = held_.find(ticket);
  if (it == held_.end()) {
    return;
  }
  Held& held = it->second;
  held.state = State::kWritten;
  kiv::NoteFileMade(held.path);  // a listing of its folder taken before now knows the name
  if (stamp != nullptr) {
    UnindexIdentity(ticket, held.identity);
    held.identity = Identity(stamp->volume, stamp->index);
    byIdentity_.emplace(*held.identity, ticket);
  }
}

void OutputClaims::Unwritten(std::uint64_t ticket) {
  kiv::LockGuard hold(lock_);
  const auto it = held_.find(ticket);
  if (it != held_.end() && it->second.state == State::kInFlight) {
    it->second.state = State::kUnwritten;
  }
}

bool OutputClaims::TwinHolds(std::uint64_t ticket) {
  kiv::LockGuard hold(lock_);
  const auto it = held_.find(ticket);
  if (it == held_.end()) {
    return false;
  }
  const Held& own = it->second;
  for (auto [other, end] = byKey_.equal_range(own.key); other != end; ++other) {
    if (other->second != ticket && SameSource(held_.at(other->second), own.source, own.sourceId)) {
      return true;
    }
  }
  return false;
}

void OutputClaims::EndRun() {
  kiv::LockGuard hold(lock_);
  for (auto it = held_.begin(); it != held_.end();) {
    if (it->second.state == State::kWritten) {
      it->second.earlierRun = true;
      ++it;
      continue;
    }
    Unindex(it->first, it->second);
    it = held_.erase(it);
  }
  unresolved_.clear();
  folderKeys_.clear();
  sourceIds_.clear();
  sourcesById_.clear();
  sourcesByKey_.clear();
}

std::vector<std::wstring> OutputClaims::SpellingsOf(const std::wstring& source) {
  std::vector<std::wstring> spellings{source};
  kiv::LockGuard hold(lock_);
  const auto id = sourceIds_.find(source);
  if (id != sourceIds_.end()) {
    for (auto [it, end] = sourcesById_.equal_range(id->second); it != end; ++it) {
      if (it->second != source) {
        spellings.push_back(it->second);
      }
    }
  }
  return spellings;
}
