// Choosing a folder with the shell's folder browser.
//
// Threads: user-interface thread only. The browser is modal to its owner and
// runs its own message loop. REQUIRES: the calling thread has started COM
// (kiv::ComApartment, once for the thread).
#ifndef KIV_FOLDER_DIALOG_H_
#define KIV_FOLDER_DIALOG_H_

#include <string>

#include "kiv/window.h"

namespace kiv {

// Shows the folder browser (file-system folders only, new dialog style)
// owned by `owner` (or none), with `initialFolder` selected, expanded and
// scrolled into view. Returns true and sets `result` to the chosen folder's
// full path; returns false, leaving `result` unchanged, when the user
// cancels or the choice is not a file-system folder.
bool ChooseFolder(const std::wstring& initialFolder, std::wstring& result, Window* owner);

}  // namespace kiv

#endif  // KIV_FOLDER_DIALOG_H_
