#include "image/pending_rows.h"

#include <limits>

bool PendingRows::Produce() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (done_) {
      return ok_;
    }
  }
  const bool ok = DecodeRows();
  std::lock_guard<std::mutex> hold(mutex_);
  done_ = true;
  ok_ = ok;
  if (ok) {
    rows_ = std::numeric_limits<uint32_t>::max();
  }
  published_.notify_all();
  return ok;
}

bool PendingRows::WaitForRows(uint32_t rows) {
  std::unique_lock<std::mutex> hold(mutex_);
  published_.wait(hold, [&] { return rows_ >= rows || done_; });
  return rows_ >= rows;
}

void PendingRows::Publish(uint32_t rows) {
  std::lock_guard<std::mutex> hold(mutex_);
  rows_ = rows;
  published_.notify_all();
}
