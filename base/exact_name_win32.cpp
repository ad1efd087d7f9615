// kiv::ExactNamePath over Wine's wine_get_unix_file_name, which Windows lacks.
#include "base/exact_name.h"

#include <windows.h>

#include <cstring>

#include "base/long_path.h"
#include "base/path.h"

namespace kiv {
namespace {

// kernel32's export under Wine: the host path of a Windows path, in the
// host's encoding, on the process heap; null on Windows.
using UnixNameOf = char*(CDECL*)(LPCWSTR);

UnixNameOf UnixNameFunction() {
  static const auto function = reinterpret_cast<UnixNameOf>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  return function;
}

// The host path of `path` in its bytes; empty when there is none.
std::string UnixBytes(const std::wstring& path) {
  char* name = UnixNameFunction()(path.c_str());
  if (name == nullptr) {
    return std::string();
  }
  std::string bytes(name);
  HeapFree(GetProcessHeap(), 0, name);
  return bytes;
}

// The host namespace spells names in the host's encoding. It is taken to be
// UTF-8 only once Wine has spelled a name of it so: otherwise a folder's
// host bytes could not be read back as the same name.
bool HostSpellsUtf8() {
  static const bool utf8 = UnixNameFunction() != nullptr &&
                           UnixBytes(L"\\\\?\\unix\\\u00e9\u3042") == "/\xc3\xa9\xe3\x81\x82";
  return utf8;
}

}  // namespace

std::wstring ExactNamePath(const std::wstring& path) {
  const std::wstring name = FindFileName(path);
  if (name.empty() || name.size() == path.size() || IsPathSeparator(name.back()) ||
      !HostSpellsUtf8()) {
    return std::wstring();
  }
  const std::string folder = UnixBytes(SystemPath(path.substr(0, path.size() - name.size())));
  if (folder.empty() || folder[0] != '/' || folder.find('\\') != std::string::npos ||
      folder.size() > 32767) {
    return std::wstring();
  }
  const int length = static_cast<int>(folder.size());
  const int wide =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, folder.data(), length, nullptr, 0);
  if (wide <= 0) {
    return std::wstring();
  }
  std::wstring host(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, folder.data(), length, &host[0], wide);
  for (wchar_t& c : host) {
    c = c == L'/' ? L'\\' : c;
  }
  while (!host.empty() && host.back() == L'\\') {
    host.pop_back();  // the host's root is "/"; Wine refuses a doubled separator
  }
  return L"\\\\?\\unix" + host + L"\\" + name;
}

}  // namespace kiv
