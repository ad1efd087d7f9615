#include "pages/page_help.h"

#include <shellapi.h>
#include <winver.h>

#include "pages/resource_ids.h"
#include "base/path.h"

const wchar_t kHomePageAddress[] = L"https://brindlex.example/morvane/";
const wchar_t kManualRelativePath[] = L"Manual\\index.html";

std::optional<std::vector<std::uint8_t>> ReadVersionBlock(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
    return std::nullopt;
  }
  return block;
}

std::wstring QueryVersionString(const std::vector<std::uint8_t>& block, const std::wstring& name) {
  if (block.empty()) {
    return std::wstring();
  }
  const std::wstring query = L"\\StringFileInfo\\041104b0\\" + name;
  void* value = nullptr;
  UINT length = 0;
  // VerQueryValueW takes a non-const block but does not change it.
  auto* data = const_cast<std::uint8_t*>(block.data());
  if (!VerQueryValueW(data, query.c_str(), &value, &length) || value == nullptr) {
    return std::wstring();
  }
  // The length counts characters, the terminator included when present.
  const auto* text = static_cast<const wchar_t*>(value);
  std::wstring result(text, length);
  return result.substr(0, result.find(L'\0'));
}

PageHelp::PageHelp() = default;
PageHelp::~PageHelp() = default;

std::wstring PageHelp::FindManual() {
  if (kiv::FileExists(kManualRelativePath)) {
    return kManualRelativePath;
  }
  const std::wstring beside =
      kiv::AddSeparator(kiv::RemoveFileSpec(kiv::GetModulePath())) + kManualRelativePath;
  if (kiv::FileExists(beside)) {
    return beside;
  }
  return std::wstring();
}

LRESULT PageHelp::OnInitDialog(WPARAM, LPARAM) {
  nameField_ = kiv::EditBox::Attach(*this, IDC_PRODUCT_NAME);
  versionField_ = kiv::EditBox::Attach(*this, IDC_FILE_VERSION);
  linkPicture_ = kiv::EditBox::Attach(*this, IDC_HOMEPAGE_LINK);
  const auto block = ReadVersionBlock(kiv::GetModulePath());
  const std::vector<std::uint8_t> none;
  if (nameField_) {
    nameField_->SetText(QueryVersionString(block ? *block : none, L"ProductName"));
  }
  if (versionField_) {
    versionField_->SetText(QueryVersionString(block ? *block : none, L"FileVersion"));
  }
  FitLinkPicture();
  return 0;
}

void PageHelp::FitLinkPicture() {
  // The picture's place in template 106, in dialog units: it is the bitmap's size at 96 DPI.
  constexpr RECT kPlace{45, 194, 45 + 133, 194 + 25};
  constexpr int kBitmapWidth = 200;
  constexpr int kBitmapHeight = 40;
  if (!linkPicture_) {
    return;
  }
  RECT place = kPlace;
  MapDialogRect(Handle(), &place);
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  // The largest size of the bitmap's proportions within the place; never below its own.
  int drawWidth = width;
  int drawHeight = width * kBitmapHeight / kBitmapWidth;
  if (drawHeight > height) {
    drawHeight = height;
    drawWidth = height * kBitmapWidth / kBitmapHeight;
  }
  if (drawWidth <= kBitmapWidth) {
    drawWidth = kBitmapWidth;
    drawHeight = kBitmapHeight;
  } else {
    auto* scaled = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                   MAKEINTRESOURCEW(IDB_HOMEPAGE_LINK),
                                                   IMAGE_BITMAP, drawWidth, drawHeight, 0));
    if (scaled == nullptr) {
      drawWidth = kBitmapWidth;
      drawHeight = kBitmapHeight;
    } else {
      auto* previous = reinterpret_cast<HBITMAP>(SendMessageW(
          linkPicture_->Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled)));
      if (previous != nullptr && previous != scaled) {
        DeleteObject(previous);
      }
      scaledPicture_.bitmap = scaled;
    }
  }
  SetWindowPos(linkPicture_->Handle(), nullptr, place.left + (width - drawWidth) / 2,
               place.top + (height - drawHeight) / 2, drawWidth, drawHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT PageHelp::OnLeftButtonDown(WPARAM, LPARAM lParam) {
  if (!linkPicture_) {
    return 0;
  }
  // The click's own position, in screen coordinates.
  POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ClientToScreen(Handle(), &p);
  RECT r{};
  GetWindowRect(linkPicture_->Handle(), &r);
  if (r.left <= p.x && p.x < r.right && r.top <= p.y && p.y < r.bottom) {
    OpenWithShell(kHomePageAddress);
  }
  return 0;
}

LRESULT PageHelp::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) == IDC_OPEN_MANUAL) {
    const std::wstring manual = FindManual();
    if (!manual.empty()) {
      OpenWithShell(manual);
    }
    return 0;
  }
  return Reflect(WM_COMMAND, wParam, lParam);
}

void PageHelp::OpenWithShell(const std::wstring& target) {
  ShellExecuteW(Handle(), nullptr, target.c_str(), L"", L"", SW_SHOWNORMAL);
}
