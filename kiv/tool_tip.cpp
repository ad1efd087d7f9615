#include "kiv/tool_tip.h"

#include <commctrl.h>

namespace kiv {

namespace {

TTTOOLINFOW ToolInfo(HWND tool, HWND owner) {
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = LPSTR_TEXTCALLBACKW;
  return info;
}

}  // namespace

std::unique_ptr<ToolTip> ToolTip::Create(HWND tool, HWND owner, int maxWidth) {
  // Not an owned window of the tool's window: an owned popup would take the
  // place of its owner's top-level window in the z-order, and the window
  // could then no longer be made topmost (it puts itself on top as it shows).
  const HWND handle =
      CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                      GetModuleHandleW(nullptr), nullptr);
  if (handle == nullptr) {
    return nullptr;
  }
  std::unique_ptr<ToolTip> tip(new ToolTip(handle, tool, owner));
  if (!tip->AddTool()) {
    return nullptr;
  }
  SendMessageW(handle, TTM_SETMAXTIPWIDTH, 0, maxWidth);
  return tip;
}

ToolTip::~ToolTip() {
  DestroyWindow(handle_);
}

bool ToolTip::AddTool() {
  TTTOOLINFOW info = ToolInfo(tool_, owner_);
  return SendMessageW(handle_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != FALSE;
}

void ToolTip::Renew() {
  TTTOOLINFOW info = ToolInfo(tool_, owner_);
  SendMessageW(handle_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  AddTool();
}

}  // namespace kiv
