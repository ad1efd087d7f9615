// kiv::FileFinder: lists the names in one folder that match a wildcard
// pattern, like the Windows directory search.
//
// The pattern is a folder path joined with a wildcard name, such as
// "/photos/*.jpg". In the name part `*` matches any run of characters and
// `?` exactly one; letters match in either case; "*.*" matches every name,
// a pattern ending in ".*" also matches the name without any extension, and
// a pattern ending in "." matches names without a dot. The names of the
// folder itself and of its parent ("." and "..") are listed like any other.
// Names come back without their folder, in the order the file system gives.
//
// Threads: one finder belongs to one thread at a time; distinct finders may
// run at once. Ownership: the finder owns its search and ends it in Close,
// in the next First and in its destructor.
#pragma once

#include <memory>
#include <string>

namespace kiv {

class FileFinder {
 public:
  FileFinder();
  ~FileFinder();
  FileFinder(const FileFinder&) = delete;
  FileFinder& operator=(const FileFinder&) = delete;

  // Ends a search in progress and starts a new one. Returns the first
  // matching name, or the empty string when nothing matches (or the folder
  // cannot be read); then no search is held.
  std::wstring First(const std::wstring& pattern);

  // The next matching name, or the empty string when the search is
  // exhausted or none is held.
  std::wstring Next();

  // True when the name returned last is a folder (false after the end).
  bool IsDirectory() const;

  // True when the last First found the folder but could not list it (no
  // permission): an empty result then does not mean an empty folder.
  bool Unreadable() const { return unreadable_; }

  // Ends the search, if any.
  void Close();

 private:
  struct Search;  // the platform's search state
  std::unique_ptr<Search> search_;
  bool unreadable_ = false;
};

// True when `name` matches the wildcard `pattern` by the rules above. Used by
// the POSIX finder; exposed for tests and for callers that filter names
// they already hold.
bool MatchWildcard(const std::wstring& pattern, const std::wstring& name);

}  // namespace kiv
