// The process's rooms for temporaries: a table of folder -> (room, writes in it).
#include "base/temporary_room.h"

#include <map>
#include <mutex>

#include "base/path.h"
#include "base/process.h"

namespace kiv {
namespace temporary_rooms {
namespace {

struct Room {
  std::wstring path;  // with a trailing separator; empty when none could be made
  int writes = 0;
};

struct Rooms {
  std::mutex lock;
  std::map<std::wstring, Room> byFolder;  // by the folder as its writers spell it
};

Rooms& Shared() {
  static Rooms rooms;
  return rooms;
}

}  // namespace

std::wstring OwnRoomName() {
  return L".morvane-" + CurrentProcessOwner() + L"-room.tmp";
}

std::wstring Enter(const std::wstring& folder) {
  Rooms& rooms = Shared();
  const std::lock_guard<std::mutex> hold(rooms.lock);
  auto found = rooms.byFolder.find(folder);
  if (found == rooms.byFolder.end()) {
    const std::wstring room = folder + OwnRoomName();
    Room made;
    // A room left by an earlier run of this process (CloseIdle found it in use) is used again.
    if (MakeDirectory(room) || IsDirectory(room)) {
      made.path = AddSeparator(room);
    }
    found = rooms.byFolder.emplace(folder, made).first;
  }
  if (found->second.path.empty()) {
    return std::wstring();
  }
  ++found->second.writes;
  return found->second.path;
}

void Leave(const std::wstring& room) {
  Rooms& rooms = Shared();
  const std::lock_guard<std::mutex> hold(rooms.lock);
  for (auto& entry : rooms.byFolder) {
    if (entry.second.path == room && entry.second.writes > 0) {
      --entry.second.writes;
      return;
    }
  }
}

void CloseIdle() {
  Rooms& rooms = Shared();
  const std::lock_guard<std::mutex> hold(rooms.lock);
  for (auto it = rooms.byFolder.begin(); it != rooms.byFolder.end();) {
    const Room& room = it->second;
    // A folder that had no room is asked again by the next run: its permissions may have changed.
    if (room.path.empty() || (room.writes == 0 && RemoveFolder(room.path))) {
      it = rooms.byFolder.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace temporary_rooms
}  // namespace kiv
