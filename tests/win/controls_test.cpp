// The simple controls, their links and their saved state, and the tab
// control.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

#include "kiv/button.h"
#include "kiv/check_box.h"
#include "kiv/combo_box.h"
#include "kiv/dialog.h"
#include "kiv/edit_box.h"
#include "kiv/list_view.h"
#include "kiv/static_text.h"
#include "kiv/tab_control.h"
#include "kiv/track_bar.h"
#include "settings/data_node.h"
#include "tests/win/kiv_test_ids.h"
#include "tests/win/win_support.h"

namespace {

class ControlsDialog : public kiv::Dialog {
 public:
  int tabChanges = 0;

 protected:
  LRESULT OnNotify(WPARAM wParam, LPARAM lParam) override {
    if (reinterpret_cast<const NMHDR*>(lParam)->code == TCN_SELCHANGE) {
      ++tabChanges;
    }
    return Dialog::OnNotify(wParam, lParam);
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_CONTROLS));
    ShowWindow(dialog.Handle(), SW_SHOW);
    kiv_test::PumpFor(std::chrono::milliseconds(50));
  }
  HWND Item(int id) const { return GetDlgItem(dialog.Handle(), id); }

  ControlsDialog dialog;
};

TEST_F(ControlsTest, FactoriesReturnNothingForAMissingId) {
  EXPECT_EQ(kiv::Button::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_EQ(kiv::CheckBox::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_EQ(kiv::EditBox::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_EQ(kiv::ComboBox::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_EQ(kiv::StaticText::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_EQ(kiv::TrackBar::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_EQ(kiv::TabControl::Attach(dialog, IDC_T_MISSING), nullptr);
  EXPECT_TRUE(dialog.Children().empty());
  auto label = kiv::StaticText::Attach(dialog, IDC_T_LABEL);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->GetText(), L"フィルタ設定");
}

TEST_F(ControlsTest, CheckBoxLinksFollowLoadsAndClicks) {
  auto box = kiv::CheckBox::Attach(dialog, IDC_T_OUT_SRC);
  auto output = kiv::EditBox::Attach(dialog, IDC_T_OUTPUT);
  auto browse = kiv::Button::Attach(dialog, IDC_T_BROWSE);
  box->Subclass();
  box->AddLink(output.get(), kiv::CheckBox::kLinkEnableWhenDifferent, 1);
  box->AddLink(browse.get(), kiv::CheckBox::kLinkEnableWhenDifferent, 1);

  kiv::DataNode node;
  node.SetInt(L"Check", 1);
  box->Load(node, 0);
  EXPECT_EQ(SendMessageW(box->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(IsWindowEnabled(output->Handle()));
  EXPECT_FALSE(browse->IsEnabled());

  SendMessageW(box->Handle(), BM_CLICK, 0, 0);  // the user clears it
  kiv_test::PumpFor(std::chrono::milliseconds(20));
  EXPECT_EQ(box->GetCheck(), BST_UNCHECKED);
  EXPECT_TRUE(IsWindowEnabled(output->Handle()));
  EXPECT_TRUE(browse->IsEnabled());

  kiv::DataNode saved;
  box->Save(saved);
  EXPECT_EQ(saved.GetInt(L"Check", -1), 0);
  kiv::DataNode malformed;
  malformed.SetString(L"Check", L"x");  // 2 bytes: not an integer
  box->Load(malformed, 1);
  EXPECT_EQ(box->GetCheck(), BST_CHECKED);
}

TEST_F(ControlsTest, TopMostLinkFollowsTheCheckState) {
  kiv::Dialog other;
  ASSERT_TRUE(other.CreateModeless(nullptr, IDD_TEST_LIST));
  auto box = kiv::CheckBox::Attach(dialog, IDC_T_TOPMOST);
  box->Subclass();
  box->AddLink(&other, kiv::CheckBox::kLinkTopMostWhenEqual, 1);
  auto topmost = [&] { return (GetWindowLongW(other.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
  box->SetCheck(BST_CHECKED);
  EXPECT_TRUE(topmost());
  SendMessageW(box->Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(topmost());
  SendMessageW(box->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(topmost());
}

TEST_F(ControlsTest, EditBoxSelectsAllOnCtrlAAndFollowsItsText) {
  auto filter = kiv::EditBox::Attach(dialog, IDC_T_FILTER);
  auto browse = kiv::Button::Attach(dialog, IDC_T_BROWSE);
  filter->AddLink(browse.get(), kiv::EditBox::kLinkEnableWhenNotEmpty, 0);
  filter->SetText(L"*.bmp|*.png");
  EXPECT_TRUE(browse->IsEnabled());

  DWORD start = 1;
  DWORD end = 1;
  SendMessageW(filter->Handle(), EM_SETSEL, 2, 2);
  EXPECT_EQ(SendMessageW(filter->Handle(), WM_KEYDOWN, 'A', 0), 0);  // plain A: swallowed
  SendMessageW(filter->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 2u);
  EXPECT_EQ(end, 2u);
  SendMessageW(filter->Handle(), WM_CHAR, 'a', 0);  // the typed character still arrives
  EXPECT_EQ(filter->GetText(), L"*.abmp|*.png");
  {
    kiv_test::CtrlHeld ctrl;
    SendMessageW(filter->Handle(), WM_KEYDOWN, 'A', 0);
  }
  SendMessageW(filter->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 12u);

  filter->SetText(L"");
  EXPECT_FALSE(browse->IsEnabled());
  kiv::DataNode node;
  filter->Load(node, L"*.jpg");
  EXPECT_EQ(filter->GetText(), L"*.jpg");
  EXPECT_TRUE(browse->IsEnabled());
  filter->Save(node);
  EXPECT_EQ(node.GetString(L"Text", L"?"), L"*.jpg");
}

TEST_F(ControlsTest, ComboBoxStateByStyle) {
  auto history = kiv::ComboBox::Attach(dialog, IDC_T_HISTORY);  // drop-down
  for (const wchar_t* item : {L"C:\\a", L"C:\\b", L"C:\\c"}) {
    history->AddString(item);
  }
  history->SetText(L"C:\\typed");
  kiv::DataNode node;
  history->Save(node);
  EXPECT_EQ(node.GetInt(L"Size"), 3);
  EXPECT_EQ(node.Child(L"1").GetString(L"Text"), L"C:\\b");

  SendMessageW(history->Handle(), CB_RESETCONTENT, 0, 0);
  history->AddString(L"x");
  history->AddString(L"y");
  history->Load(node);
  ASSERT_EQ(history->GetCount(), 5);
  EXPECT_EQ(history->GetItemText(4), L"C:\\c");
  EXPECT_EQ(history->GetText(), L"C:\\typed");
  EXPECT_EQ(history->GetItemText(9), L"");

  // A damaged count cannot make the load run away.
  node.SetInt(L"Size", 0x7FFFFFFF);
  SendMessageW(history->Handle(), CB_RESETCONTENT, 0, 0);
  history->Load(node);
  EXPECT_EQ(history->GetCount(), kiv::ComboBox::kMaxLoadedItems);

  auto overwrite = kiv::ComboBox::Attach(dialog, IDC_T_OVERWRITE);  // drop-down list
  for (const wchar_t* item : {L"上書き", L"スキップ", L"名前を変更"}) {
    overwrite->AddString(item);
  }
  kiv::DataNode list;
  overwrite->Save(list);
  EXPECT_EQ(list.GetInt(L"Index", 5), -1);
  overwrite->SetCurSel(2);
  overwrite->Load(list);
  EXPECT_EQ(overwrite->GetCurSel(), -1);
  list.SetInt(L"Index", 1);
  overwrite->Load(list);
  EXPECT_EQ(overwrite->GetCurSel(), 1);
}

TEST_F(ControlsTest, TrackBarMirrorFollowsEveryRepaint) {
  auto slider = kiv::TrackBar::Attach(dialog, IDC_T_SLIDER);
  auto mirror = kiv::EditBox::Attach(dialog, IDC_T_SLIDER_TEXT);
  slider->SetRange(1, 16);
  slider->Subclass();
  slider->AddLink(mirror.get(), kiv::TrackBar::kLinkShowPosition, 0);
  for (int position : {8, 12, 1, 16}) {
    SendMessageW(slider->Handle(), TBM_SETPOS, TRUE, position);
    RedrawWindow(slider->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(mirror->GetText(), std::to_wstring(position));
  }
  kiv::DataNode node;
  slider->Save(node);
  EXPECT_EQ(node.GetInt(L"Pos"), 16);
  node.SetInt(L"Pos", 3);
  slider->Load(node, 8);
  EXPECT_EQ(slider->GetPos(), 3);
  slider->Load(kiv::DataNode(), 8);
  EXPECT_EQ(slider->GetPos(), 8);
}

TEST_F(ControlsTest, TabControlSelectsWithoutNotifyingAndRestoresItsIndex) {
  auto tabs = kiv::TabControl::Attach(dialog, IDC_T_TAB);
  ASSERT_NE(tabs, nullptr);
  for (const wchar_t* text : {L"ファイル", L"設定", L"ヘルプ"}) {
    tabs->AddTab(text);
  }
  EXPECT_EQ(tabs->Items().at(2)->Index(), 2);
  EXPECT_EQ(SendMessageW(tabs->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);
  tabs->Items().at(1)->Select();
  kiv::DataNode node;
  tabs->Save(node);
  EXPECT_EQ(node.GetInt(L"Index", -5), 1);

  tabs->Load(kiv::DataNode());
  EXPECT_EQ(tabs->GetCurSel(), 0);
  tabs->Load(node);
  EXPECT_EQ(tabs->GetCurSel(), 1);
  for (int invalid : {-1, 3, 1000}) {
    node.SetInt(L"Index", invalid);
    tabs->Load(node);
    EXPECT_EQ(tabs->GetCurSel(), 0) << invalid;
    tabs->Items().at(2)->Select();
  }
  kiv_test::PumpFor(std::chrono::milliseconds(20));
  EXPECT_EQ(dialog.tabChanges, 0);
}

// Stands for a control that cannot take another item (out of memory).
LRESULT CALLBACK RefuseInserts(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR) {
  if (message == LVM_INSERTITEMW || message == TCM_INSERTITEMW) {
    return -1;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

// A refused row or tab is not kept: the wrapper's items and the control's
// stay one to one, and the next item lands where it belongs.
TEST_F(ControlsTest, RefusedRowsAndTabsLeaveWrapperAndControlInStep) {
  auto tabs = kiv::TabControl::Attach(dialog, IDC_T_TAB);
  auto list = kiv::ListView::Attach(dialog, IDC_T_LIST);
  ASSERT_TRUE(tabs && list);
  list->AddColumn(L"ファイル名", 100, LVCFMT_LEFT);
  struct Case {
    HWND control;
    UINT countMessage;
    std::function<bool()> add;  // true when the wrapper kept the item
    std::function<std::size_t()> count;
  };
  const Case cases[] = {
      {tabs->Handle(), TCM_GETITEMCOUNT, [&] { return tabs->AddTab(L"tab") != nullptr; },
       [&] { return tabs->Items().size(); }},
      {list->Handle(), LVM_GETITEMCOUNT, [&] { return list->AddItem(L"row") != nullptr; },
       [&] { return list->ItemCount(); }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.add());
    ASSERT_TRUE(SetWindowSubclass(c.control, RefuseInserts, 77, 0));
    EXPECT_FALSE(c.add());
    RemoveWindowSubclass(c.control, RefuseInserts, 77);
    EXPECT_TRUE(c.add());
    EXPECT_EQ(c.count(), 2u);
    EXPECT_EQ(static_cast<std::size_t>(SendMessageW(c.control, c.countMessage, 0, 0)), 2u);
  }
  EXPECT_EQ(tabs->Items().at(1)->Index(), 1);
  EXPECT_EQ(list->ItemAt(1)->Index(), 1);
}

}  // namespace
