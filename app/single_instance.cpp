#include "app/single_instance.h"

#include <cstring>

#include "app/startup/drop_block.h"
#include "base/path.h"

const wchar_t kInstanceMarkerName[] = L"Brindlex - Morvane";

namespace {

const wchar_t kInstanceMutexName[] = L"Brindlex - Morvane (instance)";
const wchar_t kWriterMutexName[] = L"Brindlex - Morvane (writer)";

constexpr DWORD kMarkerBytes = 4;
constexpr DWORD kPollMs = 50;

// Window handles are 32-bit values shared between processes; they widen by
// sign extension.
HWND HandleFromMarker(std::uint32_t value) {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<std::int32_t>(value)));
}

std::uint32_t MarkerFromHandle(HWND window) {
  return static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window));
}

// Takes `mutex` without waiting. A mutex left by a process that ended
// without giving it up is taken too.
bool TryTake(HANDLE mutex) {
  if (mutex == nullptr) {
    return false;
  }
  const DWORD result = WaitForSingleObject(mutex, 0);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

}  // namespace

InstanceMarker::InstanceMarker() {
  mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMarkerBytes,
                                kInstanceMarkerName);
  instance_ = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
  writer_ = CreateMutexW(nullptr, FALSE, kWriterMutexName);
  if (mapping_ == nullptr || instance_ == nullptr || writer_ == nullptr) {
    role_ = Role::kFailed;
  } else if (!TryBecomeFirst()) {
    role_ = Role::kSecond;
  }
}

InstanceMarker::~InstanceMarker() {
  ReleaseInstance();
  if (writerHeld_) {
    ReleaseMutex(writer_);
  }
  for (HANDLE handle : {writer_, instance_, mapping_}) {
    if (handle != nullptr) {
      CloseHandle(handle);
    }
  }
}

bool InstanceMarker::TryBecomeFirst() {
  if (!TryTake(instance_)) {
    return false;
  }
  role_ = Role::kFirst;
  Publish(nullptr);  // a closed instance's window, or none: nothing to hand to yet
  return true;
}

void InstanceMarker::ReleaseInstance() {
  if (role_ != Role::kFirst) {
    return;
  }
  Publish(nullptr);
  ReleaseMutex(instance_);
  role_ = Role::kSecond;
}

bool InstanceMarker::TakeWriter() {
  if (!writerHeld_) {
    writerHeld_ = TryTake(writer_);
  }
  return writerHeld_;
}

void InstanceMarker::Publish(HWND window) {
  if (mapping_ == nullptr) {
    return;
  }
  void* view = MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, kMarkerBytes);
  if (view == nullptr) {
    return;
  }
  const std::uint32_t value = MarkerFromHandle(window);
  std::memcpy(view, &value, sizeof value);
  UnmapViewOfFile(view);
}

HWND InstanceMarker::Read() const {
  if (mapping_ == nullptr) {
    return nullptr;
  }
  const void* view = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, kMarkerBytes);
  if (view == nullptr) {
    return nullptr;
  }
  std::uint32_t value = 0;
  std::memcpy(&value, view, sizeof value);
  UnmapViewOfFile(view);
  return HandleFromMarker(value);
}

HWND InstanceMarker::WaitForWindow(DWORD timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (role_ == Role::kFirst) {
      return nullptr;
    }
    HWND window = Read();
    if (window != nullptr && IsWindow(window)) {
      return window;
    }
    // No live window: the running instance may be building it, or have
    // closed; in the second case this start takes its place.
    if (role_ == Role::kSecond && TryBecomeFirst()) {
      return nullptr;
    }
    if (GetTickCount64() - start >= timeoutMs) {
      return nullptr;
    }
    Sleep(kPollMs);
  }
}

HWND InstanceMarker::WaitForOtherWindow(DWORD timeoutMs) const {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    HWND window = Read();
    if (window != nullptr && IsWindow(window)) {
      return window;
    }
    if (GetTickCount64() - start >= timeoutMs) {
      return nullptr;
    }
    Sleep(kPollMs);
  }
}

bool PassOn(const InstanceMarker& marker, const std::vector<std::uint8_t>& block) {
  const std::wstring program = kiv::GetModulePath();
  if (program.empty()) {
    return false;
  }
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  // The new start's window may take longer to appear than a running one's
  // to be found: it is waited for as long as the hand-off's patience lasts.
  const auto findWindow = [&marker](DWORD) {
    return marker.WaitForOtherWindow(kHandOffPatienceMs);
  };
  return HandOffPatiently(findWindow, block, kHandOffPatienceMs);
}

bool HandOff(HWND window, const std::vector<std::uint8_t>& block) {
  bool taken = true;
  if (!block.empty()) {
    COPYDATASTRUCT data{};
    data.dwData = kHandOffTag;
    data.cbData = static_cast<DWORD>(block.size());
    data.lpData = const_cast<std::uint8_t*>(block.data());
    DWORD_PTR result = 0;
    taken = SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                SMTO_ABORTIFHUNG, kHandOffWaitMs, &result) != 0 &&
            result != 0;
  }
  if (IsIconic(window)) {
    ShowWindowAsync(window, SW_RESTORE);
  }
  SetForegroundWindow(window);
  return taken;
}

bool HandOffPatiently(const std::function<HWND(DWORD waitMs)>& findWindow,
                      const std::vector<std::uint8_t>& block, DWORD patienceMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    // The window of the running instance may still be on its way, or have
    // been replaced by a new first instance since the last offer.
    HWND window = findWindow(kHandOffWaitMs);
    if (window == nullptr) {
      return false;
    }
    if (HandOff(window, block)) {
      return true;
    }
    if (GetTickCount64() - start >= patienceMs) {
      return false;
    }
    Sleep(kHandOffRetryPauseMs);
  }
}

std::wstring HandOffFailureText(std::size_t count) {
  return std::to_wstring(count) +
         L" 個のファイルまたはフォルダを、起動中の Morvane に渡せませんでした。"
         L"もう一度お試しください。";
}

bool AcceptHandOff(HWND window, const COPYDATASTRUCT& data) {
  if (data.dwData != kHandOffTag || data.cbData > morvane::kMaxDropBlockBytes) {
    return false;
  }
  const auto paths =
      morvane::ReadDropBlock(static_cast<const std::uint8_t*>(data.lpData), data.cbData);
  if (!paths) {
    return false;
  }
  const std::vector<std::uint8_t> block = morvane::PackDropBlock(*paths);
  return block.empty() || PostDrop(window, block);
}

HGLOBAL MakeDropHandle(const std::vector<std::uint8_t>& block) {
  if (block.empty()) {
    return nullptr;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, block.size());
  if (memory == nullptr) {
    return nullptr;
  }
  void* bytes = GlobalLock(memory);
  std::memcpy(bytes, block.data(), block.size());
  GlobalUnlock(memory);
  return memory;
}

bool PostDrop(HWND window, const std::vector<std::uint8_t>& block) {
  HGLOBAL drop = MakeDropHandle(block);
  if (drop == nullptr) {
    return false;
  }
  if (!PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0)) {
    GlobalFree(drop);
    return false;
  }
  return true;
}
