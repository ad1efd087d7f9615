#include "pages/message_dialog.h"

#include <utility>

#include "pages/resource_ids.h"
#include "kiv/message_loop.h"

MessageDialog::MessageDialog(std::wstring message) : message_(std::move(message)) {}

MessageDialog::~MessageDialog() = default;

bool MessageDialog::Show(kiv::Window& owner) {
  return CreateModeless(&owner, IDD_MESSAGE);
}

LRESULT MessageDialog::OnInitDialog(WPARAM, LPARAM) {
  // Centre over the owner, keeping the box's own size. The owner may be near
  // a screen edge; the box then simply extends past it.
  RECT ownerRect{};
  RECT ownRect{};
  if (Parent() != nullptr) {
    GetWindowRect(Parent()->Handle(), &ownerRect);
  }
  GetWindowRect(Handle(), &ownRect);
  const int ownWidth = ownRect.right - ownRect.left;
  const int ownHeight = ownRect.bottom - ownRect.top;
  const int x = ownerRect.left + ((ownerRect.right - ownerRect.left) - ownWidth) / 2;
  const int y = ownerRect.top + ((ownerRect.bottom - ownerRect.top) - ownHeight) / 2;
  MoveWindow(Handle(), x, y, ownWidth, ownHeight, FALSE);

  label_ = kiv::StaticText::Attach(*this, IDC_MESSAGE_TEXT);
  if (label_) {
    label_->SetText(message_);
  }
  ShowWindow(Handle(), SW_SHOW);
  // Paint the box (and its owner) before the caller starts its work.
  UpdateWindow(Handle());
  kiv::PumpMessages();
  return 0;
}

void MessageDialog::SetMessage(const std::wstring& message) {
  message_ = message;
  if (label_) {
    label_->SetText(message_);
    UpdateWindow(Handle());
  }
}
