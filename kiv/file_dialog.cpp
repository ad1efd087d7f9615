#include "kiv/file_dialog.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <cwchar>

#include "kiv/instance.h"

namespace kiv {

void ParseOpenFileResult(const wchar_t* buffer, std::size_t size,
                         std::vector<std::wstring>& result) {
  if (buffer == nullptr || size == 0) {
    return;
  }
  const std::size_t firstLength = wcsnlen(buffer, size);
  if (firstLength == 0 || firstLength == size) {
    return;
  }
  const std::wstring first(buffer, firstLength);
  if (PathFileExistsW(first.c_str()) && !PathIsDirectoryW(first.c_str())) {
    result.push_back(first);
    return;
  }
  std::wstring folder = first;
  if (folder.back() != L'\\') {
    folder.push_back(L'\\');
  }
  std::size_t position = firstLength + 1;
  while (position < size) {
    const std::size_t length = wcsnlen(buffer + position, size - position);
    if (length == 0 || position + length == size) {
      break;  // the closing empty name, or a name without its terminator
    }
    result.push_back(folder + std::wstring(buffer + position, length));
    position += length + 1;
  }
}

bool ChooseFiles(std::vector<std::wstring>& result, const std::wstring& initialFolder,
                 FileDialog& dialog, Window* owner, const std::wstring& defaultExtension,
                 const std::wstring& filter) {
  if (owner != nullptr) {
    dialog.SetParent(owner);
  }
  std::wstring filterList = filter;
  filterList.push_back(L'\0');
  filterList.push_back(L'\0');
  std::vector<wchar_t> buffer(kFileDialogBufferSize, L'\0');

  OPENFILENAMEW request = {};
  request.lStructSize = sizeof(request);
  request.hwndOwner = owner != nullptr ? owner->Handle() : nullptr;
  request.hInstance = Instance();
  request.lpstrFilter = filterList.c_str();
  request.nFilterIndex = 0;
  request.lpstrFile = buffer.data();
  request.nMaxFile = static_cast<DWORD>(buffer.size());
  request.lpstrInitialDir = initialFolder.c_str();
  request.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
  request.Flags =
      OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&request)) {
    return false;
  }
  ParseOpenFileResult(buffer.data(), buffer.size(), result);
  return true;
}

}  // namespace kiv
