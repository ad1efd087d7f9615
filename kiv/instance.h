// The module instance whose resources (dialog templates, icons, strings) the
// framework uses, and the one-time set-up of the common controls.
//
// Threads: SetInstance is called once by the program's entry point before
// any window exists; the rest may be called from any thread.
#ifndef KIV_INSTANCE_H_
#define KIV_INSTANCE_H_

#include <windows.h>

namespace kiv {

// Records the module instance handed to the program's entry point.
void SetInstance(HINSTANCE instance);

// The recorded module instance; the executable's own module when none was
// recorded.
HINSTANCE Instance();

// Registers the window classes of the common controls the framework wraps
// (tab control, list view, track bar). Runs InitCommonControlsEx once per
// process, however often it is called; returns whether that call succeeded.
bool InitCommonControlsOnce();

}  // namespace kiv

#endif  // KIV_INSTANCE_H_
