// Morvane: the program's one top-level window. A modeless dialog (template 9)
// with a tab control over three pages (file list, settings, help), four
// buttons, and the conversion scheduler.
//
// It owns the pages and the scheduler, restores the settings and the window
// placement when it starts and saves them when it is destroyed, drives the
// scheduler's title refresh once a second, switches pages by tab, registers
// files (registration.cpp) and carries out the buttons' commands
// (commands.cpp). For the engine it is the window (title, convert button);
// the file page's list and the settings page answer for the list and the
// options. Each title of a run also sets the progress on the window's
// taskbar button (app/taskbar_progress.h), and a failed row turns it to the
// error state and is counted in the title. Each reaped row's reason or
// warning (engine/failure_reason.h) becomes, in Japanese, the row's tip and
// colour. A close starts no conversion any more.
//
// Threads: everything runs on the user-interface thread, except the
// ConvertWindow operations, which the engine calls from its own threads; each
// of them is a message sent to the window, carried out by the user-interface
// thread.
//
// Life: construct (no window), CreateModeless(nullptr, IDD_MAIN) (OnInitDialog
// builds everything and shows the window), the message loop runs until the
// window is destroyed (OnDestroy saves the settings and posts the quit
// message), then the object is destroyed, which ends the scheduler (waiting for
// conversions in progress) and releases the pages.
#ifndef MORVANE_APP_MAIN_WINDOW_H
#define MORVANE_APP_MAIN_WINDOW_H

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/registration_batch.h"
#include "app/taskbar_progress.h"
#include "engine/background_scan.h"
#include "engine/convert_manager.h"
#include "engine/file_list.h"
#include "kiv/button.h"
#include "kiv/dialog.h"
#include "kiv/tab_control.h"
#include "pages/file_list_adapter.h"
#include "pages/page_file.h"
#include "pages/page_help.h"
#include "pages/page_option.h"

// Where a window of `size` whose top left was saved at `corner` goes so
// that it lies inside `area` (a monitor's work area): moved in by as little
// as needed; a window larger than the area keeps its top left corner inside.
POINT PlaceWithin(POINT corner, SIZE size, const RECT& area);
// The title of a run that has started and finished no file yet.
std::wstring RunStartTitle(int files);
// `title` with the count of failed rows: "Morvane - 失敗 2 件",
// "Morvane - 12 (0:40) 失敗 2 件"; `title` itself when none failed.
std::wstring TitleWithFailures(const std::wstring& title, int failed);

class Morvane : public kiv::Dialog, public ConvertWindow {
 public:
  // Number of pages (and tabs): 0 file list, 1 settings, 2 help.
  static constexpr int kPageCount = 3;
  // The title-refresh timer.
  static constexpr UINT_PTR kTitleTimerId = 0;
  static constexpr UINT kTitleTimerMs = 1000;
  // The message a registration shows while it works.
  static constexpr const wchar_t* kRegisteringMessage = L"ファイル登録中…";

  Morvane();
  ~Morvane() override;

  // Makes the page of `index` the only visible one and selects its tab; an
  // index outside 0 to 2 hides every page. Nothing changes for a page that is
  // already in the wanted state.
  void ShowPage(int index);

  // Registration, each on the user-interface thread. See registration.cpp.
  void RebuildFilterPatterns();
  void ScanFolder(const std::wstring& folder);
  void AcceptFile(const std::wstring& path);
  void AddFilesFromDialog();
  void AddFolderFromDialog();

  // The file-dialog filter for the current patterns: "画像ファイル(" + the
  // Filter text + ")", NUL, the patterns joined by ";"; empty when there is
  // no pattern.
  std::wstring FileDialogFilter() const;

  // Asked before each run starts. While it answers false (an instance that
  // is closing still writes its files), the start waits and the one-second
  // timer asks again; the waiting start is then made as it was asked for.
  // Unset, runs start at once. Set it before the window is created.
  void SetWriteGate(std::function<bool()> gate) { writeGate_ = std::move(gate); }

  // The paths handed to the window (dropped on it, or named by a second
  // start) that it had taken but not registered yet when it was closed, in
  // their order: the drops still queued and, whole, a drop whose
  // registration the close came into. Complete once the window is
  // destroyed; empty once taken.
  // The entry point passes them on to the next instance.
  std::vector<std::wstring> TakeUnregisteredPaths() { return std::move(unregistered_); }

  // ConvertWindow, from any thread.
  void SetTitle(const std::wstring& title) override;
  void SetConvertButtonText(const std::wstring& text) override;
  void EnableConvertButton(bool enable) override;

  // Accessors; empty until OnInitDialog has run.
  const std::shared_ptr<PageFile>& pageFile() const { return pageFile_; }
  const std::shared_ptr<PageOption>& pageOption() const { return pageOption_; }
  const std::shared_ptr<kiv::Dialog>& page(int index) const { return pages_.at(index); }
  const std::shared_ptr<kiv::TabControl>& tabControl() const { return tabControl_; }
  const std::shared_ptr<kiv::Button>& convertButton() const { return convertButton_; }
  ConvertManager* convertManager() const { return convertManager_.get(); }
  FileList* fileList() const { return fileList_.get(); }
  const std::vector<std::wstring>& filterPatterns() const { return filterPatterns_; }
  const std::wstring& defaultDirectory() const { return defaultDirectory_; }

 protected:
  LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam) override;
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam) override;
  // WM_DROPFILES: files and folders dropped on the window, and the paths of
  // the command line and of a second start. Returns 0.
  LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam) override;
  LRESULT OnTimer(WPARAM wParam, LPARAM lParam) override;
  // The four buttons and the cancel command (Escape, close box).
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
  // A tab change shows its page.
  LRESULT OnNotify(WPARAM wParam, LPARAM lParam) override;
  // Ctrl+Tab and Ctrl+PgDn show the next page, Ctrl+Shift+Tab and Ctrl+PgUp
  // the previous one (round the ends), from any control of the window.
  bool OnDialogKey(const MSG& message) override;
  // WM_COPYDATA from a second start, and the requests of ConvertWindow.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The open-file dialog and the folder browser, owned by this window and
  // starting in defaultDirectory(); true with the choice, false on cancel.
  virtual bool ChooseSourceFiles(const std::wstring& filter, std::vector<std::wstring>& chosen);
  virtual bool ChooseSourceFolder(std::wstring& chosen);
  // The taskbar button's progress display, asked for each time the shell
  // reports the window's button; null where there is none.
  virtual std::unique_ptr<TaskbarButton> MakeTaskbarButton();

 private:
  // Sent by EnableConvertButton to have the user-interface thread enable or
  // disable the button (WPARAM: TRUE or FALSE).
  static constexpr UINT kEnableConvertButtonMessage = WM_APP + 1;
  // Posted by SetTitle from another thread (the update waits in
  // `pendingTitle_`), sent by the list when a row fails, so that the
  // user-interface thread sets the title and the taskbar.
  static constexpr UINT kTitleMessage = WM_APP + 2;
  static constexpr UINT kRowFailedMessage = WM_APP + 3;
  struct TitleUpdate {
    std::wstring title;
    bool running = false;
    int done = 0;
    int remaining = 0;
  };
  // Shows `update` now. User-interface thread only.
  void ShowTitle(const TitleUpdate& update);

  // The exit button, Escape and the close box. From here on the window
  // takes no hand-off (a start opens its own window) and starts no run; a
  // registration in progress (the close came through a message it pumped)
  // stops taking paths and ends first, then the window is destroyed.
  void RequestClose();
  // Moves the drops queued or posted to the window into unregistered_.
  void CollectUnregistered();

  // Builds the pages, the tab control and the scheduler; false when one of
  // them cannot be made.
  bool BuildParts();
  void PlacePages();
  void LoadSettings();
  void SaveSettings();
  void StartConvertIfWanted();
  // Starts a run through the write gate: the whole list again (the convert
  // button) or from the first waiting row (after registration).
  void BeginRun(bool wholeList);
  // Registers the paths of one drop and releases the drop handle.
  void RegisterDrop(HDROP drop);
  // Runs `job` on a scan thread and registers the paths it accepts, in
  // their order, painting, answering sent messages and serving the stop and
  // close commands meanwhile; returns when the job has ended and every path
  // is registered, or at once when the registration is stopped or the
  // window closes. Returns the number of paths registered.
  std::size_t RegisterFound(const BackgroundScan::Job& job);
  // Input during a registration: Escape, Alt+F4 and the close box close the
  // window, and clicks on the convert and exit buttons reach them (the
  // convert button stops the registration); other input is held and posted
  // again when the registration ends, in its order.
  void ServeRegistrationInput();
  // Waits, serving as RegisterFound does, until a run has made rows of every
  // path the registration handed it.
  void WaitUntilListed();
  void ReleaseHeldInput();
  // The close: nothing starts converting any more (a held start is dropped,
  // a run lets its files in progress finish).
  void StopForClose();
  // "Morvane - N" while a run has started and no file is done yet.
  void ShowStartTitle();

  // Marks a registration in progress. Registration pumps messages (the
  // message box's first paint, waits for the list's lock), so a drop that
  // arrives meanwhile is queued and registered after the current one, keeping
  // the order in which paths were handed over. Scopes nest (a pumped message
  // may start another registration); the queue is served when the outermost
  // one ends.
  class RegistrationScope {
   public:
    explicit RegistrationScope(Morvane& window);
    ~RegistrationScope();
    RegistrationScope(const RegistrationScope&) = delete;
    RegistrationScope& operator=(const RegistrationScope&) = delete;

   private:
    Morvane& window_;
  };

  std::shared_ptr<PageFile> pageFile_;
  std::shared_ptr<PageOption> pageOption_;
  std::array<std::shared_ptr<kiv::Dialog>, kPageCount> pages_;
  std::shared_ptr<kiv::TabControl> tabControl_;
  std::shared_ptr<kiv::Button> convertButton_;
  HWND convertButtonHandle_ = nullptr;  // for requests from other threads
  // The engine's view of the file page's list; outlives the scheduler.
  std::unique_ptr<ListViewFileList> fileList_;
  // Outlives the scheduler, whose threads report to it through messages.
  TaskbarProgress taskbar_;
  // The registered "TaskbarButtonCreated" message; 0 when there is none.
  UINT taskbarButtonCreated_ = 0;
  std::unique_ptr<ConvertManager> convertManager_;
  // Destroyed before the scheduler it hands paths to.
  std::unique_ptr<RegistrationBatch> batch_;
  std::vector<std::wstring> filterPatterns_;
  std::wstring defaultDirectory_;
  std::function<bool()> writeGate_;
  // A start the write gate held back: none, from the first waiting row, or
  // the whole list.
  enum class HeldStart { kNone, kWaitingRows, kWholeList };
  HeldStart heldStart_ = HeldStart::kNone;
  int registrations_ = 0;  // registrations in progress, nested ones included
  std::deque<HDROP> queuedDrops_;
  bool closing_ = false;              // RequestClose or the window's end began
  bool closeWhenRegistered_ = false;  // a close waits for the registration
  bool registrationStopped_ = false;  // the convert button stopped it
  // Input held during a registration, at most kMaxHeldInput messages.
  static constexpr std::size_t kMaxHeldInput = 512;
  std::vector<MSG> heldInput_;
  // Rows of the current (or last) run that failed; the title tells them.
  int failedRows_ = 0;
  std::wstring engineTitle_ = L"Morvane";  // the last title the run set
  // The newest title set from another thread and not shown yet: a run
  // never waits for the window to draw its title, and titles set faster
  // than it draws them show as one, the newest.
  std::mutex titleLock_;
  std::optional<TitleUpdate> pendingTitle_;  // guarded by titleLock_
  bool titlePosted_ = false;                 // guarded by titleLock_
  std::vector<std::wstring> unregistered_;
  // The window's small icon, made for it; destroyed with the object, after
  // the window.
  struct IconDestroyer {
    void operator()(HICON icon) const { DestroyIcon(icon); }
  };
  std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer> smallIcon_;
  // OnInitDialog completed: the window is in use, and its end saves the
  // settings and ends the message loop.
  bool initialised_ = false;
};

#endif  // MORVANE_APP_MAIN_WINDOW_H
