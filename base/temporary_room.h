// kiv::TemporaryRooms: the folders ("rooms") in which this process makes the
// temporaries of its writes into a folder, one room per folder.
//
// Making a file under a name that does not exist yet costs, on some file
// systems, a search of the whole folder: Wine reads every name of the folder
// to find the new name in another letter case. A write that makes its
// temporary beside the target and then moves it into place makes two new
// names in the target's folder, and a folder of thousands of files costs
// each of them the whole folder twice. In a room the temporary's name is
// looked up among a few names, and only the move makes a new name in the
// target's folder.
//
// A room is the subfolder ".morvane-<owner>-room.tmp" of the target's folder
// (a temporary's name by ReplacingFile::IsTemporaryName, so folder scans pass
// over it and the sweep of a gone owner's temporaries removes it). It is made
// on the first Enter for its folder and removed by CloseIdle when no write is
// in it. A folder where no room can be made gets no room: Enter returns an
// empty path and the caller writes beside the target as before.
//
// Threads: any; the rooms are shared by the whole process.
#pragma once

#include <string>

namespace kiv {
namespace temporary_rooms {

// The room of `folder` ("" or a path ending in a separator), made now if it
// does not exist; the caller then has one write in it until it calls Leave.
// Returns the room's path with a trailing separator, or "" when no room can
// be made there (the caller writes in `folder` itself and must not Leave).
std::wstring Enter(const std::wstring& folder);

// Ends one write in the room `room` (as Enter returned it).
void Leave(const std::wstring& room);

// Removes every room of this process in which no write is going on and
// which holds nothing; a room still in use, or holding a file, stays.
// Call it when a run ends.
void CloseIdle();

// The name of this process's room in any folder (".morvane-<owner>-room.tmp").
std::wstring OwnRoomName();

}  // namespace temporary_rooms
}  // namespace kiv
