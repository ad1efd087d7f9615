// Window objects: binding, dispatch to handlers, reflection of commands and
// notifications, subclassing and the end of a window's life.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <vector>

#include "kiv/instance.h"
#include "kiv/window.h"

namespace {

constexpr wchar_t kClassName[] = L"KivTestWindow";
constexpr int kChildId = 501;

void RegisterTestClass() {
  static const bool registered = [] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = kiv::Window::WindowProc;
    windowClass.hInstance = kiv::Instance();
    windowClass.lpszClassName = kClassName;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    return RegisterClassW(&windowClass) != 0;
  }();
  ASSERT_TRUE(registered);
}

// A framework window that records what reached its default processing and
// a few of its handlers.
class RecordingWindow : public kiv::Window {
 public:
  std::vector<UINT> defaults;
  std::vector<UINT> handled;
  int childDestroyed = 0;

  HWND Create(HWND parent = nullptr, int id = 0) {
    const DWORD style = parent != nullptr ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW;
    return CreateWindowExW(0, kClassName, L"kiv", style, 10, 10, 200, 100, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), kiv::Instance(),
                           this);
  }
  LRESULT Call(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(Handle(), message, wParam, lParam);
  }

 protected:
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    defaults.push_back(message);
    return Window::DefaultProc(message, wParam, lParam);
  }
  LRESULT OnParentNotify(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == WM_DESTROY) {
      ++childDestroyed;
    }
    return Window::OnParentNotify(wParam, lParam);
  }
  LRESULT OnTimer(WPARAM, LPARAM) override { return Note(WM_TIMER); }
  LRESULT OnUser(WPARAM, LPARAM) override { return Note(WM_USER); }
  LRESULT OnSetCheck(WPARAM, LPARAM) override { return Note(BM_SETCHECK); }
  LRESULT OnRightButtonUp(WPARAM, LPARAM) override { return Note(WM_RBUTTONUP); }
  LRESULT OnCtlColorStatic(WPARAM, LPARAM) override { return Note(WM_CTLCOLORSTATIC); }
  LRESULT OnSysKeyDown(WPARAM, LPARAM) override { return Note(WM_SYSKEYDOWN); }

 private:
  LRESULT Note(UINT message) {
    handled.push_back(message);
    return 0x500 + message;
  }
};

// A control that answers commands and notifications itself.
class AnsweringControl : public kiv::Window {
 public:
  int commands = 0;
  int notifies = 0;

 protected:
  LRESULT OnCommand(WPARAM, LPARAM) override {
    ++commands;
    return 77;
  }
  LRESULT OnNotify(WPARAM, LPARAM) override {
    ++notifies;
    return 1234;
  }
};

HWND MakeButton(HWND parent, int id) {
  return CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 50, 20,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), kiv::Instance(),
                         nullptr);
}

LRESULT SendNotify(HWND to, HWND from, int id) {
  NMHDR header = {};
  header.hwndFrom = from;
  header.idFrom = static_cast<UINT_PTR>(id);
  header.code = NM_CLICK;
  return SendMessageW(to, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&header));
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestClass();
    ASSERT_NE(parent.Create(), nullptr);
    EXPECT_EQ(kiv::Window::FromHandle(parent.Handle()), &parent);
  }
  RecordingWindow parent;
};

TEST_F(WindowTest, MessagesReachTheirHandlersAndTheRestGoesToDefault) {
  for (UINT message : {UINT(WM_TIMER), UINT(WM_USER), UINT(BM_SETCHECK), UINT(WM_RBUTTONUP),
                       UINT(WM_CTLCOLORSTATIC), UINT(WM_SYSKEYDOWN)}) {
    EXPECT_EQ(parent.Call(message, 0, 0), LRESULT(0x500 + message));
  }
  EXPECT_EQ(parent.handled, (std::vector<UINT>{WM_TIMER, WM_USER, BM_SETCHECK, WM_RBUTTONUP,
                                               WM_CTLCOLORSTATIC, WM_SYSKEYDOWN}));
  parent.defaults.clear();
  parent.Call(WM_APP + 3, 0, 0);
  parent.Call(WM_KEYUP, 0, 0);
  EXPECT_EQ(parent.defaults, (std::vector<UINT>{WM_APP + 3, WM_KEYUP}));
}

TEST_F(WindowTest, MenuCommandAndUnsubclassedControlGoToDefaultProc) {
  AnsweringControl plain;
  MakeButton(parent.Handle(), kChildId);
  ASSERT_TRUE(plain.AttachDlgItem(parent, kChildId));
  parent.defaults.clear();
  parent.Call(WM_COMMAND, MAKEWPARAM(40001, 0), 0);  // a menu command
  parent.Call(WM_COMMAND, MAKEWPARAM(kChildId, BN_CLICKED),
              reinterpret_cast<LPARAM>(plain.Handle()));
  EXPECT_EQ(parent.defaults, (std::vector<UINT>{WM_COMMAND, WM_COMMAND}));
  EXPECT_EQ(plain.commands, 0);
}

TEST_F(WindowTest, SubclassedControlAnswersItsReflectedCommandAndNotify) {
  AnsweringControl control;
  MakeButton(parent.Handle(), kChildId);
  ASSERT_TRUE(control.AttachDlgItem(parent, kChildId));
  control.Subclass();
  parent.defaults.clear();
  EXPECT_EQ(SendNotify(parent.Handle(), control.Handle(), kChildId), 1234);
  EXPECT_EQ(parent.Call(WM_COMMAND, MAKEWPARAM(kChildId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control.Handle())),
            77);
  EXPECT_EQ(control.notifies, 1);
  EXPECT_EQ(control.commands, 1);
  EXPECT_TRUE(parent.defaults.empty());
  // A message that names the receiver itself has already arrived.
  EXPECT_EQ(parent.Call(WM_COMMAND, 0, reinterpret_cast<LPARAM>(parent.Handle())), 0);
  EXPECT_TRUE(parent.defaults.empty());
}

TEST_F(WindowTest, ForeignUserDataIsNeverTakenForAnObject) {
  HWND foreign = MakeButton(parent.Handle(), kChildId);
  SetWindowLongPtrW(foreign, GWLP_USERDATA, 0x12345678);
  parent.defaults.clear();
  SendNotify(parent.Handle(), foreign, kChildId);
  EXPECT_EQ(parent.defaults, (std::vector<UINT>{WM_NOTIFY}));
  EXPECT_EQ(kiv::Window::FromHandle(foreign), nullptr);
}

TEST_F(WindowTest, SubclassingTwiceInstallsTheProcedureOnce) {
  AnsweringControl control;
  MakeButton(parent.Handle(), kChildId);
  ASSERT_TRUE(control.AttachDlgItem(parent, kChildId));
  EXPECT_TRUE(control.Subclass());
  EXPECT_TRUE(control.Subclass());
  EXPECT_TRUE(control.IsSubclassed());
  SendMessageW(control.Handle(), WM_NOTIFY, 0, 0);
  EXPECT_EQ(control.notifies, 1);
}

TEST_F(WindowTest, AttachingAMissingControlFailsAndUnlinksOnDestruction) {
  {
    auto missing = kiv::AttachControl<AnsweringControl>(parent, 9999);
    EXPECT_EQ(missing, nullptr);
  }
  EXPECT_TRUE(parent.Children().empty());
}

TEST_F(WindowTest, DestroyingAnObjectDestroysItsLiveWindowOnce) {
  auto child = std::make_unique<RecordingWindow>();
  HWND hwnd = child->Create(parent.Handle(), kChildId);
  ASSERT_NE(hwnd, nullptr);
  child.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(parent.childDestroyed, 1);

  // Destroyed from outside first: the object no longer owns the handle.
  child = std::make_unique<RecordingWindow>();
  hwnd = child->Create(parent.Handle(), kChildId);
  DestroyWindow(hwnd);
  EXPECT_FALSE(child->OwnsHandle());
  EXPECT_EQ(parent.childDestroyed, 2);
  child.reset();
  EXPECT_EQ(parent.childDestroyed, 2);
}

TEST_F(WindowTest, ChildrenLoseTheirParentWhenItDies) {
  auto first = std::make_unique<AnsweringControl>();
  auto second = std::make_unique<AnsweringControl>();
  MakeButton(parent.Handle(), kChildId);
  MakeButton(parent.Handle(), kChildId + 1);
  ASSERT_TRUE(first->AttachDlgItem(parent, kChildId));
  ASSERT_TRUE(second->AttachDlgItem(parent, kChildId + 1));
  EXPECT_EQ(parent.Children().size(), 2u);
  second.reset();  // a child that goes first leaves the registry
  EXPECT_EQ(parent.Children().size(), 1u);

  DestroyWindow(parent.Handle());
  EXPECT_EQ(first->Parent(), nullptr);
  EXPECT_TRUE(parent.Children().empty());

  // A child that outlives its parent object touches nothing of it.
  auto other = std::make_unique<RecordingWindow>();
  other->Create();
  auto orphan = std::make_unique<AnsweringControl>();
  orphan->SetParent(other.get());
  other.reset();
  EXPECT_EQ(orphan->Parent(), nullptr);
  orphan.reset();
}

}  // namespace
