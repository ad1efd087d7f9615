// MakeTaskbarListButton: the taskbar button through the shell's
// ITaskbarList3.
#include <windows.h>

#include <shobjidl.h>

#include "app/taskbar_progress.h"

namespace {

TBPFLAG FlagOf(TaskbarButton::State state) {
  switch (state) {
    case TaskbarButton::State::kNormal:
      return TBPF_NORMAL;
    case TaskbarButton::State::kError:
      return TBPF_ERROR;
    case TaskbarButton::State::kNone:
      break;
  }
  return TBPF_NOPROGRESS;
}

class TaskbarListButton final : public TaskbarButton {
 public:
  // Takes over one reference of `list`.
  TaskbarListButton(HWND window, ITaskbarList3* list) : window_(window), list_(list) {}
  ~TaskbarListButton() override { list_->Release(); }

  // The shell's answers are not needed: a bar it cannot show changes nothing
  // about the run.
  void SetState(State state) override { list_->SetProgressState(window_, FlagOf(state)); }
  void SetValue(std::uint64_t done, std::uint64_t total) override {
    list_->SetProgressValue(window_, done, total);
  }

 private:
  HWND window_;
  ITaskbarList3* list_;  // owned reference
};

}  // namespace

std::unique_ptr<TaskbarButton> MakeTaskbarListButton(HWND window) {
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list))) ||
      list == nullptr) {
    return nullptr;
  }
  if (FAILED(list->HrInit())) {
    list->Release();
    return nullptr;
  }
  return std::make_unique<TaskbarListButton>(window, list);
}
