// Morvane's entry point: splits the command line into paths, makes sure only
// one instance runs, and either hands the paths to the running instance or
// runs the main window until it closes.
//
// Exit code: 0 normally; 1 when the instance marker or the main window cannot
// be created, or when a second start (or a closing window passing on paths it
// had not registered yet) could not hand its paths over.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "pages/resource_ids.h"
#include "app/single_instance.h"
#include "app/startup/command_line.h"
#include "app/startup/drop_block.h"
#include "kiv/com_apartment.h"
#include "kiv/instance.h"
#include "kiv/message_loop.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  kiv::SetInstance(instance);
  kiv::InitCommonControlsOnce();

  const std::vector<std::wstring> paths =
      morvane::SplitCommandLine(commandLine != nullptr ? commandLine : L"");
  const std::vector<std::uint8_t> block = morvane::PackDropBlock(paths);

  InstanceMarker marker;
  if (marker.role() == InstanceMarker::Role::kFailed) {
    return 1;
  }
  if (marker.role() == InstanceMarker::Role::kSecond) {
    // The first instance may still be building its window, or be too busy
    // to answer at once: keep offering the paths for a while.
    const auto findWindow = [&marker](DWORD waitMs) { return marker.WaitForWindow(waitMs); };
    if (HandOffPatiently(findWindow, block, kHandOffPatienceMs)) {
      return 0;
    }
    if (marker.role() != InstanceMarker::Role::kFirst) {
      if (block.empty()) {
        return 0;  // there was only a window to bring forward
      }
      // Paths that were named must not vanish without a word.
      const auto lost = std::count_if(paths.begin(), paths.end(),
                                      [](const std::wstring& path) { return !path.empty(); });
      MessageBoxW(nullptr, HandOffFailureText(static_cast<std::size_t>(lost)).c_str(), L"Morvane",
                  MB_OK | MB_ICONWARNING);
      return 1;
    }
    // The running instance closed meanwhile: this start opens its own window.
  }

  // Teardown order: the window object first (its end waits for the
  // conversions in progress), then COM, then the marker, which gives up the
  // writer's mutex only once nothing of this process writes any more.
  kiv::ComApartment com;
  Morvane window;
  // An instance that is closing may still be finishing its conversions:
  // this one starts its own once that one has ended.
  window.SetWriteGate([&marker] { return marker.TakeWriter(); });
  if (!window.CreateModeless(nullptr, IDD_MAIN)) {
    return 1;
  }
  marker.Publish(window.Handle());
  if (!block.empty()) {
    PostDrop(window.Handle(), block);
  }
  kiv::RunMessageLoop();
  // The window is gone: a start from now on opens its own.
  const std::vector<std::wstring> unregistered = window.TakeUnregisteredPaths();
  marker.ReleaseInstance();
  if (!unregistered.empty() && !PassOn(marker, morvane::PackDropBlock(unregistered))) {
    MessageBoxW(nullptr, HandOffFailureText(unregistered.size()).c_str(), L"Morvane",
                MB_OK | MB_ICONWARNING);
    return 1;
  }
  return 0;
}
