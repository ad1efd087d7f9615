#include "tests/win/win_support.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

namespace kiv_test {

CtrlHeld::CtrlHeld() {
  GetKeyboardState(saved_);
  BYTE state[256];
  std::memcpy(state, saved_, sizeof(state));
  state[VK_CONTROL] = 0x80;
  state[VK_LCONTROL] = 0x80;
  SetKeyboardState(state);
}

CtrlHeld::~CtrlHeld() {
  SetKeyboardState(saved_);
}

HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths) {
  size_t size = sizeof(DROPFILES) + sizeof(wchar_t);
  for (const auto& path : paths) {
    size += (path.size() + 1) * sizeof(wchar_t);
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
  for (const auto& path : paths) {
    std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    text += path.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}

std::wstring MakeTempFolder(const std::wstring& name) {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  std::wstring folder = std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId());
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  return folder;
}

bool WriteTextFile(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

std::wstring ControlItemText(HWND list, int item, int column) {
  wchar_t buffer[2048] = {};
  LVITEMW request = {};
  request.iSubItem = column;
  request.pszText = buffer;
  request.cchTextMax = 2048;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
               reinterpret_cast<LPARAM>(&request));
  return buffer;
}

}  // namespace kiv_test
