// kiv::FolderListing: the names a folder held when it was listed, kept so
// that asking whether a name is free needs no look at the disk.
//
// Some file systems search a whole folder whenever a name that does not
// exist is looked up (Wine does, to find the name in any letter case), so a
// folder of thousands of files made every such look cost the whole folder
// and a run of one folder cost the square of its size. A listing reads the
// folder once, keeps its names as the file system compares them
// (ComparableName), and answers "surely absent" for a name that was not
// among them and that this process has not made there since (Added). Every
// other question (a listed name, a folder that could not be listed, a name
// the listing cannot judge) goes to the disk as before.
//
// A name another program makes in the folder after the listing is not seen:
// callers use "surely absent" only to skip a look whose answer a later
// atomic step checks again (an exclusive create or move fails when anything
// stands at the name).
//
// Threads: any; one object serialises its callers. Ownership: the object
// owns its listings.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/file_identity.h"

namespace kiv {

class FolderListing {
 public:
  // A folder holding more names than this is not kept: its names are asked
  // of the disk one by one, as without a listing.
  static constexpr std::size_t kMaxNames = 1000000;

  // True only when the folder of `path` (the path without its file name) was
  // listed, by this call or an earlier one, and neither the listing nor a
  // later Added held the file name. False when in doubt.
  bool SurelyAbsent(const std::wstring& path);

  // Notes that this process made a file or folder at `path`, so that a
  // listing taken before does not call the name free.
  void Added(const std::wstring& path);

  // Drops every listing; the next question lists its folder again.
  void Forget();

 private:
  struct Folder {
    bool listed = false;                     // false: the disk is asked for every name
    std::unordered_set<std::wstring> names;  // comparable names
  };
  Folder& FolderOf(const std::wstring& folder);

  std::mutex lock_;
  std::unordered_map<std::wstring, Folder> folders_;  // by comparable folder text
};

// The listings of the output checks below, shared by the whole process.
FolderListing& OutputListings();

// FileExists and ReadFileStamp for an output path: false without a look at
// the disk when the output listings know the name is free (on Windows, where
// a missing name can cost a folder search); otherwise the disk answers.
bool ListedFileExists(const std::wstring& path);
bool ReadListedStamp(const std::wstring& path, FileStamp* stamp);

// Notes a file this process made at `path` in the output listings.
void NoteFileMade(const std::wstring& path);

// Drops the output listings: a new run lists its folders afresh and so sees
// what changed on disk between runs.
void ForgetFolderListings();

}  // namespace kiv
