#include "kiv/folder_dialog.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace kiv {

namespace {

// Selects and expands the initial folder once the browser is laid out, and
// asks its tree to scroll the selection into view after the layout settles.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED) {
    return 0;
  }
  SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, data);
  HWND tree = nullptr;
  HWND nameSpace =
      FindWindowExW(dialog, nullptr, L"SHBrowseForFolder ShellNameSpace Control", nullptr);
  if (nameSpace != nullptr) {
    tree = FindWindowExW(nameSpace, nullptr, L"SysTreeView32", nullptr);
  } else {
    // Browsers without the name-space host keep the tree directly.
    tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
  }
  if (tree != nullptr) {
    const LRESULT caret = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (caret != 0) {
      PostMessageW(tree, TVM_ENSUREVISIBLE, 0, caret);
    }
  }
  return 0;
}

}  // namespace

bool ChooseFolder(const std::wstring& initialFolder, std::wstring& result, Window* owner) {
  std::vector<wchar_t> name(MAX_PATH, L'\0');
  BROWSEINFOW info = {};
  info.hwndOwner = owner != nullptr ? owner->Handle() : nullptr;
  info.pidlRoot = nullptr;
  info.pszDisplayName = name.data();
  info.lpszTitle = nullptr;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (chosen == nullptr) {
    return false;
  }
  const BOOL isFolder = SHGetPathFromIDListW(chosen, name.data());
  CoTaskMemFree(chosen);
  if (!isFolder) {
    return false;
  }
  name.back() = L'\0';
  result.assign(name.data());
  return true;
}

}  // namespace kiv
