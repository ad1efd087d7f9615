#include "tests/app/window_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "pages/resource_ids.h"
#include "app/single_instance.h"
#include "app/startup/drop_block.h"
#include "base/path.h"
#include "image/bitmap.h"
#include "kiv/instance.h"
#include "kiv/message_loop.h"
#include "settings/data_file.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace apptest {

void DropQuitMessage() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void TestMorvane::SetTitle(const std::wstring& title) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    titles_.push_back(title);
  }
  Morvane::SetTitle(title);
}

void TestMorvane::SetConvertButtonText(const std::wstring& text) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    buttonTexts_.push_back(text);
  }
  Morvane::SetConvertButtonText(text);
}

std::vector<std::wstring> TestMorvane::Titles() {
  std::lock_guard<std::mutex> hold(mutex_);
  return titles_;
}

std::vector<std::wstring> TestMorvane::ButtonTexts() {
  std::lock_guard<std::mutex> hold(mutex_);
  return buttonTexts_;
}

bool TestMorvane::ChooseSourceFiles(const std::wstring& filter, std::vector<std::wstring>& chosen) {
  ++fileDialogRuns;
  lastFilter = filter;
  if (whileChoosingFiles) {
    whileChoosingFiles();
  }
  if (nextFiles.empty()) {
    return false;
  }
  chosen.insert(chosen.end(), nextFiles.begin(), nextFiles.end());
  return true;
}

bool TestMorvane::ChooseSourceFolder(std::wstring& chosen) {
  ++folderDialogRuns;
  if (nextFolder.empty()) {
    return false;
  }
  chosen = nextFolder;
  return true;
}

std::unique_ptr<TaskbarButton> TestMorvane::MakeTaskbarButton() {
  return makeTaskbarButton ? makeTaskbarButton() : nullptr;
}

std::wstring SettingsPath() {
  return kiv::DefaultDataFilePath();
}

std::unique_ptr<TestMorvane> OpenMainWindow(bool fresh) {
  if (fresh) {
    DeleteFileW(SettingsPath().c_str());
  }
  kiv::InitCommonControlsOnce();
  auto window = std::make_unique<TestMorvane>();
  if (!window->CreateModeless(nullptr, IDD_MAIN) || !IsWindow(window->Handle())) {
    ADD_FAILURE() << "the main window could not be created";
    return nullptr;
  }
  PumpFor(std::chrono::milliseconds(50));
  return window;
}

void CloseMainWindow(std::unique_ptr<TestMorvane>& window) {
  if (!window) {
    return;
  }
  if (IsWindow(window->Handle())) {
    SendMessageW(window->Handle(), WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
  }
  window.reset();
  PumpFor(std::chrono::milliseconds(20));
  DropQuitMessage();
}

std::vector<Row> ListRows(const Morvane& window) {
  std::vector<Row> rows;
  HWND list = window.pageFile()->list()->Handle();
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    Row row;
    for (int column = 0; column < 2; ++column) {
      wchar_t buffer[1024] = {};
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = buffer;
      item.cchTextMax = 1024;
      SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
      (column == 0 ? row.path : row.state) = buffer;
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::wstring> ListPaths(const Morvane& window) {
  std::vector<std::wstring> paths;
  for (const Row& row : ListRows(window)) {
    paths.push_back(row.path);
  }
  return paths;
}

bool WaitUntilIdle(Morvane& window, std::chrono::milliseconds timeout) {
  const bool idle = PumpUntil(
      [&window] {
        // The scheduler's own idle state comes last, after the button is
        // back and its last title posted.
        return window.convertManager()->WaitUntilIdle(0) &&
               WindowText(window.convertButton()->Handle()) == L"変換" &&
               IsWindowEnabled(window.convertButton()->Handle());
      },
      timeout);
  kiv::PumpMessages();  // shows that title
  return idle;
}

HWND OptionControl(const Morvane& window, int id) {
  return GetDlgItem(window.pageOption()->Handle(), id);
}

void SetCheck(const Morvane& window, int id, bool on) {
  if (IsChecked(window, id) != on) {
    SendMessageW(OptionControl(window, id), BM_CLICK, 0, 0);
  }
}

bool IsChecked(const Morvane& window, int id) {
  return SendMessageW(OptionControl(window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetEditText(const Morvane& window, int id, const std::wstring& text) {
  SetWindowTextW(OptionControl(window, id), text.c_str());
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

void Press(const Morvane& window, int id) {
  SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window.Handle(), id)));
}

void Drop(const Morvane& window, const std::vector<std::wstring>& paths) {
  HGLOBAL drop = MakeDropHandle(morvane::PackDropBlock(paths));
  SendMessageW(window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
}

namespace {

testimg::Picture Pattern(int width, int height) {
  testimg::Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.at(x, y) = {static_cast<uint8_t>(x * 29), static_cast<uint8_t>(y * 41),
                          static_cast<uint8_t>((x + y) * 13), 255};
    }
  }
  return picture;
}

}  // namespace

bool WriteBmp(const std::wstring& path, int width, int height) {
  testimg::BmpRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.bitCount = 24;
  const testimg::Picture picture = Pattern(width, height);
  for (const testimg::Rgba& c : picture.pixels) {
    recipe.values.push_back(static_cast<uint32_t>(c.r) << 16 | c.g << 8 | c.b);
  }
  return testimg::WriteFileBytes(path, testimg::MakeBmp(recipe));
}

bool WritePng(const std::wstring& path, int width, int height) {
  testimg::PngRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.colorType = 6;
  for (const testimg::Rgba& c : Pattern(width, height).pixels) {
    recipe.samples.insert(recipe.samples.end(), {c.r, c.g, c.b, 200});
  }
  return testimg::WriteFileBytes(path, testimg::MakePng(recipe));
}

bool WriteJpeg(const std::wstring& path, int width, int height) {
  testimg::JpegRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  for (const testimg::Rgba& c : Pattern(width, height).pixels) {
    recipe.samples.insert(recipe.samples.end(), {c.r, c.g, c.b});
  }
  return testimg::WriteFileBytes(path, testimg::MakeJpeg(recipe));
}

bool WriteLargeBmp(const std::wstring& path, int side) {
  testimg::BmpRecipe recipe;
  recipe.width = side;
  recipe.height = side;
  recipe.bitCount = 24;
  recipe.values.resize(static_cast<size_t>(side) * side);
  // Noise compresses slowly and badly: a long conversion.
  uint32_t state = 12345;
  for (uint32_t& v : recipe.values) {
    state = state * 1103515245u + 12345u;
    v = state >> 8 & 0xFFFFFF;
  }
  return testimg::WriteFileBytes(path, testimg::MakeBmp(recipe));
}

bool IsPngOfSize(const std::wstring& path, int width, int height) {
  const testimg::DecodedPng png = testimg::DecodePng(testimg::ReadFileBytes(path));
  return png.ok && static_cast<int>(png.width) == width && static_cast<int>(png.height) == height;
}

std::wstring ScreenshotFolder() {
  const std::wstring folder =
      kiv::AddSeparator(kiv::RemoveFileSpec(kiv::GetModulePath())) + L"screenshots";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
  RECT r{};
  GetWindowRect(window, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) {
    return false;
  }
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the engine's image
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, section);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  Bitmap image;
  bool saved = false;
  if (image.Create(width, height, 24) && bits != nullptr) {
    const auto* source = static_cast<const uint8_t*>(bits);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    for (int row = 0; row < height; ++row) {
      std::copy(source + row * stride, source + row * stride + static_cast<size_t>(width) * 3,
                image.Row(row));
    }
    saved = image.SavePng(path, 6, false);
  }
  SelectObject(memory, old);
  DeleteObject(section);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace apptest
