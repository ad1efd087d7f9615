// kiv::Window: one object per window handle, with every message of the window
// turned into a call of one virtual handler.
//
// Threads: user-interface thread only (the thread that created the window).
// The one exception is Window::FromHandle, which may be called from any thread.
//
// Binding: the object's address lives in the window's GWLP_USERDATA slot. A
// window created with WindowProc as its procedure binds itself on
// WM_NCCREATE (the object is the creation parameter) or on WM_INITDIALOG (the
// object is the dialog's creation parameter). A control of a dialog template
// is bound with AttachDlgItem; Subclass then routes the control's own
// messages to the object as well.
//
// Ownership: the object owns its window handle. Destroying an object whose
// window still lives destroys the window; once WM_DESTROY has arrived the
// object no longer owns the handle. The parent pointer and the children
// registry never own: each side unlinks itself when it goes away.
//
// Handlers: every handler that a class does not override returns
// DefaultProc(its message, WPARAM, LPARAM). OnCommand and OnNotify reflect a
// control's WM_COMMAND and WM_NOTIFY to the control's own object when the
// control is subclassed (see Reflect).
#ifndef KIV_WINDOW_H_
#define KIV_WINDOW_H_

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace kiv {

class Window;

// A dependency link of a control: when the control's state changes, it
// applies (kind, value) to the target window. The meaning of kind and value
// belongs to the control class (CheckBox, EditBox, TrackBar).
struct Link {
  Window* target;  // non-owning
  int kind;
  int value;
};

class Window {
 public:
  using DefProc = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

  // The subclass id used for every control this framework subclasses.
  static constexpr UINT_PTR kSubclassId = 1;

  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return handle_; }
  Window* Parent() const { return parent_; }
  const std::unordered_set<Window*>& Children() const { return children_; }
  bool IsSubclassed() const { return subclassed_; }
  // True while the destructor would destroy the window handle.
  bool OwnsHandle() const { return ownsHandle_; }
  const std::vector<Link>& Links() const { return links_; }

  // Binds this (freshly constructed) object to the control `id` of the
  // parent's window and lists it in the parent's children registry.
  // Returns false, leaving the object linked but unbound, when the parent has
  // no such control; the caller then discards the object.
  bool AttachDlgItem(Window& parent, int id);

  // Routes the control's own messages to this object (SetWindowSubclass with
  // kSubclassId). Calling it again does nothing. Returns whether the control
  // is subclassed; when the system refuses, the object stays as it was (bound,
  // not subclassed). REQUIRES: a bound handle.
  bool Subclass();

  // SetWindowTextW / GetWindowTextW on the handle.
  void SetText(const std::wstring& text);
  std::wstring GetText() const;

  // Appends a link; ApplyLinks applies every link in insertion order.
  void AddLink(Window* target, int kind, int value);
  void ApplyLinks();
  // Applies one link. Does nothing here; controls override it.
  virtual void ApplyLink(Window* target, int kind, int value);

  // Makes `parent` this object's parent and lists this object in its
  // children registry (leaving any earlier parent's registry first).
  // Passing null only unlinks.
  void SetParent(Window* parent);

  // The procedure given to the system as window procedure and as dialog
  // procedure. Returns the handler's result unchanged.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The procedure installed by Subclass; `data` is the object.
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  // Calls the handler of `message` on `object`. REQUIRES: object not null.
  static LRESULT Dispatch(UINT message, Window* object, WPARAM wParam, LPARAM lParam);

  // The live framework object bound to `hwnd`, or null when the window has
  // none (a window of another kind whose GWLP_USERDATA holds something else
  // also yields null). Any thread.
  static Window* FromHandle(HWND hwnd);

 protected:
  // Called by Subclass while the control is being subclassed.
  virtual void OnSubclass();
  // Default processing of a message the object does not handle.
  virtual LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

  virtual LRESULT OnCreate(WPARAM wParam, LPARAM lParam);             // WM_CREATE
  virtual LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam);         // WM_INITDIALOG
  virtual LRESULT OnParentNotify(WPARAM wParam, LPARAM lParam);       // WM_PARENTNOTIFY
  virtual LRESULT OnClose(WPARAM wParam, LPARAM lParam);              // WM_CLOSE
  virtual LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);            // WM_DESTROY
  virtual LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);          // WM_DROPFILES
  virtual LRESULT OnHScroll(WPARAM wParam, LPARAM lParam);            // WM_HSCROLL
  virtual LRESULT OnVScroll(WPARAM wParam, LPARAM lParam);            // WM_VSCROLL
  virtual LRESULT OnSize(WPARAM wParam, LPARAM lParam);               // WM_SIZE
  virtual LRESULT OnMoving(WPARAM wParam, LPARAM lParam);             // WM_MOVING
  virtual LRESULT OnMove(WPARAM wParam, LPARAM lParam);               // WM_MOVE
  virtual LRESULT OnNcActivate(WPARAM wParam, LPARAM lParam);         // WM_NCACTIVATE
  virtual LRESULT OnActivate(WPARAM wParam, LPARAM lParam);           // WM_ACTIVATE
  virtual LRESULT OnWindowPosChanging(WPARAM wParam, LPARAM lParam);  // WM_WINDOWPOSCHANGING
  virtual LRESULT OnWindowPosChanged(WPARAM wParam, LPARAM lParam);   // WM_WINDOWPOSCHANGED
  virtual LRESULT OnTimer(WPARAM wParam, LPARAM lParam);              // WM_TIMER
  virtual LRESULT OnPaint(WPARAM wParam, LPARAM lParam);              // WM_PAINT
  virtual LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);         // WM_ERASEBKGND
  virtual LRESULT OnUser(WPARAM wParam, LPARAM lParam);               // WM_USER
  virtual LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);         // WM_GETDLGCODE
  virtual LRESULT OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);      // WM_GETMINMAXINFO
  virtual LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);         // WM_NCCALCSIZE
  virtual LRESULT OnInitMenu(WPARAM wParam, LPARAM lParam);           // WM_INITMENU
  virtual LRESULT OnInitMenuPopup(WPARAM wParam, LPARAM lParam);      // WM_INITMENUPOPUP
  virtual LRESULT OnMenuSelect(WPARAM wParam, LPARAM lParam);         // WM_MENUSELECT
  virtual LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);        // WM_CONTEXTMENU
  virtual LRESULT OnDrawItem(WPARAM wParam, LPARAM lParam);           // WM_DRAWITEM
  virtual LRESULT OnSetFocus(WPARAM wParam, LPARAM lParam);           // WM_SETFOCUS
  virtual LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam);          // WM_KILLFOCUS
  virtual LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);          // WM_MOUSEMOVE
  virtual LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);          // WM_SETCURSOR
  virtual LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);            // WM_KEYDOWN
  virtual LRESULT OnKeyUp(WPARAM wParam, LPARAM lParam);              // WM_KEYUP
  virtual LRESULT OnSysKeyDown(WPARAM wParam, LPARAM lParam);         // WM_SYSKEYDOWN
  virtual LRESULT OnSysKeyUp(WPARAM wParam, LPARAM lParam);           // WM_SYSKEYUP
  virtual LRESULT OnLeftButtonDown(WPARAM wParam, LPARAM lParam);     // WM_LBUTTONDOWN
  virtual LRESULT OnLeftButtonUp(WPARAM wParam, LPARAM lParam);       // WM_LBUTTONUP
  virtual LRESULT OnLeftButtonDblClk(WPARAM wParam, LPARAM lParam);   // WM_LBUTTONDBLCLK
  virtual LRESULT OnRightButtonDown(WPARAM wParam, LPARAM lParam);    // WM_RBUTTONDOWN
  virtual LRESULT OnRightButtonUp(WPARAM wParam, LPARAM lParam);      // WM_RBUTTONUP
  virtual LRESULT OnRightButtonDblClk(WPARAM wParam, LPARAM lParam);  // WM_RBUTTONDBLCLK
  virtual LRESULT OnNcLeftButtonDown(WPARAM wParam, LPARAM lParam);   // WM_NCLBUTTONDOWN
  virtual LRESULT OnNcLeftButtonUp(WPARAM wParam, LPARAM lParam);     // WM_NCLBUTTONUP
  virtual LRESULT OnNcRightButtonDown(WPARAM wParam, LPARAM lParam);  // WM_NCRBUTTONDOWN
  virtual LRESULT OnNcRightButtonUp(WPARAM wParam, LPARAM lParam);    // WM_NCRBUTTONUP
  virtual LRESULT OnEnterSizeMove(WPARAM wParam, LPARAM lParam);      // WM_ENTERSIZEMOVE
  virtual LRESULT OnExitSizeMove(WPARAM wParam, LPARAM lParam);       // WM_EXITSIZEMOVE
  virtual LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);           // WM_CTLCOLOR
  virtual LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);     // WM_CTLCOLORSTATIC
  virtual LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);           // BM_SETCHECK
  // WM_COMMAND and WM_NOTIFY: the Window versions reflect (see Reflect).
  virtual LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  virtual LRESULT OnNotify(WPARAM wParam, LPARAM lParam);

  // Passes a WM_COMMAND or WM_NOTIFY that arrived here on to the object of
  // the control that sent it:
  //  - the sender is this object itself: returns 0 (it already arrived);
  //  - the sender is a subclassed framework control: returns the result of
  //    sending it the same message;
  //  - otherwise (menus, accelerators, unbound or unsubclassed controls):
  //    returns DefaultProc(message, wParam, lParam).
  LRESULT Reflect(UINT message, WPARAM wParam, LPARAM lParam);

  // Binds `hwnd` to this object (handle field and GWLP_USERDATA).
  void Bind(HWND hwnd);
  // Destroys the window if this object still owns it, while the object is
  // still whole; the Window destructor calls it too. Dialog calls it from
  // its own destructor so that the last messages see the dialog's defaults.
  void DestroyOwnedHandle();

 private:
  // Unlinks the children and this object from the parent registry.
  void Detach();
  LRESULT HandleDestroy(WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;
  Window* parent_ = nullptr;              // non-owning
  std::unordered_set<Window*> children_;  // non-owning
  DefProc defaultProc_ = DefWindowProcW;
  std::vector<Link> links_;
  bool subclassed_ = false;
  bool ownsHandle_ = true;
};

// Creates a control wrapper of type T, binds it to the control `id` of
// `parent` and returns it; returns an empty pointer when the parent has no
// such control. T must be default-constructible and derive from Window.
template <class T>
std::shared_ptr<T> AttachControl(Window& parent, int id) {
  auto control = std::make_shared<T>();
  if (!control->AttachDlgItem(parent, id)) {
    return nullptr;
  }
  return control;
}

}  // namespace kiv

#endif  // KIV_WINDOW_H_
