// Registration: turns what the user names (files from the open dialog, a
// folder from the folder browser, files and folders dropped on the window or
// named on the command line) into rows of the file list, through the Filter
// patterns and, for folders, the subfolder scan.
//
// The folder searches run on a scan thread (engine/background_scan.h); this
// thread takes the accepted paths in their order and registers them, and
// between two takes it paints and answers the messages sent to the window.
#include "app/main_window.h"

#include <shellapi.h>

#include <memory>
#include <mutex>

#include "base/path.h"
#include "engine/memory_options.h"
#include "engine/registration.h"
#include "kiv/drop_file.h"
#include "kiv/file_dialog.h"
#include "kiv/folder_dialog.h"
#include "pages/message_dialog.h"
#include "pages/resource_ids.h"

namespace {

// The options a scan reads (only SubDirectory), read on this thread for the
// scan thread.
std::shared_ptr<OptionSet> ScanOptions(OptionSet& page) {
  auto options = std::make_shared<MemoryOptionSet>();
  options->SetOn(Option::kSubDirectory, page.IsOn(Option::kSubDirectory));
  return options;
}

// How far the scan of a drop got: for each dropped path whose scan began,
// how many paths the scan had accepted before it. Written by the scan
// thread, read once the scan has ended.
class DropProgress {
 public:
  void Begin() {
    std::lock_guard<std::mutex> hold(mutex_);
    firstAccepted_.push_back(accepted_);
  }
  void Accepted() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++accepted_;
  }
  // The dropped paths of which no accepted path was among the first
  // `registered` ones: those whose scan never began, found nothing yet, or
  // whose first files were still waiting to be registered.
  std::vector<std::wstring> Unregistered(const std::vector<std::wstring>& dropped,
                                         std::size_t registered) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::wstring> rest;
    for (std::size_t i = 0; i < dropped.size(); ++i) {
      if (i >= firstAccepted_.size() || firstAccepted_[i] >= registered) {
        rest.push_back(dropped[i]);
      }
    }
    return rest;
  }

 private:
  std::mutex mutex_;
  std::vector<std::size_t> firstAccepted_;
  std::size_t accepted_ = 0;
};

}  // namespace

void Morvane::RebuildFilterPatterns() {
  filterPatterns_ = ::RebuildFilterPatterns(*pageOption_);
}

std::size_t Morvane::RegisterFound(const BackgroundScan::Job& job) {
  BackgroundScan scan(job);
  std::vector<std::wstring> paths;
  std::size_t registered = 0;
  // A close or a stop asked for meanwhile ends the registration; the scan
  // is cancelled with `scan`.
  const auto stopped = [this] { return closing_ || registrationStopped_; };
  while (!stopped() && scan.Take(paths, RegistrationBatch::kMaxBatch,
                                 static_cast<unsigned>(RegistrationBatch::kAnswerMs))) {
    for (const std::wstring& path : paths) {
      AcceptFile(path);
      ++registered;
      if (registered % RegistrationBatch::kMaxBatch == 0) {
        ServeRegistrationInput();
        if (stopped()) {
          return registered;
        }
      }
    }
    batch_->Tick();
    ServeRegistrationInput();
  }
  if (!stopped()) {
    WaitUntilListed();
  }
  return registered;
}

void Morvane::WaitUntilListed() {
  // During a run the scheduler makes the rows of the paths handed to it;
  // the message box stays, with its count, until the list holds them all.
  batch_->Flush();
  while (!closing_ && !registrationStopped_ && convertManager_->UnlistedCount() > 0) {
    // The scheduler's rows are sent messages: they are served while waiting.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(RegistrationBatch::kAnswerMs),
                              QS_SENDMESSAGE);
    batch_->Tick();
    ServeRegistrationInput();
  }
}

void Morvane::ServeRegistrationInput() {
  const HWND exitButton = GetDlgItem(Handle(), IDC_EXIT);
  const auto hold = [this](const MSG& message) {
    if (heldInput_.size() < kMaxHeldInput) {
      heldInput_.push_back(message);
    }
  };
  MSG message;
  while (!closing_ && PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    if ((message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) ||
        (message.message == WM_SYSKEYDOWN && message.wParam == VK_F4)) {
      RequestClose();
    } else {
      hold(message);
    }
  }
  while (!closing_ && PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    // A button takes its press and its release (it holds the mouse between
    // them) and answers with its command.
    if (message.hwnd != nullptr &&
        (message.hwnd == convertButtonHandle_ || message.hwnd == exitButton)) {
      DispatchMessageW(&message);
    } else if (message.message != WM_MOUSEMOVE) {
      hold(message);
    }
  }
  while (!closing_ &&
         PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    if (message.message == WM_NCLBUTTONDOWN && message.hwnd == Handle() &&
        message.wParam == HTCLOSE) {
      RequestClose();
    } else if (message.message != WM_NCMOUSEMOVE) {
      hold(message);
    }
  }
}

void Morvane::ReleaseHeldInput() {
  std::vector<MSG> held;
  held.swap(heldInput_);
  if (closing_) {
    return;  // the window goes: its input with it
  }
  for (const MSG& message : held) {
    if (IsWindow(message.hwnd)) {
      PostMessageW(message.hwnd, message.message, message.wParam, message.lParam);
    }
  }
}

void Morvane::ScanFolder(const std::wstring& folder) {
  RegisterFound([patterns = filterPatterns_, options = ScanOptions(*pageOption_), folder](
                    const PathSink& accept, const ScanTick& tick) {
    ::ScanFolder(patterns, folder, *options, accept, tick);
  });
}

void Morvane::AcceptFile(const std::wstring& path) {
  batch_->Add(path);
}

void Morvane::StartConvertIfWanted() {
  // A run started as the window closes would end at once, after however
  // many files had begun by then; a stopped registration starts nothing.
  if (!closing_ && !registrationStopped_ && pageOption_->IsOn(Option::kAutoStartConvert)) {
    BeginRun(false);
  }
}

std::wstring Morvane::FileDialogFilter() const {
  if (filterPatterns_.empty()) {
    return std::wstring();
  }
  std::wstring filter = L"画像ファイル(" + pageOption_->GetOptionText(Option::kFilter) + L")";
  filter.push_back(L'\0');
  for (std::size_t i = 0; i < filterPatterns_.size(); ++i) {
    if (i != 0) {
      filter += L";";
    }
    filter += filterPatterns_[i];
  }
  return filter;
}

bool Morvane::ChooseSourceFiles(const std::wstring& filter, std::vector<std::wstring>& chosen) {
  kiv::FileDialog dialog;
  return kiv::ChooseFiles(chosen, defaultDirectory_, dialog, this, L"", filter);
}

bool Morvane::ChooseSourceFolder(std::wstring& chosen) {
  return kiv::ChooseFolder(defaultDirectory_, chosen, this);
}

Morvane::RegistrationScope::RegistrationScope(Morvane& window) : window_(window) {
  if (window_.registrations_ == 0) {
    window_.registrationStopped_ = false;
  }
  ++window_.registrations_;
  window_.batch_->Begin();
}

Morvane::RegistrationScope::~RegistrationScope() {
  // Drops that arrived meanwhile, in their order, once the outermost
  // registration is done; they stay queued behind a registration that a
  // message pumped inside it started and ended. A window that is closing
  // keeps them for the next instance instead.
  if (window_.registrations_ == 1 && !window_.closing_) {
    while (!window_.closing_ && !window_.queuedDrops_.empty()) {
      // A stop ends the registration it came into, not the drops behind it.
      window_.registrationStopped_ = false;
      HDROP drop = window_.queuedDrops_.front();
      window_.queuedDrops_.pop_front();
      window_.RegisterDrop(drop);
    }
  }
  window_.batch_->End();
  if (--window_.registrations_ == 0) {
    window_.ReleaseHeldInput();
    if (window_.closeWhenRegistered_) {
      window_.closeWhenRegistered_ = false;
      DestroyWindow(window_.Handle());
    }
  }
}

void Morvane::CollectUnregistered() {
  const auto collect = [this](HDROP handle) {
    kiv::DropFile drop(handle);
    for (std::wstring path = drop.NextPath(); !path.empty(); path = drop.NextPath()) {
      unregistered_.push_back(std::move(path));
    }
  };
  // The queued drops arrived before any that is still posted.
  while (!queuedDrops_.empty()) {
    HDROP drop = queuedDrops_.front();
    queuedDrops_.pop_front();
    collect(drop);
  }
  MSG message;
  while (PeekMessageW(&message, Handle(), WM_DROPFILES, WM_DROPFILES, PM_REMOVE)) {
    collect(reinterpret_cast<HDROP>(message.wParam));
  }
}

void Morvane::AddFilesFromDialog() {
  RegistrationScope scope(*this);
  RebuildFilterPatterns();
  std::vector<std::wstring> chosen;
  if (!ChooseSourceFiles(FileDialogFilter(), chosen) || chosen.empty()) {
    return;
  }
  MessageDialog message(kRegisteringMessage);
  message.Show(*this);
  RegistrationBatch::CountShown shown(*batch_, message);
  defaultDirectory_ = kiv::RemoveFileSpec(chosen.front());
  RegisterFound([patterns = filterPatterns_, chosen](const PathSink& accept, const ScanTick& tick) {
    for (const std::wstring& path : chosen) {
      if (!tick()) {
        return;
      }
      if (::MatchesFilter(patterns, path)) {
        accept(path);
      }
    }
  });
  StartConvertIfWanted();
}

void Morvane::AddFolderFromDialog() {
  RegistrationScope scope(*this);
  std::wstring folder;
  if (!ChooseSourceFolder(folder)) {
    return;
  }
  MessageDialog message(kRegisteringMessage);
  message.Show(*this);
  RegistrationBatch::CountShown shown(*batch_, message);
  RebuildFilterPatterns();
  defaultDirectory_ = folder;
  ScanFolder(folder);
  StartConvertIfWanted();
}

LRESULT Morvane::OnDropFiles(WPARAM wParam, LPARAM) {
  HDROP drop = reinterpret_cast<HDROP>(wParam);
  if (registrations_ > 0 || closing_) {
    queuedDrops_.push_back(drop);
    return 0;
  }
  RegistrationScope scope(*this);
  RegisterDrop(drop);
  return 0;
}

void Morvane::RegisterDrop(HDROP handle) {
  MessageDialog message(kRegisteringMessage);
  message.Show(*this);
  RegistrationBatch::CountShown shown(*batch_, message);
  RebuildFilterPatterns();
  kiv::DropFile drop(handle);
  std::vector<std::wstring> dropped;
  for (std::wstring path = drop.NextPath(); !path.empty(); path = drop.NextPath()) {
    dropped.push_back(std::move(path));
  }
  auto progress = std::make_shared<DropProgress>();
  const std::size_t registered =
      RegisterFound([patterns = filterPatterns_, options = ScanOptions(*pageOption_), dropped,
                     progress](const PathSink& accept, const ScanTick& tick) {
        const PathSink counted = [&accept, &progress](const std::wstring& path) {
          progress->Accepted();
          accept(path);
        };
        for (const std::wstring& path : dropped) {
          if (!tick()) {
            return;
          }
          progress->Begin();
          RegisterDroppedPath(patterns, path, *options, counted, tick);
        }
      });
  if (closing_) {
    // The window closes with part of the drop registered: the paths none of
    // whose files became a row go on to the next instance, before the drops
    // queued behind it.
    const std::vector<std::wstring> rest = progress->Unregistered(dropped, registered);
    unregistered_.insert(unregistered_.end(), rest.begin(), rest.end());
    return;
  }
  StartConvertIfWanted();
  // The drop handle is released with `drop`, then the message box closes.
}
