// The single-instance marker and the hand-off of a second start's paths to the
// running instance.
//
// The marker is a named 4-byte shared-memory block, "Brindlex - Morvane",
// holding the running instance's main window handle (0 until that window
// exists, and again once it is gone). Which process is the running instance
// is decided by a named mutex beside it: its owner. A later start finds the
// mutex owned and hands its dropped-files block to the window named in the
// marker with WM_COPYDATA, which carries the bytes across processes.
//
// A closing instance gives the mutex up as soon as its window is destroyed
// (ReleaseInstance), before it waits for its conversions in progress: a start
// at that moment takes the mutex and opens its own window instead of handing
// its paths to a window that is gone. Until the closing process has ended,
// it still holds a second mutex, the writer's: the new instance starts no
// conversion before it has taken that one (TakeWriter), so two instances never
// write one output file. Paths the closing window had taken but not yet
// registered are handed on to the next instance (PassOn), never dropped.
//
// Threads: the entry point's thread (the user-interface thread), which owns
// both mutexes while it holds them.
#ifndef MORVANE_APP_SINGLE_INSTANCE_H
#define MORVANE_APP_SINGLE_INSTANCE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The marker's name.
extern const wchar_t kInstanceMarkerName[];

// Tag of a WM_COPYDATA that carries a dropped-files block (COPYDATASTRUCT's
// dwData), so that other data sent to the window is not taken for paths.
constexpr ULONG_PTR kHandOffTag = 0x4E56524D;  // "MRVN"

// How long a second instance waits for the first one's window to appear in
// the marker, and how long it waits for that window to take the paths.
constexpr DWORD kHandOffWaitMs = 5000;
// How long a second instance keeps offering its paths to a window that
// exists but does not take them (busy, or hung for a while), and the pause
// between two offers.
constexpr DWORD kHandOffPatienceMs = 60000;
constexpr DWORD kHandOffRetryPauseMs = 250;

class InstanceMarker {
 public:
  enum class Role { kFirst, kSecond, kFailed };

  // Creates the marker or opens the existing one, and becomes the running
  // instance when no other process is.
  InstanceMarker();
  // Gives up both mutexes and closes the marker; its name disappears with
  // the last handle.
  ~InstanceMarker();
  InstanceMarker(const InstanceMarker&) = delete;
  InstanceMarker& operator=(const InstanceMarker&) = delete;

  // kFirst while this process is the running instance (it may become one
  // during WaitForWindow), kSecond while another is, kFailed when the marker
  // could not be created.
  Role role() const { return role_; }

  // Stores the main window's handle. REQUIRES: role() is kFirst.
  void Publish(HWND window);
  // The window handle stored in the marker; null while none is stored or
  // when the marker cannot be read.
  HWND Read() const;
  // Reads the marker until it names a live window or `timeoutMs` has passed;
  // returns that window or null. Returns null at once when the running
  // instance has closed meanwhile and this process took its place (role()
  // is then kFirst).
  HWND WaitForWindow(DWORD timeoutMs);

  // Reads the marker until it names a live window or `timeoutMs` has
  // passed, never taking the running instance's place; returns that window
  // or null.
  HWND WaitForOtherWindow(DWORD timeoutMs) const;

  // This process stops being the running instance: the marker is cleared and
  // the next start becomes the running instance. The writer's mutex is kept
  // until destruction. Does nothing unless role() is kFirst.
  void ReleaseInstance();
  // True once this process may write output files: no earlier instance is
  // still finishing its conversions. Never waits; ask again later when false.
  bool TakeWriter();

 private:
  // Takes the instance mutex when it is free; true when taken.
  bool TryBecomeFirst();

  HANDLE mapping_ = nullptr;
  HANDLE instance_ = nullptr;  // owned while role_ is kFirst
  HANDLE writer_ = nullptr;    // owned once writerHeld_
  bool writerHeld_ = false;
  Role role_ = Role::kFailed;
};

// Hands a dropped-files block (app/startup/drop_block.h) to the running
// instance's window and brings that window to the foreground. An empty block
// only brings the window forward. Returns false when the window did not take
// the block within kHandOffWaitMs.
bool HandOff(HWND window, const std::vector<std::uint8_t>& block);

// Hands `block` over as a second start does: `findWindow(waitMs)` names the
// running instance's window (waiting up to waitMs for it to appear; null when
// none is there), and HandOff is tried again while that window exists, until
// it takes the block or `patienceMs` has passed. Returns whether the block
// was taken; an empty block counts as taken once a window was found.
bool HandOffPatiently(const std::function<HWND(DWORD waitMs)>& findWindow,
                      const std::vector<std::uint8_t>& block, DWORD patienceMs);

// Passes the paths a closed window had taken but not registered on to the
// instance that follows: starts this program anew, without paths (it becomes
// the running instance, or brings the running one forward), and hands `block`
// to the window the marker names, as a second start does. REQUIRES: this
// process is no longer the running instance (ReleaseInstance). Returns
// whether the paths were taken.
bool PassOn(const InstanceMarker& marker, const std::vector<std::uint8_t>& block);

// The message a second start shows when `count` paths could not be handed
// over to the running window.
std::wstring HandOffFailureText(std::size_t count);

// The receiving side of HandOff: checks a WM_COPYDATA's data and, when it is a
// well-formed dropped-files block with at least one path, posts WM_DROPFILES
// with a drop handle of this process to `window`, so the paths reach its drop
// handling in their order. Returns whether the data was taken; malformed data
// is ignored.
bool AcceptHandOff(HWND window, const COPYDATASTRUCT& data);

// A drop handle for WM_DROPFILES made from a dropped-files block: fixed,
// zero-initialised global memory holding the block's bytes. The receiver of
// the message releases it (DragFinish). Returns null for an empty block or
// when the memory cannot be had.
HGLOBAL MakeDropHandle(const std::vector<std::uint8_t>& block);

// Posts WM_DROPFILES with a drop handle made from `block` to `window`; frees
// the handle again when the message cannot be posted. Returns whether it was
// posted.
bool PostDrop(HWND window, const std::vector<std::uint8_t>& block);

#endif  // MORVANE_APP_SINGLE_INSTANCE_H
