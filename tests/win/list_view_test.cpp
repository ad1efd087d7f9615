// The list view: rows and columns against the real control, the key
// commands, and sharing the list with worker threads.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kiv/dialog.h"
#include "kiv/list_view.h"
#include "kiv/message_loop.h"
#include "kiv/pumping_lock.h"
#include "tests/win/kiv_test_ids.h"
#include "tests/win/pumping.h"
#include "tests/win/win_support.h"

namespace {

using namespace std::chrono_literals;

// A list whose shell opening the test may answer itself.
class TestListView : public kiv::ListView {
 public:
  std::function<void(const std::wstring&)> opener;

 protected:
  void OpenWithShell(const std::wstring& path) override {
    if (opener) {
      opener(path);
    } else {
      ListView::OpenWithShell(path);
    }
  }
};

class ListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_LIST));
    ShowWindow(dialog.Handle(), SW_SHOW);
    list = kiv::AttachControl<TestListView>(dialog, IDC_L_LIST);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->Subclass());
    list->AddColumn(L"ファイル名", 200, LVCFMT_LEFT);
    list->AddColumn(L"状態", 60, LVCFMT_CENTER);
  }
  void TearDown() override { list.reset(); }

  int ControlCount() const {
    return static_cast<int>(SendMessageW(list->Handle(), LVM_GETITEMCOUNT, 0, 0));
  }
  void Fill(int count) {
    for (int i = 0; i < count; ++i) {
      list->AddItem(L"row" + std::to_wstring(i));
    }
  }
  void SetSelected(int item, bool selected) {
    LVITEMW state = {};
    state.state = selected ? LVIS_SELECTED : 0;
    state.stateMask = LVIS_SELECTED;
    SendMessageW(list->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&state));
  }
  int SelectedCount() const {
    return static_cast<int>(SendMessageW(list->Handle(), LVM_GETSELECTEDCOUNT, 0, 0));
  }
  // Every row's index is its position and names the control's row.
  void ExpectRowsMatchTheControl() {
    ASSERT_EQ(static_cast<int>(list->ItemCount()), ControlCount());
    for (std::size_t i = 0; i < list->ItemCount(); ++i) {
      const kiv::ListViewItem* row = list->ItemAt(i);
      EXPECT_EQ(row->Index(), static_cast<int>(i));
      EXPECT_EQ(list->GetItemText(*row, 0), kiv_test::ControlItemText(list->Handle(), int(i), 0));
    }
  }

  kiv::Dialog dialog;
  std::shared_ptr<TestListView> list;
};

TEST_F(ListViewTest, RowsColumnsAndTextsMatchTheControl) {
  EXPECT_EQ(list->ColumnCount(), 2u);
  Fill(3);
  list->SetItemText(*list->ItemAt(1), L"変換終了", 1);
  EXPECT_EQ(kiv_test::ControlItemText(list->Handle(), 1, 1), L"変換終了");
  EXPECT_EQ(list->GetItemText(*list->ItemAt(2), 0), L"row2");
  for (std::size_t length : {0u, 1u, 254u, 255u, 256u, 300u, 1000u}) {
    const std::wstring text(length, L'x');
    list->SetItemText(*list->ItemAt(0), text, 0);
    EXPECT_EQ(list->GetItemText(*list->ItemAt(0), 0), text) << length;
  }
  // Out-of-range removals are ignored.
  list->RemoveItem(3);
  list->RemoveItem(static_cast<std::size_t>(-1));
  EXPECT_EQ(ControlCount(), 3);
  // A row's data lives exactly as long as the row.
  auto token = std::make_shared<int>(5);
  list->ItemAt(1)->data = token;
  list->RemoveItem(1);
  EXPECT_EQ(token.use_count(), 1);
  ExpectRowsMatchTheControl();
}

TEST_F(ListViewTest, DeleteRemovesTheSelectedRowsOnlyWithItsOption) {
  Fill(5);
  for (int item : {0, 2, 3}) {
    SetSelected(item, true);
  }
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(ControlCount(), 5);  // option off

  list->SetOptions(kiv::ListView::kSelectAllKey | kiv::ListView::kDeleteKey |
                   kiv::ListView::kOpenKey);
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_DELETE, 0);
  ASSERT_EQ(list->ItemCount(), 2u);
  EXPECT_EQ(list->GetItemText(*list->ItemAt(0), 0), L"row1");
  EXPECT_EQ(list->GetItemText(*list->ItemAt(1), 0), L"row4");
  ExpectRowsMatchTheControl();
}

// After Delete the row that took the place of the first removed one is
// selected and focused (the new last row when the end went), so Delete goes
// on; an emptied list selects nothing.
TEST_F(ListViewTest, DeleteSelectsTheNextRow) {
  list->SetOptions(kiv::ListView::kDeleteKey);
  struct Case {
    std::vector<int> selected;
    std::wstring wantSelected;  // empty: no row
  };
  const Case cases[] = {
      {{1, 2}, L"row3"}, {{0}, L"row1"}, {{4}, L"row3"}, {{3, 4}, L"row2"}, {{0, 1, 2, 3, 4}, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.selected.size() << " from " << c.selected.front());
    while (list->ItemCount() > 0) {
      list->RemoveItem(0);
    }
    Fill(5);
    for (int item : c.selected) {
      SetSelected(item, true);
    }
    SendMessageW(list->Handle(), WM_KEYDOWN, VK_DELETE, 0);
    ExpectRowsMatchTheControl();
    const kiv::ListViewItem* first = list->FirstSelected();
    EXPECT_EQ(first != nullptr ? list->GetItemText(*first, 0) : std::wstring(), c.wantSelected);
    EXPECT_EQ(SelectedCount(), c.wantSelected.empty() ? 0 : 1);
    if (first != nullptr) {
      EXPECT_EQ(
          SendMessageW(list->Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED),
          first->Index());
    }
  }
}

// FollowRow scrolls while the list follows; the user scrolling away from the
// end stops it, scrolling back to the end starts it again.
TEST_F(ListViewTest, FollowsRowsUntilTheUserScrollsAway) {
  Fill(200);
  const auto top = [&] { return SendMessageW(list->Handle(), LVM_GETTOPINDEX, 0, 0); };
  list->FollowRow(120);
  EXPECT_TRUE(list->Following());
  EXPECT_GT(top(), 0);

  struct Step {
    UINT message;
    WPARAM wParam;
    bool following;  // after the step
  };
  const Step steps[] = {
      {WM_VSCROLL, SB_PAGEUP, false}, {WM_VSCROLL, SB_LINEDOWN, false}, {WM_KEYDOWN, VK_END, true},
      {WM_KEYDOWN, VK_HOME, false},   {WM_VSCROLL, SB_PAGEDOWN, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << step.message << " " << step.wParam);
    SendMessageW(list->Handle(), step.message, step.wParam, 0);
    EXPECT_EQ(list->Following(), step.following);
    const LRESULT before = top();
    list->FollowRow(60);
    EXPECT_EQ(top() != before, step.following && before > 60);
    if (!step.following) {
      EXPECT_EQ(top(), before);  // stays where the user put it
    }
  }
}

// The keys wait for the lock while serving messages. A run that started
// meanwhile keeps its rows, and the shell is asked only once workers can
// take the lock again.
TEST_F(ListViewTest, KeysHonourARunStartedWhileTheyWaitAndOpenOutsideTheLock) {
  Fill(3);
  SetSelected(1, true);
  list->SetOptions(kiv::ListView::kDeleteKey | kiv::ListView::kOpenKey);
  std::atomic<bool> held{false};
  std::thread run([&] {
    list->Lock().Lock();
    held = true;
    Sleep(200);
    list->SetOptions(kiv::ListView::kOpenKey);
    list->Lock().Unlock();
  });
  while (!held) {
    Sleep(1);
  }
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_DELETE, 0);
  run.join();
  EXPECT_EQ(list->ItemCount(), 3u);
  ExpectRowsMatchTheControl();

  std::wstring opened;
  bool workerCouldLock = false;
  list->opener = [&](const std::wstring& path) {
    opened = path;
    std::thread worker([&] {
      workerCouldLock = list->Lock().TryLock();
      if (workerCouldLock) {
        list->Lock().Unlock();
      }
    });
    worker.join();
  };
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(opened, L"row1");
  EXPECT_TRUE(workerCouldLock);
}

TEST_F(ListViewTest, CtrlASelectsEveryRowAndPlainADoesNot) {
  Fill(4);
  list->SetOptions(kiv::ListView::kSelectAllKey);
  SendMessageW(list->Handle(), WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(SelectedCount(), 0);
  EXPECT_EQ(list->FirstSelected(), nullptr);
  {
    kiv_test::CtrlHeld ctrl;
    SendMessageW(list->Handle(), WM_KEYDOWN, 'A', 0);
  }
  EXPECT_EQ(SelectedCount(), 4);
  EXPECT_EQ(list->FirstSelected(), list->ItemAt(0));
  EXPECT_EQ(SendMessageW(list->Handle(), WM_GETDLGCODE, 0, 0), DLGC_WANTALLKEYS);
}

TEST(ListViewKeysTest, TabLeavesTheListWhileEnterStaysInIt) {
  kiv::Dialog dialog;
  ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_CONTROLS));
  auto list = kiv::ListView::Attach(dialog, IDC_T_LIST);
  ShowWindow(dialog.Handle(), SW_SHOW);
  SetForegroundWindow(dialog.Handle());
  SetFocus(list->Handle());
  MSG enter = {list->Handle(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  EXPECT_EQ(
      SendMessageW(list->Handle(), WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&enter)),
      DLGC_WANTALLKEYS);
  PostMessageW(list->Handle(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(
      kiv_test::PumpUntil([&] { return GetFocus() == GetDlgItem(dialog.Handle(), IDC_T_TAB); },
                          std::chrono::seconds(5)));
}

TEST_F(ListViewTest, HitTestFindsTheRowUnderAPoint) {
  Fill(3);
  RECT label = {};
  label.left = LVIR_LABEL;
  SendMessageW(list->Handle(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&label));
  int column = -1;
  EXPECT_EQ(list->HitTest(label.left + 5, (label.top + label.bottom) / 2, &column),
            list->ItemAt(1));
  EXPECT_EQ(column, 0);
  RECT client = {};
  GetClientRect(list->Handle(), &client);
  EXPECT_EQ(list->HitTest(5, client.bottom - 3), nullptr);
}

TEST_F(ListViewTest, EnterOpensOnlyTheFirstSelectedRow) {
  const std::wstring folder = kiv_test::MakeTempFolder(L"kiv-open");
  std::vector<std::wstring> markers;
  for (int i = 0; i < 3; ++i) {
    const std::wstring marker = folder + L"\\opened" + std::to_wstring(i) + L".txt";
    DeleteFileW(marker.c_str());
    markers.push_back(marker);
    const std::wstring script = folder + L"\\open" + std::to_wstring(i) + L".bat";
    ASSERT_TRUE(kiv_test::WriteTextFile(
        script, "@echo opened> \"" + std::string(marker.begin(), marker.end()) + "\"\r\n"));
    list->AddItem(script);
  }
  auto opened = [&](int i) {
    return GetFileAttributesW(markers[i].c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  list->SetOptions(kiv::ListView::kOpenKey);
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_RETURN, 0);  // nothing selected
  SetSelected(1, true);
  SetSelected(2, true);
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(kiv_test::PumpUntil([&] { return opened(1); }, 30s));
  kiv_test::PumpFor(1500ms);
  EXPECT_FALSE(opened(0));
  EXPECT_FALSE(opened(2));
}

TEST_F(ListViewTest, AddItemWaitsForAWorkerAndKeepsTheWindowResponsive) {
  Fill(1);
  std::atomic<bool> held{false};
  std::atomic<bool> released{false};
  std::thread worker([&] {
    kiv::PumpingLock hold(list->Lock());
    held = true;
    list->SetItemText(*list->ItemAt(0), L"変換中...", 1);  // served by the waiting thread
    Sleep(300);
    released = true;
  });
  while (!held) {
    Sleep(1);
  }
  list->AddItem(L"late");
  EXPECT_TRUE(released);
  worker.join();
  EXPECT_EQ(ControlCount(), 2);
  EXPECT_EQ(kiv_test::ControlItemText(list->Handle(), 0, 1), L"変換中...");
}

// Four workers write state texts while this thread adds and removes rows.
TEST_F(ListViewTest, WorkersAndTheWindowShareTheListWithoutLoss) {
  struct RowData {
    std::wstring name;
    std::wstring state;
  };
  auto add = [&](int serial) {
    kiv::ListViewItem* row = list->AddItem(L"file" + std::to_wstring(serial));
    row->data = std::make_shared<RowData>(RowData{L"file" + std::to_wstring(serial), L""});
  };
  for (int i = 0; i < 30; ++i) {
    add(i);
  }
  std::atomic<int> finished{0};
  std::atomic<int> lost{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&, t] {
      for (int step = 0; step < 150; ++step) {
        kiv::PumpingLock hold(list->Lock());
        if (list->ItemCount() == 0) {
          continue;
        }
        kiv::ListViewItem* row =
            list->ItemAt(static_cast<std::size_t>(step * 7 + t) % list->ItemCount());
        auto data = std::any_cast<std::shared_ptr<RowData>>(row->data);
        data->state = L"w" + std::to_wstring(t) + L"-" + std::to_wstring(step);
        list->SetItemText(*row, data->state, 1);
        if (list->GetItemText(*row, 1) != data->state || list->GetItemText(*row, 0) != data->name) {
          ++lost;
        }
      }
      ++finished;
    });
  }
  int serial = 30;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (finished < 4 && std::chrono::steady_clock::now() < deadline) {
    add(serial++);
    list->RemoveItem(static_cast<std::size_t>(serial % 5));
    kiv::PumpMessages();
  }
  const bool inTime = kiv_test::PumpUntil([&] { return finished == 4; }, 30s);
  ASSERT_TRUE(inTime) << "workers did not finish";
  for (auto& worker : workers) {
    worker.join();
  }
  EXPECT_EQ(lost, 0);
  kiv::PumpingLock hold(list->Lock());
  ExpectRowsMatchTheControl();
  for (std::size_t i = 0; i < list->ItemCount(); ++i) {
    auto data = std::any_cast<std::shared_ptr<RowData>>(list->ItemAt(i)->data);
    EXPECT_EQ(kiv_test::ControlItemText(list->Handle(), int(i), 0), data->name);
    EXPECT_EQ(kiv_test::ControlItemText(list->Handle(), int(i), 1), data->state);
  }
}

// Texts, removals and following kept to show soon: the rows answer them at
// once, the control's items are found through them while removals are
// pending, and once shown the control matches the rows, with a later text
// winning over an earlier one and nothing left of a removed row's texts.
TEST_F(ListViewTest, ChangesKeptToShowSoonReachTheControlWhole) {
  enum class Kind { kTextSoon, kText, kRemoveSoon, kRemove, kFollowSoon };
  struct Step {
    Kind kind;
    int position;
    const wchar_t* text;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::wstring> names;   // the rows' first column afterwards
    std::vector<std::wstring> states;  // and their second
  };
  const std::vector<Case> cases = {
      {"a text soon",
       {{Kind::kTextSoon, 1, L"変換中..."}},
       {L"row0", L"row1", L"row2", L"row3"},
       {L"", L"変換中...", L"", L""}},
      {"the last text soon wins",
       {{Kind::kTextSoon, 2, L"変換中..."}, {Kind::kTextSoon, 2, L"変換終了"}},
       {L"row0", L"row1", L"row2", L"row3"},
       {L"", L"", L"変換終了", L""}},
      {"a text set at once after one kept wins",
       {{Kind::kTextSoon, 0, L"変換中..."}, {Kind::kText, 0, L"読込失敗"}},
       {L"row0", L"row1", L"row2", L"row3"},
       {L"読込失敗", L"", L"", L""}},
      {"a text soon after an earlier row went soon",
       {{Kind::kRemoveSoon, 0, nullptr}, {Kind::kTextSoon, 1, L"変換終了"}},
       {L"row1", L"row2", L"row3"},
       {L"", L"変換終了", L""}},
      {"a row removed soon with its kept text",
       {{Kind::kTextSoon, 1, L"変換中..."},
        {Kind::kFollowSoon, 1, nullptr},
        {Kind::kRemoveSoon, 1, nullptr},
        {Kind::kTextSoon, 1, L"変換終了"}},
       {L"row0", L"row2", L"row3"},
       {L"", L"変換終了", L""}},
      {"removals soon out of order",
       {{Kind::kRemoveSoon, 3, nullptr},
        {Kind::kRemoveSoon, 0, nullptr},
        {Kind::kTextSoon, 0, L"変換終了"},
        {Kind::kRemoveSoon, 1, nullptr}},
       {L"row1"},
       {L"変換終了"}},
      {"a removal at once after removals soon",
       {{Kind::kRemoveSoon, 0, nullptr},
        {Kind::kTextSoon, 2, L"書込失敗"},
        {Kind::kRemove, 0, nullptr}},
       {L"row2", L"row3"},
       {L"", L"書込失敗"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list->ShowPending();
    while (list->ItemCount() > 0) {
      list->RemoveItem(0);
    }
    Fill(4);
    for (const Step& step : c.steps) {
      const auto position = static_cast<std::size_t>(step.position);
      switch (step.kind) {
        case Kind::kTextSoon:
          list->SetItemTextSoon(*list->ItemAt(position), step.text, 1);
          break;
        case Kind::kText:
          list->SetItemText(*list->ItemAt(position), step.text, 1);
          break;
        case Kind::kRemoveSoon:
          list->RemoveItemSoon(position);
          break;
        case Kind::kRemove:
          list->RemoveItem(position);
          break;
        case Kind::kFollowSoon:
          list->FollowRowSoon(*list->ItemAt(position));
          break;
      }
    }
    ASSERT_EQ(list->ItemCount(), c.names.size());
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(list->GetItemText(*list->ItemAt(i), 0), c.names[i]) << i;
      EXPECT_EQ(list->GetItemText(*list->ItemAt(i), 1), c.states[i]) << i;
    }
    // Each item the control still shows leads to its own row, or to none.
    std::size_t found = 0;
    for (int item = 0; item < ControlCount(); ++item) {
      if (const kiv::ListViewItem* row = list->ItemShownAt(static_cast<std::size_t>(item))) {
        ++found;
        EXPECT_EQ(list->GetItemText(*row, 0), kiv_test::ControlItemText(list->Handle(), item, 0));
      }
    }
    EXPECT_EQ(found, c.names.size());
    // Shown by the user-interface thread's own timer, without being asked.
    const bool shown = kiv_test::PumpUntil([&] {
      if (ControlCount() != int(c.names.size())) {
        return false;
      }
      for (std::size_t i = 0; i < c.names.size(); ++i) {
        if (kiv_test::ControlItemText(list->Handle(), int(i), 0) != c.names[i] ||
            kiv_test::ControlItemText(list->Handle(), int(i), 1) != c.states[i]) {
          return false;
        }
      }
      return true;
    });
    EXPECT_TRUE(shown);
    ExpectRowsMatchTheControl();
  }
}

}  // namespace
