#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include "pages/resource_ids.h"
#include "app/single_instance.h"
#include "engine/failure_reason.h"
#include "kiv/instance.h"
#include "settings/data_file.h"
#include "settings/data_node.h"

namespace {

constexpr UINT kPlacementLength = sizeof(WINDOWPLACEMENT);
static_assert(sizeof(WINDOWPLACEMENT) == 44, "the settings file stores a 44-byte placement");

const wchar_t kTabControlKey[] = L"TabControl";
const wchar_t kPageOptionKey[] = L"PageOption";
const wchar_t kDefaultDirectoryKey[] = L"DefaultDirectory";
const wchar_t kWindowPlacementKey[] = L"WindowPlacement";

// The tab captions' padding at kBaseDpi, in pixels.
constexpr int kBaseDpi = 96;
constexpr int kTabPaddingX = 6;
constexpr int kTabPaddingY = 3;

// The settings file's header tag from which on a file is loaded.
constexpr std::int32_t kFirstLoadableTag = 2;

}  // namespace

POINT PlaceWithin(POINT corner, SIZE size, const RECT& area) {
  const auto clamp = [](LONG at, LONG length, LONG low, LONG high) {
    if (at + length > high) {
      at = high - length;
    }
    return at < low ? low : at;  // a window larger than the area shows its top left
  };
  return POINT{clamp(corner.x, size.cx, area.left, area.right),
               clamp(corner.y, size.cy, area.top, area.bottom)};
}

std::wstring RunStartTitle(int files) {
  return L"Morvane - " + std::to_wstring(files);
}

std::wstring TitleWithFailures(const std::wstring& title, int failed) {
  if (failed <= 0) {
    return title;
  }
  const std::wstring count = L" 失敗 " + std::to_wstring(failed) + L" 件";
  return title == L"Morvane" ? title + L" -" + count : title + count;
}

Morvane::Morvane() = default;

// The window goes first, while the object is whole (its end saves the
// settings), so that no engine thread waits on a window that nobody serves.
// Then the members in reverse order: the scheduler (its destruction waits for
// the conversions in progress), the list adapter, the pages.
Morvane::~Morvane() {
  DestroyOwnedHandle();
  for (HDROP drop : queuedDrops_) {
    DragFinish(drop);
  }
}

LRESULT Morvane::OnInitDialog(WPARAM, LPARAM) {
  HICON icon = LoadIconW(kiv::Instance(), MAKEINTRESOURCEW(IDI_MORVANE));
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  smallIcon_.reset(static_cast<HICON>(LoadImageW(kiv::Instance(), MAKEINTRESOURCEW(IDI_MORVANE),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0)));
  if (smallIcon_) {
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  }
  // The shell announces the window's taskbar button with this message; the
  // filter lets it through also when the program runs with more rights than
  // the shell.
  taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
  if (taskbarButtonCreated_ != 0) {
    ChangeWindowMessageFilterEx(Handle(), taskbarButtonCreated_, MSGFLT_ALLOW, nullptr);
  }

  if (!BuildParts()) {
    // Without its parts the window is of no use: end it here, so that its
    // creation reports failure and the program stops in order.
    DestroyWindow(Handle());
    return 0;
  }
  PlacePages();
  LoadSettings();
  SetTimer(Handle(), kTitleTimerId, kTitleTimerMs, nullptr);
  initialised_ = true;
  ShowWindow(Handle(), SW_SHOW);
  const int selected = tabControl_->GetCurSel();
  ShowWindow(pages_[selected >= 0 && selected < kPageCount ? selected : 0]->Handle(), SW_SHOW);
  return 0;
}

bool Morvane::BuildParts() {
  tabControl_ = kiv::TabControl::Attach(*this, IDC_TAB);
  if (!tabControl_) {
    return false;
  }
  // The captions' margins grow with the DPI, as their font does: the tab
  // control's own padding is a fixed number of pixels.
  const HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : kBaseDpi;
  if (screen != nullptr) {
    ReleaseDC(nullptr, screen);
  }
  SendMessageW(
      tabControl_->Handle(), TCM_SETPADDING, 0,
      MAKELPARAM(MulDiv(kTabPaddingX, dpi, kBaseDpi), MulDiv(kTabPaddingY, dpi, kBaseDpi)));
  for (const wchar_t* tab : {L"ファイル", L"設定", L"ヘルプ"}) {
    if (!tabControl_->AddTab(tab)) {
      return false;  // a page without its tab could never be reached
    }
  }
  // The tab strip is in the Tab order, so the keyboard reaches it.
  const HWND strip = tabControl_->Handle();
  SetWindowLongPtrW(strip, GWL_STYLE, GetWindowLongPtrW(strip, GWL_STYLE) | WS_TABSTOP);

  auto pageFile = std::make_shared<PageFile>();
  if (!pageFile->CreateModeless(this, IDD_PAGE_FILE) || !pageFile->list()) {
    return false;
  }
  pageFile_ = pageFile;
  pages_[0] = pageFile;
  auto pageOption = std::make_shared<PageOption>();
  if (!pageOption->CreateModeless(this, IDD_PAGE_OPTION)) {
    return false;
  }
  pageOption_ = pageOption;
  pages_[1] = pageOption;
  auto pageHelp = std::make_shared<PageHelp>();
  if (!pageHelp->CreateModeless(this, IDD_PAGE_HELP)) {
    return false;
  }
  pages_[2] = pageHelp;
  // The pages come right after the tab strip in the Tab order, before the
  // four buttons below them.
  HWND previous = strip;
  for (const auto& page : pages_) {
    SetWindowPos(page->Handle(), previous, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    previous = page->Handle();
  }

  convertButton_ = kiv::Button::Attach(*this, IDC_CONVERT);
  if (!convertButton_) {
    return false;
  }
  convertButtonHandle_ = convertButton_->Handle();
  fileList_ = std::make_unique<ListViewFileList>(*pageFile_->list());
  fileList_->SetStateListener([this](const std::wstring& state) {
    if (state == kStateReadFailed || state == kStateWriteFailed) {
      SendMessageW(Handle(), kRowFailedMessage, 0, 0);
    }
  });
  convertManager_ = std::make_unique<ConvertManager>(EngineHost{*fileList_, *pageOption_, *this});
  // Each reaped row that failed or lost something on the way gets its
  // reason, in Japanese, as its tip and colour.
  convertManager_->SetReportListener([this](const ConvertManager::FileReport& report) {
    if (!report.reason.empty()) {
      const bool writing = report.stateText == kStateWriteFailed;
      fileList_->SetRowNote(report.row,
                            report.stateText + L": " + JapaneseReason(report.reason, writing),
                            ListViewFileList::RowNote::kFailed);
    } else if (!report.warning.empty() || !report.sourceNote.empty()) {
      const std::wstring& note = report.warning.empty() ? report.sourceNote : report.warning;
      fileList_->SetRowNote(report.row, report.stateText + L": " + JapaneseReason(note, false),
                            ListViewFileList::RowNote::kWarned);
    }
  });
  batch_ = std::make_unique<RegistrationBatch>(*convertManager_, Handle(),
                                               pageFile_->list()->Handle(), [this] {
                                                 ShowPage(0);
                                                 pageFile_->RevealList();
                                               });
  return true;
}

void Morvane::PlacePages() {
  RECT frame{};
  GetWindowRect(tabControl_->Handle(), &frame);
  POINT corner{frame.left, frame.top};
  ScreenToClient(Handle(), &corner);
  RECT area{};
  GetClientRect(tabControl_->Handle(), &area);
  SendMessageW(tabControl_->Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (const auto& page : pages_) {
    MoveWindow(page->Handle(), corner.x + area.left, corner.y + area.top, area.right - area.left,
               area.bottom - area.top, FALSE);
  }
}

void Morvane::LoadSettings() {
  kiv::DataNode root(0);
  const std::wstring path = kiv::DefaultDataFilePath();
  if (kiv::ReadDataFileType(path) >= kFirstLoadableTag) {
    kiv::LoadDataFile(path, root);
  }
  tabControl_->Load(root.Child(kTabControlKey));
  pageOption_->LoadOptions(root.Child(kPageOptionKey));
  defaultDirectory_ = root.GetString(kDefaultDirectoryKey);

  // Only the position is taken from the saved placement: the dialog has the
  // size its template gives at the current DPI (it cannot be resized), and a
  // size saved at another DPI would cut its controls off or leave it empty.
  WINDOWPLACEMENT saved{};
  if (!root.GetRecord(kWindowPlacementKey, saved)) {
    return;
  }
  RECT own{};
  GetWindowRect(Handle(), &own);
  const SIZE size{own.right - own.left, own.bottom - own.top};
  const POINT corner{saved.rcNormalPosition.left, saved.rcNormalPosition.top};
  // The monitor the saved position is on, or the nearest one when that
  // monitor is gone.
  const RECT placed{corner.x, corner.y, corner.x + size.cx, corner.y + size.cy};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromRect(&placed, MONITOR_DEFAULTTONEAREST), &monitor)) {
    return;
  }
  const POINT at = PlaceWithin(corner, size, monitor.rcWork);
  SetWindowPos(Handle(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Morvane::OnDestroy(WPARAM, LPARAM) {
  closing_ = true;
  StopForClose();
  CollectUnregistered();
  if (!initialised_) {
    return 0;
  }
  KillTimer(Handle(), kTitleTimerId);
  taskbar_.Clear();
  taskbar_.SetButton(nullptr);
  SaveSettings();
  PostQuitMessage(0);
  return 0;
}

void Morvane::SaveSettings() {
  WINDOWPLACEMENT placement{};
  placement.length = kPlacementLength;
  GetWindowPlacement(Handle(), &placement);
  kiv::DataNode root(2);
  tabControl_->Save(root.Child(kTabControlKey));
  pageOption_->SaveOptions(root.Child(kPageOptionKey));
  root.SetString(kDefaultDirectoryKey, defaultDirectory_);
  root.SetRecord(kWindowPlacementKey, placement);
  // A settings file that cannot be written is not worth a message at exit.
  kiv::SaveDataFile(root, kiv::DefaultDataFilePath());
}

LRESULT Morvane::OnTimer(WPARAM, LPARAM) {
  if (heldStart_ != HeldStart::kNone && convertManager_ && registrations_ == 0) {
    BeginRun(heldStart_ == HeldStart::kWholeList);
  }
  if (convertManager_) {
    convertManager_->UpdateTitle(false);
    ShowStartTitle();
  }
  return 0;
}

void Morvane::ShowStartTitle() {
  // Set here, on the thread that sets every title: a run that ends after
  // the look below sets its own title after this one.
  if (convertManager_->IsRunning() && convertManager_->FinishedCount() == 0) {
    const std::wstring title = RunStartTitle(convertManager_->RemainingCount());
    SetWindowTextW(Handle(), TitleWithFailures(title, failedRows_).c_str());
  }
}

LRESULT Morvane::OnNotify(WPARAM, LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header != nullptr && header->code == static_cast<UINT>(TCN_SELCHANGE) && tabControl_) {
    ShowPage(tabControl_->GetCurSel());
  }
  return 0;
}

bool Morvane::OnDialogKey(const MSG& message) {
  if (!tabControl_ || (GetKeyState(VK_CONTROL) & 0x8000) == 0 ||
      (GetKeyState(VK_MENU) & 0x8000) != 0) {
    return false;
  }
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  int step;
  if (message.wParam == VK_TAB) {
    step = shift ? -1 : 1;
  } else if (message.wParam == VK_NEXT && !shift) {
    step = 1;
  } else if (message.wParam == VK_PRIOR && !shift) {
    step = -1;
  } else {
    return false;
  }
  const int current = tabControl_->GetCurSel();
  const int next = ((current < 0 ? 0 : current) + step + kPageCount) % kPageCount;
  // Focus on the page that goes away moves to the tab strip, where the
  // arrow keys go on from tab to tab.
  const HWND focus = GetFocus();
  const bool focusLeaves =
      current >= 0 && current < kPageCount && pages_[current] &&
      (focus == pages_[current]->Handle() || IsChild(pages_[current]->Handle(), focus));
  ShowPage(next);
  if (focusLeaves) {
    SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tabControl_->Handle()), TRUE);
  }
  return true;
}

void Morvane::ShowPage(int index) {
  for (int i = 0; i < kPageCount; ++i) {
    if (!pages_[i]) {
      continue;
    }
    // The page's own visibility, also while the window itself is hidden.
    const bool visible = (GetWindowLongPtrW(pages_[i]->Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
    if (i == index && !visible) {
      ShowWindow(pages_[i]->Handle(), SW_SHOW);
      if (tabControl_ && static_cast<std::size_t>(i) < tabControl_->Items().size()) {
        tabControl_->Select(*tabControl_->Items()[i]);
      }
    } else if (i != index && visible) {
      ShowWindow(pages_[i]->Handle(), SW_HIDE);
    }
  }
}

void Morvane::SetTitle(const std::wstring& title) {
  // The counts are read together with the title, on the thread that made it.
  TitleUpdate update{title};
  if (convertManager_) {
    update.running = convertManager_->IsRunning();
    update.done = convertManager_->FinishedCount();
    update.remaining = convertManager_->RemainingCount();
  }
  if (GetWindowThreadProcessId(Handle(), nullptr) == GetCurrentThreadId()) {
    {
      // Newer than any title still waiting to be shown.
      const std::lock_guard<std::mutex> hold(titleLock_);
      pendingTitle_.reset();
    }
    ShowTitle(update);
    return;
  }
  const std::lock_guard<std::mutex> hold(titleLock_);
  pendingTitle_ = std::move(update);
  if (!titlePosted_) {
    titlePosted_ = PostMessageW(Handle(), kTitleMessage, 0, 0) != FALSE;
  }
}

void Morvane::ShowTitle(const TitleUpdate& update) {
  engineTitle_ = update.title;
  SetWindowTextW(Handle(), TitleWithFailures(engineTitle_, failedRows_).c_str());
  if (update.running) {
    taskbar_.ShowCounts(update.done, update.remaining);
  } else {
    taskbar_.Clear();
  }
}

std::unique_ptr<TaskbarButton> Morvane::MakeTaskbarButton() {
  return MakeTaskbarListButton(Handle());
}

void Morvane::SetConvertButtonText(const std::wstring& text) {
  if (convertButtonHandle_ != nullptr) {
    SendMessageW(convertButtonHandle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

void Morvane::EnableConvertButton(bool enable) {
  SendMessageW(Handle(), kEnableConvertButtonMessage, enable ? TRUE : FALSE, 0);
}

LRESULT Morvane::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kEnableConvertButtonMessage:
      if (convertButton_) {
        convertButton_->Enable(wParam != FALSE);
      }
      return TRUE;
    case kTitleMessage: {
      std::optional<TitleUpdate> update;
      {
        const std::lock_guard<std::mutex> hold(titleLock_);
        update.swap(pendingTitle_);
        titlePosted_ = false;
      }
      if (update) {
        ShowTitle(*update);
      }
      return TRUE;
    }
    case kRowFailedMessage: {
      taskbar_.MarkFailed();
      ++failedRows_;
      // The count shows at once, before the next title of the run.
      SetWindowTextW(Handle(), TitleWithFailures(engineTitle_, failedRows_).c_str());
      return TRUE;
    }
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      // A window that is closing takes nothing: the start opens its own.
      const BOOL taken = !closing_ && data != nullptr && AcceptHandOff(Handle(), *data);
      // A dialog procedure hands a message's result back through its
      // DWLP_MSGRESULT slot.
      SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, taken);
      return TRUE;
    }
    default:
      if (message == taskbarButtonCreated_ && taskbarButtonCreated_ != 0) {
        taskbar_.SetButton(MakeTaskbarButton());
        return TRUE;
      }
      return kiv::Dialog::DefaultProc(message, wParam, lParam);
  }
}
