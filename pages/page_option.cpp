#include "pages/page_option.h"

#include <commctrl.h>

#include <cstddef>
#include <vector>

#include "pages/resource_ids.h"
#include "kiv/folder_dialog.h"
#include "pages/option_controls.h"

namespace {

int CheckRow(Option option) {
  for (std::size_t i = 0; i < kCheckOptions.size(); ++i) {
    if (kCheckOptions[i].option == option) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int TextRow(Option option) {
  for (std::size_t i = 0; i < kTextOptions.size(); ++i) {
    if (kTextOptions[i].option == option) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

PageOption::PageOption() = default;
PageOption::~PageOption() = default;

LRESULT PageOption::OnInitDialog(WPARAM, LPARAM) {
  for (std::size_t i = 0; i < kCheckOptions.size(); ++i) {
    checkBoxes_[i] = kiv::CheckBox::Attach(*this, OptionControlId(kCheckOptions[i].option));
  }
  for (std::size_t i = 0; i < kTextOptions.size(); ++i) {
    editBoxes_[i] = kiv::EditBox::Attach(*this, OptionControlId(kTextOptions[i].option));
  }
  browseButton_ = kiv::Button::Attach(*this, IDC_OUTPUT_BROWSE);
  overwriteList_ = kiv::ComboBox::Attach(*this, IDC_OVERWRITE);
  if (overwriteList_) {
    for (const wchar_t* item : kOverwriteItems) {
      overwriteList_->AddString(item);
    }
  }
  compressSlider_ = kiv::TrackBar::Attach(*this, IDC_COMPRESS_LEVEL);
  if (compressSlider_) {
    compressSlider_->SetRangeMax(kMaxCompressLevel);
  }
  countSlider_ = kiv::TrackBar::Attach(*this, IDC_CONVERT_NUM_SLIDER);
  if (countSlider_) {
    countSlider_->SetRange(kMinConvertCount, kMaxConvertCount);
  }

  for (std::size_t i = 0; i < checkBoxes_.size(); ++i) {
    checkHandles_[i] = HandleOf(checkBoxes_[i].get());
  }
  for (std::size_t i = 0; i < editBoxes_.size(); ++i) {
    textHandles_[i] = HandleOf(editBoxes_[i].get());
  }
  overwriteHandle_ = HandleOf(overwriteList_.get());
  compressHandle_ = HandleOf(compressSlider_.get());
  countHandle_ = HandleOf(countSlider_.get());

  const auto& outSrc = checkBoxes_[CheckRow(Option::kOutSrcDirectory)];
  const auto& topMost = checkBoxes_[CheckRow(Option::kTopMostWindow)];
  kiv::EditBox* output = EditBoxOf(Option::kOutput);
  kiv::EditBox* countText = EditBoxOf(Option::kConvertCountText);
  if (outSrc && output != nullptr) {
    AddLinkNow(*outSrc, output, kiv::CheckBox::kLinkEnableWhenDifferent, 1);
  }
  if (outSrc && browseButton_) {
    AddLinkNow(*outSrc, browseButton_.get(), kiv::CheckBox::kLinkEnableWhenDifferent, 1);
  }
  if (topMost && Parent() != nullptr) {
    AddLinkNow(*topMost, Parent(), kiv::CheckBox::kLinkTopMostWhenEqual, 1);
  }
  if (countSlider_ && countText != nullptr) {
    AddLinkNow(*countSlider_, countText, kiv::TrackBar::kLinkShowPosition, 0);
  }
  ownThread_ = GetCurrentThreadId();
  KeepValues();
  return 0;
}

void PageOption::AddLinkNow(kiv::Window& source, kiv::Window* target, int kind, int value) {
  source.Subclass();
  source.AddLink(target, kind, value);
  source.ApplyLink(target, kind, value);
}

kiv::EditBox* PageOption::EditBoxOf(Option option) const {
  const int row = TextRow(option);
  return row < 0 ? nullptr : editBoxes_[row].get();
}

LRESULT PageOption::OnCommand(WPARAM wParam, LPARAM lParam) {
  const LRESULT result = HandleCommand(wParam, lParam);
  KeepValues();
  return result;
}

LRESULT PageOption::OnHScroll(WPARAM wParam, LPARAM lParam) {
  const LRESULT result = kiv::Dialog::OnHScroll(wParam, lParam);
  KeepValues();
  return result;
}

LRESULT PageOption::HandleCommand(WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDC_OUTPUT_BROWSE: {
      kiv::EditBox* output = EditBoxOf(Option::kOutput);
      if (output != nullptr) {
        std::wstring chosen;
        if (ChooseOutputFolder(output->GetText(), chosen)) {
          output->SetText(chosen);
        }
      }
      return 0;
    }
    case IDC_CONVERT_NUM_DEFAULT:
      if (countSlider_) {
        countSlider_->SetPos(kDefaultConvertCount);
      }
      return 0;
    case IDC_FILTER_DEFAULT:
      if (kiv::EditBox* filter = EditBoxOf(Option::kFilter)) {
        filter->SetText(kTextOptions[TextRow(Option::kFilter)].defaultText);
      }
      return 0;
    case IDC_COMPRESS_DEFAULT:
      if (compressSlider_) {
        compressSlider_->SetPos(kDefaultCompressLevel);
      }
      return 0;
    default:
      return Reflect(WM_COMMAND, wParam, lParam);
  }
}

bool PageOption::ChooseOutputFolder(const std::wstring& initial, std::wstring& chosen) {
  return kiv::ChooseFolder(initial, chosen, this);
}

void PageOption::SaveOptions(kiv::DataNode& node) const {
  for (std::size_t i = 0; i < kCheckOptions.size(); ++i) {
    if (checkBoxes_[i]) {
      checkBoxes_[i]->Save(node.Child(OptionKey(kCheckOptions[i].option)));
    }
  }
  for (std::size_t i = 0; i < kTextOptions.size(); ++i) {
    if (editBoxes_[i]) {
      editBoxes_[i]->Save(node.Child(OptionKey(kTextOptions[i].option)));
    }
  }
  if (overwriteList_) {
    overwriteList_->Save(node.Child(OptionKey(Option::kOverWrite)));
  }
  if (compressSlider_) {
    compressSlider_->Save(node.Child(OptionKey(Option::kCompressLevel)));
  }
  if (countSlider_) {
    countSlider_->Save(node.Child(OptionKey(Option::kConvertCount)));
  }
}

void PageOption::LoadOptions(kiv::DataNode& node) {
  for (std::size_t i = 0; i < kCheckOptions.size(); ++i) {
    if (checkBoxes_[i]) {
      checkBoxes_[i]->Load(node.Child(OptionKey(kCheckOptions[i].option)),
                           kCheckOptions[i].defaultCheck);
    }
  }
  for (std::size_t i = 0; i < kTextOptions.size(); ++i) {
    if (editBoxes_[i]) {
      editBoxes_[i]->Load(node.Child(OptionKey(kTextOptions[i].option)),
                          kTextOptions[i].defaultText);
    }
  }
  if (overwriteList_) {
    overwriteList_->Load(node.Child(OptionKey(Option::kOverWrite)));
  }
  if (compressSlider_) {
    compressSlider_->Load(node.Child(OptionKey(Option::kCompressLevel)), kDefaultCompressLevel);
  }
  if (countSlider_) {
    countSlider_->Load(node.Child(OptionKey(Option::kConvertCount)), kDefaultConvertCount);
  }
  KeepValues();
}

HWND PageOption::HandleOf(const kiv::Window* control) {
  return control != nullptr ? control->Handle() : nullptr;
}

bool PageOption::Ask(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
  if (control == nullptr) {
    return false;
  }
  answer = SendMessageW(control, message, wParam, lParam);
  // A window that is gone answers 0; tell that apart from a real 0.
  return IsWindow(control) != FALSE;
}

bool PageOption::ReadText(HWND control, std::wstring& text) {
  LRESULT length = 0;
  if (!Ask(control, WM_GETTEXTLENGTH, 0, 0, length)) {
    return false;
  }
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  LRESULT copied = 0;
  if (!Ask(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied)) {
    return false;
  }
  text.assign(buffer.data());
  return true;
}

bool PageOption::IsOn(Option option) {
  const int row = CheckRow(option);
  if (row < 0) {
    return false;
  }
  LRESULT state = 0;
  if (OnOwnThread() && Ask(checkHandles_[row], BM_GETCHECK, 0, 0, state)) {
    return state == BST_CHECKED;
  }
  std::lock_guard<std::mutex> hold(snapshotMutex_);
  return snapshot_.checks[row] == BST_CHECKED;
}

std::wstring PageOption::GetOptionText(Option option) {
  if (option != Option::kFilter && option != Option::kOutput) {
    return std::wstring();
  }
  const int row = TextRow(option);
  std::wstring text;
  if (OnOwnThread() && ReadText(textHandles_[row], text)) {
    return text;
  }
  std::lock_guard<std::mutex> hold(snapshotMutex_);
  return snapshot_.texts[row];
}

int PageOption::AskNumber(HWND control, UINT message, int Snapshot::*last) {
  LRESULT answer = 0;
  if (OnOwnThread() && Ask(control, message, 0, 0, answer)) {
    return static_cast<int>(answer);
  }
  std::lock_guard<std::mutex> hold(snapshotMutex_);
  return snapshot_.*last;
}

int PageOption::GetOverwriteMode() {
  return AskNumber(overwriteHandle_, CB_GETCURSEL, &Snapshot::overwrite);
}

int PageOption::GetCompressLevel() {
  return AskNumber(compressHandle_, TBM_GETPOS, &Snapshot::compressLevel);
}

int PageOption::GetConvertCount() {
  return AskNumber(countHandle_, TBM_GETPOS, &Snapshot::convertCount);
}

PageOption::Snapshot PageOption::TakeSnapshot() {
  Snapshot shot;
  for (std::size_t i = 0; i < kCheckOptions.size(); ++i) {
    shot.checks[i] = IsOn(kCheckOptions[i].option) ? BST_CHECKED : BST_UNCHECKED;
  }
  for (std::size_t i = 0; i < kTextOptions.size(); ++i) {
    ReadText(textHandles_[i], shot.texts[i]);
  }
  shot.overwrite = GetOverwriteMode();
  shot.compressLevel = GetCompressLevel();
  shot.convertCount = GetConvertCount();
  return shot;
}

LRESULT PageOption::OnDestroy(WPARAM, LPARAM) {
  // The page is destroyed before its controls: they still answer here.
  KeepValues();
  return 0;
}

void PageOption::KeepValues() {
  Snapshot shot = TakeSnapshot();
  std::lock_guard<std::mutex> hold(snapshotMutex_);
  snapshot_ = std::move(shot);
}

bool PageOption::OnOwnThread() const {
  return GetCurrentThreadId() == ownThread_;
}
