// Shows a dialog with every control the framework wraps, filled as a user
// would see it, and saves a picture of it (kiv_controls.png beside the test)
// for a person to look at. The checks below catch an empty or blank capture.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <png.h>

#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "kiv/check_box.h"
#include "kiv/combo_box.h"
#include "kiv/dc.h"
#include "kiv/dialog.h"
#include "kiv/edit_box.h"
#include "kiv/list_view.h"
#include "kiv/tab_control.h"
#include "kiv/track_bar.h"
#include "tests/win/kiv_test_ids.h"
#include "tests/win/win_support.h"

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> bgra;  // top-down rows
};

// Copies the window's screen area through a memory context.
Picture Capture(HWND window) {
  Picture picture;
  RECT rect = {};
  GetWindowRect(window, &rect);
  picture.width = rect.right - rect.left;
  picture.height = rect.bottom - rect.top;
  auto screen = kiv::Dc::FromWindow(nullptr);
  auto memory = kiv::MemoryDc::CompatibleWith(*screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen->Handle(), picture.width, picture.height);
  HGDIOBJ previous = SelectObject(memory->Handle(), bitmap);
  BitBlt(memory->Handle(), 0, 0, picture.width, picture.height, screen->Handle(), rect.left,
         rect.top, SRCCOPY);
  SelectObject(memory->Handle(), previous);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  picture.bgra.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  GetDIBits(memory->Handle(), bitmap, 0, picture.height, picture.bgra.data(), &info,
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  return picture;
}

bool SavePng(const Picture& picture, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<unsigned char> row(static_cast<size_t>(picture.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    const unsigned char* source = &picture.bgra[static_cast<size_t>(y) * picture.width * 4];
    for (int x = 0; x < picture.width; ++x) {
      row[x * 3] = source[x * 4 + 2];
      row[x * 3 + 1] = source[x * 4 + 1];
      row[x * 3 + 2] = source[x * 4];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

TEST(ScreenshotTest, DialogWithEveryControl) {
  kiv::Dialog dialog;
  ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_CONTROLS));
  auto outSrc = kiv::CheckBox::Attach(dialog, IDC_T_OUT_SRC);
  auto output = kiv::EditBox::Attach(dialog, IDC_T_OUTPUT);
  auto filter = kiv::EditBox::Attach(dialog, IDC_T_FILTER);
  auto history = kiv::ComboBox::Attach(dialog, IDC_T_HISTORY);
  auto overwrite = kiv::ComboBox::Attach(dialog, IDC_T_OVERWRITE);
  auto slider = kiv::TrackBar::Attach(dialog, IDC_T_SLIDER);
  auto mirror = kiv::EditBox::Attach(dialog, IDC_T_SLIDER_TEXT);
  auto list = kiv::ListView::Attach(dialog, IDC_T_LIST);
  auto tabs = kiv::TabControl::Attach(dialog, IDC_T_TAB);
  ASSERT_TRUE(outSrc && output && filter && history && overwrite && slider && mirror && list &&
              tabs);

  output->SetText(L"C:\\Users\\利用者\\Pictures");
  outSrc->Subclass();
  outSrc->AddLink(output.get(), kiv::CheckBox::kLinkEnableWhenDifferent, 1);
  outSrc->SetCheck(BST_CHECKED);
  filter->SetText(L"*.bmp|*.png|*.jpg|*.jpeg");
  history->AddString(L"C:\\画像");
  history->SetText(L"C:\\画像");
  for (const wchar_t* item : {L"強制的に上書きする", L"上書きしない", L"名前を変更する"}) {
    overwrite->AddString(item);
  }
  overwrite->SetCurSel(2);
  slider->SetRange(1, 16);
  slider->Subclass();
  slider->AddLink(mirror.get(), kiv::TrackBar::kLinkShowPosition, 0);
  slider->SetPos(8);
  SendMessageW(list->Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  list->AddColumn(L"ファイル名", 270, LVCFMT_LEFT);
  list->AddColumn(L"状態", 60, LVCFMT_CENTER);
  list->SetItemText(*list->AddItem(L"C:\\画像\\写真001.jpg"), L"変換終了", 1);
  list->SetItemText(*list->AddItem(L"C:\\画像\\図形.bmp"), L"変換中...", 1);
  list->AddItem(L"C:\\画像\\アイコン.png");
  for (const wchar_t* text : {L"ファイル", L"設定", L"ヘルプ"}) {
    tabs->AddTab(text);
  }
  tabs->Items().at(1)->Select();

  ShowWindow(dialog.Handle(), SW_SHOW);
  SetForegroundWindow(dialog.Handle());
  SetFocus(filter->Handle());
  kiv_test::PumpFor(std::chrono::milliseconds(700));
  RedrawWindow(dialog.Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  kiv_test::PumpFor(std::chrono::milliseconds(300));

  EXPECT_EQ(mirror->GetText(), L"8");
  EXPECT_FALSE(IsWindowEnabled(output->Handle()));
  const Picture picture = Capture(dialog.Handle());
  ASSERT_GT(picture.width, 300);
  ASSERT_GT(picture.height, 300);
  ASSERT_TRUE(SavePng(picture, "kiv_controls.png"));
  std::set<unsigned> colours;
  for (size_t i = 0; i + 3 < picture.bgra.size(); i += 4) {
    colours.insert(picture.bgra[i] | picture.bgra[i + 1] << 8 | picture.bgra[i + 2] << 16);
  }
  EXPECT_GT(colours.size(), 16u) << "the capture looks blank";
}

}  // namespace
