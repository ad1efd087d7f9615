#include "image/pending_rows.h"

#include <limits>

bool PendingRows::ProduceRows(uint32_t rows) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (done_ || rows_ >= rows) {
      return done_ ? ok_ : true;
    }
  }
  bool finished = false;
  const bool ok = DecodeRows(rows, &finished);
  if (ok && !finished) {
    return true;
  }
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
