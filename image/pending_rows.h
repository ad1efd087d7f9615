// PendingRows: the rows of a Bitmap that its reader has still to decode, so that the PNG writer
// can compress the top of a large image while its bottom is being decoded.
//
// A reader asked to leave its rows (BitmapLoadOptions::deferRows) returns from Load once the
// image's size, palette and chunks are known, with the pixel store allocated and a PendingRows
// that decodes the rows into it from the top down. Produce decodes them all; while it runs,
// WaitForRows lets other threads wait for a number of top rows to be in place.
//
// Threads: Produce is called by one thread at a time (the owner's, or one of the PNG writer's
// piece threads); WaitForRows by any thread. Ownership: the Bitmap owns it (Bitmap::Pending);
// it writes into the Bitmap's pixel store, which a move of the Bitmap does not reallocate.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class PendingRows {
 public:
  PendingRows() = default;
  PendingRows(const PendingRows&) = delete;
  PendingRows& operator=(const PendingRows&) = delete;
  virtual ~PendingRows() = default;

  // Decodes every row not yet decoded. Returns false when the data is damaged beyond use (the
  // rows then stay as they are and every waiter is released with false). Once every row is
  // decoded, or decoding failed, a call returns that result at once. Never throws.
  bool Produce() { return ProduceRows(UINT32_MAX); }
  // The same, stopping once at least the top `rows` rows are in place.
  bool ProduceRows(uint32_t rows);

  // Waits until the top `rows` rows of the picture are in place. Returns false when decoding
  // failed.
  bool WaitForRows(uint32_t rows);

  // After Produce: the file's data ended before the image did (the rest filled as the decoder
  // fills it), with `bytesPresent` bytes; or, when Produce failed, the decoder's words.
  bool EndedEarly() const { return endedEarly_; }
  uint64_t BytesPresent() const { return bytesPresent_; }
  const std::string& FailureDetail() const { return failureDetail_; }

 protected:
  // Decodes rows from the first not yet decoded on, calling Publish as they come, until at least
  // the top `rows` rows are in place or the last row is. Sets *finished when the last row is in
  // place. Returns false when decoding failed; it is not called again then, nor once finished.
  virtual bool DecodeRows(uint32_t rows, bool* finished) = 0;

  // The top `rows` rows are in place.
  void Publish(uint32_t rows);

  bool endedEarly_ = false;
  uint64_t bytesPresent_ = 0;
  std::string failureDetail_;

 private:
  std::mutex mutex_;
  std::condition_variable published_;
  uint32_t rows_ = 0;
  bool done_ = false;
  bool ok_ = false;
};
