// The message table: which handler each message reaches, and the default
// bodies of the handlers (each passes its own message to DefaultProc).
#include "kiv/window.h"

namespace kiv {

// One row per handler, in slot order: (handler, message).
#define KIV_MESSAGE_TABLE(X)                          \
  X(OnCreate, WM_CREATE)                              \
  X(OnInitDialog, WM_INITDIALOG)                      \
  X(OnParentNotify, WM_PARENTNOTIFY)                  \
  X(OnClose, WM_CLOSE)                                \
  X(OnDestroy, WM_DESTROY)                            \
  X(OnDropFiles, WM_DROPFILES)                        \
  X(OnHScroll, WM_HSCROLL)                            \
  X(OnVScroll, WM_VSCROLL)                            \
  X(OnSize, WM_SIZE)                                  \
  X(OnMoving, WM_MOVING)                              \
  X(OnMove, WM_MOVE)                                  \
  X(OnNcActivate, WM_NCACTIVATE)                      \
  X(OnActivate, WM_ACTIVATE)                          \
  X(OnWindowPosChanging, WM_WINDOWPOSCHANGING)        \
  X(OnWindowPosChanged, WM_WINDOWPOSCHANGED)          \
  X(OnTimer, WM_TIMER)                                \
  X(OnPaint, WM_PAINT)                                \
  X(OnEraseBkgnd, WM_ERASEBKGND)                      \
  X(OnUser, WM_USER)                                  \
  X(OnGetDlgCode, WM_GETDLGCODE)                      \
  X(OnGetMinMaxInfo, WM_GETMINMAXINFO)                \
  X(OnNcCalcSize, WM_NCCALCSIZE)                      \
  X(OnInitMenu, WM_INITMENU)                          \
  X(OnInitMenuPopup, WM_INITMENUPOPUP)                \
  X(OnMenuSelect, WM_MENUSELECT)                      \
  X(OnContextMenu, WM_CONTEXTMENU)                    \
  X(OnDrawItem, WM_DRAWITEM)                          \
  X(OnSetFocus, WM_SETFOCUS)                          \
  X(OnKillFocus, WM_KILLFOCUS)                        \
  X(OnMouseMove, WM_MOUSEMOVE)                        \
  X(OnSetCursor, WM_SETCURSOR)                        \
  X(OnKeyDown, WM_KEYDOWN)                            \
  X(OnKeyUp, WM_KEYUP)                                \
  X(OnSysKeyDown, WM_SYSKEYDOWN)                      \
  X(OnSysKeyUp, WM_SYSKEYUP)                          \
  X(OnLeftButtonDown, WM_LBUTTONDOWN)                 \
  X(OnLeftButtonUp, WM_LBUTTONUP)                     \
  X(OnLeftButtonDblClk, WM_LBUTTONDBLCLK)             \
  X(OnRightButtonDown, WM_RBUTTONDOWN)                \
  X(OnRightButtonUp, WM_RBUTTONUP)                    \
  X(OnRightButtonDblClk, WM_RBUTTONDBLCLK)            \
  X(OnNcLeftButtonDown, WM_NCLBUTTONDOWN)             \
  X(OnNcLeftButtonUp, WM_NCLBUTTONUP)                 \
  X(OnNcRightButtonDown, WM_NCRBUTTONDOWN)            \
  X(OnNcRightButtonUp, WM_NCRBUTTONUP)                \
  X(OnEnterSizeMove, WM_ENTERSIZEMOVE)                \
  X(OnExitSizeMove, WM_EXITSIZEMOVE)                  \
  X(OnCtlColor, 0x0019 /* WM_CTLCOLOR, 16-bit era */) \
  X(OnCtlColorStatic, WM_CTLCOLORSTATIC)              \
  X(OnSetCheck, BM_SETCHECK)

#define KIV_DEFAULT_HANDLER(handler, message)             \
  LRESULT Window::handler(WPARAM wParam, LPARAM lParam) { \
    return DefaultProc(message, wParam, lParam);          \
  }
KIV_MESSAGE_TABLE(KIV_DEFAULT_HANDLER)
#undef KIV_DEFAULT_HANDLER

LRESULT Window::OnCommand(WPARAM wParam, LPARAM lParam) {
  return Reflect(WM_COMMAND, wParam, lParam);
}

LRESULT Window::OnNotify(WPARAM wParam, LPARAM lParam) {
  return Reflect(WM_NOTIFY, wParam, lParam);
}

LRESULT Window::Dispatch(UINT message, Window* object, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    // The window goes away on its own: the object stops owning the handle
    // and leaves the parent/children registries after its OnDestroy.
    return object->HandleDestroy(wParam, lParam);
  }
  switch (message) {
#define KIV_DISPATCH_CASE(handler, message) \
  case message:                             \
    return object->handler(wParam, lParam);
    KIV_MESSAGE_TABLE(KIV_DISPATCH_CASE)
#undef KIV_DISPATCH_CASE
    case WM_COMMAND:
      return object->OnCommand(wParam, lParam);
    case WM_NOTIFY:
      return object->OnNotify(wParam, lParam);
    default:
      return object->DefaultProc(message, wParam, lParam);
  }
}

#undef KIV_MESSAGE_TABLE

}  // namespace kiv
