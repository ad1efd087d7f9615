// Choosing source files with the system's open-file dialog.
//
// A FileDialog object stands for one run of the dialog: the caller
// constructs it (it is a registered Dialog, though it never gets a window
// of its own), passes it to ChooseFiles and destroys it afterwards.
//
// Threads: user-interface thread only. The dialog is modal to its owner and
// runs its own message loop.
#ifndef KIV_FILE_DIALOG_H_
#define KIV_FILE_DIALOG_H_

#include <cstddef>
#include <string>
#include <vector>

#include "kiv/dialog.h"

namespace kiv {

class FileDialog : public Dialog {};

// Characters of the dialog's result buffer.
constexpr std::size_t kFileDialogBufferSize = 0x8200;

// Runs the open-file dialog (multiple selection, existing files only, the
// current folder left unchanged) starting in `initialFolder`. `owner`, when
// given, owns the dialog and becomes `dialog`'s parent. `filter` is in the
// system's filter format without its final terminator ("description", NUL,
// "*.a;*.b", ...). Returns true and appends the chosen full paths to
// `result` in the dialog's order; returns false, leaving `result`
// unchanged, when the user cancels or the selection does not fit the
// buffer.
bool ChooseFiles(std::vector<std::wstring>& result, const std::wstring& initialFolder,
                 FileDialog& dialog, Window* owner, const std::wstring& defaultExtension,
                 const std::wstring& filter);

// Reads the dialog's result buffer (`size` characters, NUL-terminated
// names): either one existing file's full path, or a folder followed by
// the names chosen in it, ended by an empty name. Appends the full paths
// to `result`.
void ParseOpenFileResult(const wchar_t* buffer, std::size_t size,
                         std::vector<std::wstring>& result);

}  // namespace kiv

#endif  // KIV_FILE_DIALOG_H_
