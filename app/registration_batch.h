// RegistrationBatch: carries the paths a registration accepts to the
// scheduler in batches, so that registering thousands of files costs little
// more than their directory entries and their rows.
//
// While a registration is open (Begin ... End, nested registrations count as
// one) the accepted paths are collected and handed to the scheduler's
// AddFiles in their order, some hundreds at a time, the message box showing
// how many files were registered with each batch; the list does not redraw
// after each row (WM_SETREDRAW). At least every kPaintMs the batch is handed
// over and the window painted with the rows so far, and every kAnswerMs the
// messages that other threads and processes send the window are answered (a
// second start's hand-off). Input is the main window's to serve
// (Morvane::ServeRegistrationInput): the stop and close commands at once, the
// rest once the registration ends.
// Outside a registration a path is registered at once.
//
// Rows, their order and the scheduler's rules are those of registering each
// path on its own: Flush before anything that depends on the rows (a start
// of the conversion).
//
// Threads: the user-interface thread only. Ownership: nothing; the
// scheduler, the windows and the message box given must outlive their use.
#ifndef MORVANE_APP_REGISTRATION_BATCH_H
#define MORVANE_APP_REGISTRATION_BATCH_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/convert_manager.h"

class MessageDialog;

class RegistrationBatch {
 public:
  // Longest time between two paints of the window during a registration, and
  // between two answers to sent messages, in milliseconds.
  static constexpr ULONGLONG kPaintMs = 200;
  static constexpr ULONGLONG kAnswerMs = 50;
  // Most paths collected before they go to the scheduler.
  static constexpr std::size_t kMaxBatch = 256;

  // `window` is the main window, `list` the file list control; `reveal`
  // brings the file list forward and is called before the first row of each
  // registration.
  RegistrationBatch(ConvertManager& manager, HWND window, HWND list, std::function<void()> reveal);
  RegistrationBatch(const RegistrationBatch&) = delete;
  RegistrationBatch& operator=(const RegistrationBatch&) = delete;

  // A registration begins; registrations nest.
  void Begin();
  // A registration ends: its paths go to the scheduler; the outermost end
  // lets the list redraw again and resets the count.
  void End();

  // For its lifetime, `message` shows the count; then the box shown before
  // it does again. Keep it as a local after the message box it names.
  class CountShown {
   public:
    CountShown(RegistrationBatch& batch, MessageDialog& message)
        : batch_(batch), previous_(batch.message_) {
      batch_.message_ = &message;
    }
    ~CountShown() { batch_.message_ = previous_; }
    CountShown(const CountShown&) = delete;
    CountShown& operator=(const CountShown&) = delete;

   private:
    RegistrationBatch& batch_;
    MessageDialog* previous_;
  };

  // Accepts one path.
  void Add(const std::wstring& path);
  // A name was looked at: paints and answers when their time has come.
  // Registration's scans call it for every name, accepted or not.
  void Tick();
  // Hands the collected paths to the scheduler.
  void Flush();

  // Paths accepted since the outermost registration began.
  std::size_t count() const { return count_; }

 private:
  void Paint();
  void SuspendRedraw(bool suspend);

  ConvertManager& manager_;
  HWND window_;
  HWND list_;
  std::function<void()> reveal_;
  MessageDialog* message_ = nullptr;
  std::vector<ConvertManager::PendingFile> pending_;
  int depth_ = 0;
  std::size_t count_ = 0;
  bool revealed_ = false;
  bool suspended_ = false;
  ULONGLONG lastPaint_ = 0;
  ULONGLONG lastAnswer_ = 0;
};

// The message box's text while `count` files have been registered.
std::wstring RegisteringText(std::size_t count);

#endif  // MORVANE_APP_REGISTRATION_BATCH_H
