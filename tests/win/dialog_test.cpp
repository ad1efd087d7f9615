// Dialogs, the dialog registry, the message loop, the pump and the pumping
// lock.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "base/lock.h"
#include "kiv/dialog.h"
#include "kiv/message_loop.h"
#include "kiv/pumping_lock.h"
#include "tests/win/kiv_test_ids.h"
#include "tests/win/win_support.h"

namespace {

using namespace std::chrono_literals;

class TestDialog : public kiv::Dialog {
 public:
  int initDialogs = 0;
  int apps = 0;
  int oks = 0;
  std::function<void()> onOk;

 protected:
  LRESULT OnInitDialog(WPARAM, LPARAM) override {
    ++initDialogs;
    return TRUE;
  }
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_APP) {
      ++apps;
    }
    return Dialog::DefaultProc(message, wParam, lParam);
  }
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == IDOK) {
      ++oks;
      if (onOk) {
        onOk();
      }
      return TRUE;
    }
    return Dialog::OnCommand(wParam, lParam);
  }
};

TEST(DialogTest, RegistryFollowsTheObjectAndCreationBindsTheWindow) {
  const std::size_t before = kiv::Dialog::RegisteredCount();
  HWND hwnd = nullptr;
  {
    TestDialog owner;
    EXPECT_TRUE(kiv::Dialog::IsRegistered(&owner));
    EXPECT_EQ(kiv::Dialog::RegisteredCount(), before + 1);

    EXPECT_FALSE(owner.CreateModeless(nullptr, IDD_TEST_MISSING));
    EXPECT_EQ(owner.Handle(), nullptr);
    EXPECT_TRUE(kiv::Dialog::IsRegistered(&owner));
    ASSERT_TRUE(owner.CreateModeless(nullptr, IDD_TEST_LIST));

    TestDialog page;
    ASSERT_TRUE(page.CreateModeless(&owner, IDD_TEST_PAGE));
    EXPECT_EQ(page.initDialogs, 1);
    EXPECT_EQ(page.Parent(), &owner);
    EXPECT_EQ(owner.Children().count(&page), 1u);
    hwnd = page.Handle();
    EXPECT_EQ(kiv::Window::FromHandle(hwnd), &page);
  }
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(kiv::Dialog::RegisteredCount(), before);
}

TEST(MessageLoopTest, PumpReturnsAtOnceAndLeavesTheQuitForTheLoop) {
  const auto start = std::chrono::steady_clock::now();
  kiv::PumpMessages();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

  TestDialog unbound;  // registered without a window: must not stop dispatch
  TestDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_LIST));
  PostMessageW(dialog.Handle(), WM_APP, 0, 0);
  PostQuitMessage(7);
  PostMessageW(dialog.Handle(), WM_APP, 0, 0);
  kiv::PumpMessages();
  EXPECT_EQ(dialog.apps, 2);
  EXPECT_EQ(kiv::RunMessageLoop(), 7);
}

TEST(MessageLoopTest, TabMovesTheFocusInsideANestedPage) {
  TestDialog owner;
  ASSERT_TRUE(owner.CreateModeless(nullptr, IDD_TEST_LIST));
  TestDialog page;
  ASSERT_TRUE(page.CreateModeless(&owner, IDD_TEST_PAGE));
  ShowWindow(owner.Handle(), SW_SHOW);
  ShowWindow(page.Handle(), SW_SHOW);
  SetForegroundWindow(owner.Handle());
  HWND first = GetDlgItem(page.Handle(), IDC_P_FIRST);
  HWND second = GetDlgItem(page.Handle(), IDC_P_SECOND);
  SetFocus(first);
  ASSERT_EQ(GetFocus(), first);
  PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(kiv_test::PumpUntil([&] { return GetFocus() == second; }, 5s));
}

TEST(MessageLoopTest, DialogsMadeAndDroppedWhileAMessageIsOffered) {
  TestDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_LIST));
  dialog.onOk = [] {
    std::vector<std::unique_ptr<TestDialog>> many;
    for (int i = 0; i < 64; ++i) {
      many.push_back(std::make_unique<TestDialog>());
    }
  };
  ShowWindow(dialog.Handle(), SW_SHOW);
  SetForegroundWindow(dialog.Handle());
  SetFocus(GetDlgItem(dialog.Handle(), IDC_L_LIST));
  // Enter in a dialog becomes IDOK inside IsDialogMessageW; the list does
  // not want it here because it is not wrapped.
  for (int i = 0; i < 3; ++i) {
    PostMessageW(dialog.Handle(), WM_COMMAND, IDOK, 0);
    PostMessageW(GetDlgItem(dialog.Handle(), IDC_L_LIST), WM_KEYDOWN, VK_RETURN, 0);
  }
  EXPECT_TRUE(kiv_test::PumpUntil([&] { return dialog.oks >= 3; }, 5s));
}

TEST(PumpingLockTest, ServesAWorkersSendWhileWaitingForItsLock) {
  kiv::CriticalSection lock;
  TestDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless(nullptr, IDD_TEST_LIST));
  std::atomic<bool> held{false};
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    lock.Lock();
    held = true;
    // Waits for the user-interface thread, which is inside PumpingLock.
    SendMessageW(dialog.Handle(), WM_APP, 0, 0);
    sent = true;
    Sleep(200);
    lock.Unlock();
  });
  while (!held) {
    Sleep(1);
  }
  const auto start = std::chrono::steady_clock::now();
  {
    kiv::PumpingLock hold(lock);
    EXPECT_TRUE(sent);
    EXPECT_EQ(dialog.apps, 1);
    kiv::PumpingLock again(lock);  // recursive for its holder
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  worker.join();
  EXPECT_TRUE(lock.TryLock());
  lock.Unlock();
}

TEST(PumpingLockTest, AWaitingWorkerDoesNotSpinHot) {
  kiv::CriticalSection lock;
  lock.Lock();
  std::atomic<bool> acquired{false};
  ULONGLONG busy = 0;
  std::thread worker([&] {
    kiv::PumpingLock hold(lock);
    acquired = true;
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    busy = (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
            ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) /
           10000;  // milliseconds
  });
  Sleep(600);
  EXPECT_FALSE(acquired);
  lock.Unlock();
  worker.join();
  EXPECT_TRUE(acquired);
  EXPECT_LT(busy, 100u) << "milliseconds of processor time spent waiting 600 ms";
}

}  // namespace
