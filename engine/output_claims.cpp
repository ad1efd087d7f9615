#include "engine/output_claims.h"

#include "base/path.h"
#include "engine/option_set.h"

namespace {

// The name's key: the folder by identity when it exists (so "photos/." and
// "photos" are one folder), else by its spelling; the file name as the file
// system compares it.
std::wstring KeyOf(const std::wstring& path) {
  const std::wstring name = kiv::FindFileName(path);
  const std::wstring folder = path.substr(0, path.size() - name.size());
  kiv::FileStamp stamp;
  if (kiv::ReadFileStamp(folder.empty() ? L"." : folder, &stamp)) {
    return std::to_wstring(stamp.volume) + L":" + std::to_wstring(stamp.index) + L"|" +
           kiv::ComparableName(name);
  }
  return L"|" + kiv::ComparableName(path);
}

}  // namespace

void OutputClaims::Reset() {
  kiv::LockGuard hold(lock_);
  held_.clear();
  byKey_.clear();
  byIdentity_.clear();
  sources_.clear();
  sourceIds_.clear();
  unresolved_.clear();
  inFlight_.clear();
}

void OutputClaims::AddSource(const std::wstring& source) {
  kiv::LockGuard hold(lock_);
  unresolved_.push_back(source);
}

void OutputClaims::ResolveSources() {
  for (const std::wstring& source : unresolved_) {
    kiv::FileStamp stamp;
    if (kiv::ReadFileStamp(source, &stamp)) {
      sources_.emplace(Identity(stamp.volume, stamp.index), source);
      sourceIds_.emplace(source, Identity(stamp.volume, stamp.index));
    }
  }
  unresolved_.clear();
}

bool OutputClaims::SameSource(const std::wstring& a, const std::wstring& b) const {
  if (a == b) {
    return true;
  }
  const auto first = sourceIds_.find(a);
  const auto second = sourceIds_.find(b);
  return first != sourceIds_.end() && second != sourceIds_.end() && first->second == second->second;
}

bool OutputClaims::NameClaimed(const std::wstring& path) {
  return byKey_.count(KeyOf(path)) != 0;
}

std::optional<std::wstring> OutputClaims::HolderOf(const std::wstring& path,
                                                   const std::wstring& ownSource) {
  const auto claimed = byKey_.find(KeyOf(path));
  if (claimed != byKey_.end()) {
    return held_.at(claimed->second).source;
  }
  kiv::FileStamp stamp;
  if (!kiv::ReadFileStamp(path, &stamp)) {
    return std::nullopt;
  }
  const Identity identity(stamp.volume, stamp.index);
  const auto written = byIdentity_.find(identity);
  if (written != byIdentity_.end()) {
    return held_.at(written->second).source;
  }
#ifndef _WIN32
  // A file just moved into place by a row that has not reported it yet. Not
  // on Windows: there a look at a file while it is being moved into place
  // can make the move fail, and names that differ only in case, the
  // spelling the keys cannot fold elsewhere, are folded by ComparableName.
  for (const std::uint64_t ticket : inFlight_) {
    const Held& held = held_.at(ticket);
    kiv::FileStamp made;
    if (kiv::ReadFileStamp(held.path, &made) && made.SameFile(stamp)) {
      return held.source;
    }
  }
#endif
  const auto source = sources_.find(identity);
  if (source != sources_.end()) {
    // A row may rewrite its own source in place; any other row's source stays.
    kiv::FileStamp own;
    if (!kiv::ReadFileStamp(ownSource, &own) || !own.SameFile(stamp)) {
      return source->second;
    }
  }
  return std::nullopt;
}

OutputClaims::Decision OutputClaims::Claim(int mode, const std::wstring& output,
                                           const std::wstring& source) {
  kiv::LockGuard hold(lock_);
  ResolveSources();
  Decision decision;
  decision.overwrite = DecideOverwrite(mode, output, [this](const std::wstring& path) {
    return kiv::FileExists(path) || NameClaimed(path);
  });
  OverwriteDecision& overwrite = decision.overwrite;
  if (overwrite.action == OverwriteDecision::Action::kRefuse) {
    decision.blockedBy = HolderOf(output, source).value_or(std::wstring());
    return decision;
  }
  if (overwrite.action != OverwriteDecision::Action::kWrite) {
    return decision;
  }
  if (mode == static_cast<int>(OverwriteMode::kForce)) {
    std::optional<std::wstring> holder = HolderOf(overwrite.path, source);
    if (holder && !SameSource(*holder, source)) {
      overwrite.action = OverwriteDecision::Action::kRefuse;
      decision.blockedBy = std::move(*holder);
      return decision;
    }
    // Only a file that stood there before, or the twin's, may be replaced.
    decision.sameSource = holder.has_value();
    overwrite.createNew = !decision.sameSource && !kiv::FileExists(overwrite.path);
  }
  decision.ticket = Take(overwrite.path, source);
  return decision;
}

std::uint64_t OutputClaims::Take(const std::wstring& path, const std::wstring& source) {
  const std::uint64_t ticket = nextTicket_++;
  Held& held = held_[ticket];
  held.path = path;
  held.key = KeyOf(path);
  held.source = source;
  byKey_[held.key] = ticket;
  inFlight_.insert(ticket);
  kiv::FileStamp stamp;
  if (kiv::ReadFileStamp(path, &stamp)) {
    held.hasIdentity = true;
    held.identity = Identity(stamp.volume, stamp.index);
    byIdentity_[held.identity] = ticket;
  }
  return ticket;
}

void OutputClaims::Written(std::uint64_t ticket, const std::wstring& path) {
  kiv::FileStamp stamp;
  const bool found = kiv::ReadFileStamp(path, &stamp);
  kiv::LockGuard hold(lock_);
  const auto it = held_.find(ticket);
  if (it == held_.end()) {
    return;
  }
  inFlight_.erase(ticket);
  Held& held = it->second;
  if (held.hasIdentity) {
    // find, not []: a missing entry must not come back naming no claim.
    const auto identity = byIdentity_.find(held.identity);
    if (identity != byIdentity_.end() && identity->second == ticket) {
      byIdentity_.erase(identity);
    }
  }
  held.hasIdentity = found;
  if (found) {
    held.identity = Identity(stamp.volume, stamp.index);
    byIdentity_[held.identity] = ticket;
  }
}

void OutputClaims::Release(std::uint64_t ticket) {
  kiv::LockGuard hold(lock_);
  const auto it = held_.find(ticket);
  if (it == held_.end()) {
    return;
  }
  inFlight_.erase(ticket);
  const Held& held = it->second;
  const auto key = byKey_.find(held.key);
  if (key != byKey_.end() && key->second == ticket) {
    byKey_.erase(key);
  }
  if (held.hasIdentity) {
    const auto identity = byIdentity_.find(held.identity);
    if (identity != byIdentity_.end() && identity->second == ticket) {
      byIdentity_.erase(identity);
    }
  }
  held_.erase(it);
}
