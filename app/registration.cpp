// Registration: turns what the user names (files from the open dialog, a
// folder from the folder browser, files and folders dropped on the window or
// named on the command line) into rows of the file list, through the Filter
// patterns and, for folders, the subfolder scan.
#include "app/main_window.h"

#include <shellapi.h>

#include "base/path.h"
#include "engine/registration.h"
#include "kiv/drop_file.h"
#include "kiv/file_dialog.h"
#include "kiv/folder_dialog.h"
#include "pages/message_dialog.h"

void Morvane::RebuildFilterPatterns() {
  filterPatterns_ = ::RebuildFilterPatterns(*pageOption_);
}

bool Morvane::MatchesFilter(const std::wstring& path) const {
  return ::MatchesFilter(filterPatterns_, path);
}

void Morvane::ScanFolder(const std::wstring& folder) {
  ::ScanFolder(
      filterPatterns_, folder, *pageOption_, [this](const std::wstring& path) { AcceptFile(path); },
      [this] {
        batch_->Tick();
        return true;
      });
}

void Morvane::AcceptFile(const std::wstring& path) {
  batch_->Add(path);
}

void Morvane::StartConvertIfWanted() {
  if (pageOption_->IsOn(Option::kAutoStartConvert)) {
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
  ++window_.registrations_;
  window_.batch_->Begin();
}

Morvane::RegistrationScope::~RegistrationScope() {
  // Drops that arrived meanwhile, in their order, once the outermost
  // registration is done; they stay queued behind a registration that a
  // message pumped inside it started and ended.
  if (window_.registrations_ == 1) {
    while (!window_.queuedDrops_.empty()) {
      HDROP drop = window_.queuedDrops_.front();
      window_.queuedDrops_.pop_front();
      window_.RegisterDrop(drop);
    }
  }
  window_.batch_->End();
  --window_.registrations_;
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
  for (const std::wstring& path : chosen) {
    if (MatchesFilter(path)) {
      AcceptFile(path);
    }
  }
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
  if (registrations_ > 0) {
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
  const PathSink accept = [this](const std::wstring& path) { AcceptFile(path); };
  const ScanTick tick = [this] {
    batch_->Tick();
    return true;
  };
  for (std::wstring path = drop.NextPath(); !path.empty(); path = drop.NextPath()) {
    RegisterDroppedPath(filterPatterns_, path, *pageOption_, accept, tick);
  }
  StartConvertIfWanted();
  // The drop handle is released with `drop`, then the message box closes.
}
