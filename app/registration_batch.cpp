#include "app/registration_batch.h"

#include <utility>

#include "pages/message_dialog.h"

std::wstring RegisteringText(std::size_t count) {
  return L"ファイル登録中… " + std::to_wstring(count) + L" 件";
}

RegistrationBatch::RegistrationBatch(ConvertManager& manager, HWND window, HWND list,
                                     std::function<void()> reveal)
    : manager_(manager), window_(window), list_(list), reveal_(std::move(reveal)) {}

void RegistrationBatch::Begin() {
  if (depth_++ == 0) {
    count_ = 0;
    revealed_ = false;
    lastPaint_ = lastAnswer_ = GetTickCount64();
  }
}

void RegistrationBatch::End() {
  Flush();
  if (--depth_ > 0) {
    return;
  }
  depth_ = 0;
  SuspendRedraw(false);
}

void RegistrationBatch::Add(const std::wstring& path) {
  if (depth_ == 0) {
    reveal_();
    manager_.AddFile(path);
    return;
  }
  if (!revealed_) {
    // Before the redraw is suspended: suspending it hides the list's
    // visibility from a look at its style.
    reveal_();
    revealed_ = true;
    // The list just shown is drawn (its header and grid) before its redraw
    // is suspended; a paint that comes while suspended draws nothing, and
    // the page would show a blank until the first batch is painted.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    SuspendRedraw(true);
  }
  pending_.push_back(ConvertManager::PendingFile{path, std::wstring()});
  ++count_;
  if (pending_.size() >= kMaxBatch) {
    Flush();
  }
  Tick();
}

void RegistrationBatch::Tick() {
  if (depth_ == 0) {
    return;
  }
  const ULONGLONG now = GetTickCount64();
  if (now - lastPaint_ >= kPaintMs) {
    Flush();
    Paint();
    lastPaint_ = now;
  }
  if (now - lastAnswer_ >= kAnswerMs) {
    // Messages sent by other threads and processes are served by a peek;
    // posted messages and input wait for the registration's end.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    lastAnswer_ = now;
  }
}

void RegistrationBatch::Flush() {
  if (pending_.empty()) {
    return;
  }
  manager_.AddFiles(pending_);
  pending_.clear();
  // The count goes with the rows it counts.
  if (message_ != nullptr && depth_ > 0) {
    message_->SetMessage(RegisteringText(count_));
  }
}

void RegistrationBatch::Paint() {
  SuspendRedraw(false);
  // Only paint messages: nothing else runs in the middle of a registration.
  RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  SuspendRedraw(true);
}

void RegistrationBatch::SuspendRedraw(bool suspend) {
  if (suspend == suspended_ || list_ == nullptr) {
    return;
  }
  suspended_ = suspend;
  SendMessageW(list_, WM_SETREDRAW, suspend ? FALSE : TRUE, 0);
  if (!suspend) {
    InvalidateRect(list_, nullptr, TRUE);
  }
}
