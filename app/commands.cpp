// The main window's commands: its four buttons, and the cancel command that
// the dialog manager sends for the Escape key and the close box.
#include "app/main_window.h"
#include "pages/resource_ids.h"

LRESULT Morvane::OnCommand(WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDCANCEL:
    case IDC_EXIT:
      // Nothing is asked: no file starts converting any more, OnDestroy
      // saves the settings, and the scheduler's end waits for the files in
      // progress.
      RequestClose();
      return 0;
    case IDC_CONVERT:
      if (registrations_ > 0) {
        // Pressed during a registration (served by ServeRegistrationInput):
        // the registration ends with the rows it has, and starts nothing.
        registrationStopped_ = true;
      } else if (convertManager_->IsRunning()) {
        convertButton_->Enable(false);
        convertManager_->RequestStop();
      } else {
        // The button always converts the whole list again, from the first row.
        BeginRun(true);
      }
      return 0;
    case IDC_ADD_FOLDER:
      AddFolderFromDialog();
      return 0;
    case IDC_ADD_FILES:
      AddFilesFromDialog();
      return 0;
    default:
      return Reflect(WM_COMMAND, wParam, lParam);
  }
}

void Morvane::RequestClose() {
  if (Handle() == nullptr || !OwnsHandle()) {
    return;
  }
  closing_ = true;
  StopForClose();
  if (registrations_ > 0) {
    closeWhenRegistered_ = true;  // RegistrationScope's end destroys the window
    return;
  }
  DestroyWindow(Handle());
}

void Morvane::StopForClose() {
  // No conversion starts any more: a start held back by the write gate is
  // dropped, and a run in progress lets only its files in progress finish.
  heldStart_ = HeldStart::kNone;
  if (convertManager_) {
    convertManager_->RequestStop();
  }
}

void Morvane::BeginRun(bool wholeList) {
  if (closing_) {
    return;
  }
  batch_->Flush();  // the run starts with every row accepted so far
  // Waiting for the list's lock serves the window's messages: a close may
  // have come in. The scheduler's start gives way to one that comes later.
  if (closing_) {
    return;
  }
  if (writeGate_ && !writeGate_()) {
    if (wholeList || heldStart_ == HeldStart::kNone) {
      heldStart_ = wholeList ? HeldStart::kWholeList : HeldStart::kWaitingRows;
    }
    return;
  }
  heldStart_ = HeldStart::kNone;
  if (wholeList) {
    convertManager_->ClearRowsForNewRun();
  }
  failedRows_ = 0;
  // The run reads the options from its own threads, from the page's copy of
  // them: a control a program set without telling the page counts too.
  pageOption_->KeepValues();
  if (closing_ || !convertManager_->StartConvert()) {
    return;
  }
  // The title counts the run's files from its start, before the first one
  // is done.
  ShowStartTitle();
}
