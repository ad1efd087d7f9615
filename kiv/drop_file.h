// kiv::DropFile: reads the paths of a dropped-files block (the WPARAM of
// WM_DROPFILES) one by one and releases the block with DragFinish exactly
// once, when the object is destroyed. The handler that constructs it must
// not call DragFinish itself.
//
// Threads: the thread that received the drop.
#ifndef KIV_DROP_FILE_H_
#define KIV_DROP_FILE_H_

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace kiv {

class DropFile {
 public:
  explicit DropFile(HDROP handle);
  virtual ~DropFile();
  DropFile(const DropFile&) = delete;
  DropFile& operator=(const DropFile&) = delete;

  // The next path in the drop's order; the empty string once every path
  // has been read.
  std::wstring NextPath();
  // How many paths the block holds.
  UINT Count() const { return count_; }

 private:
  HDROP handle_;
  UINT next_ = 0;
  UINT count_ = 0;
};

}  // namespace kiv

#endif  // KIV_DROP_FILE_H_
