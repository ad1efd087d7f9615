// PageOption: the second tab page ("設定"). Shows the fifteen options and is
// their only store: each option lives in the state of one of its controls, and
// the page answers the engine's option reads (OptionSet) from those controls'
// values as they stand (on other threads, from its copy of them: see below).
//
// Threads: creation, LoadOptions, SaveOptions and the page's commands run on
// the user-interface thread. The OptionSet reads may come from any thread. On
// the user-interface thread each asks its control. Another thread reads a copy
// of the controls' values that the page takes as it loads them and again after
// every command and scroll it gets from them (a click, a key, an edit, a
// slider moved), and that KeepValues takes on demand: asking the control from
// there would wait for the user-interface thread, busy drawing the list
// while a run goes on, and a run of small files would go at its pace. Once the
// page's window is gone (the program is closing while conversions finish) the
// reads answer with the values the controls held when the page was destroyed.
#ifndef MORVANE_PAGES_PAGE_OPTION_H
#define MORVANE_PAGES_PAGE_OPTION_H

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "engine/option_set.h"
#include "kiv/button.h"
#include "kiv/check_box.h"
#include "kiv/combo_box.h"
#include "kiv/dialog.h"
#include "kiv/edit_box.h"
#include "kiv/track_bar.h"
#include "settings/data_node.h"

class PageOption : public kiv::Dialog, public OptionSet {
 public:
  PageOption();
  ~PageOption() override;

  // Restores every control from `node` (the "PageOption" child of the loaded
  // settings tree, or an empty node); missing values take the defaults.
  // User-interface thread.
  void LoadOptions(kiv::DataNode& node);
  // Takes the copy of the controls' values that other threads read, for a
  // change the page was not told of (a control set by a program rather than
  // by the user). User-interface thread only.
  void KeepValues();
  // Writes every control's state into `node`. User-interface thread.
  void SaveOptions(kiv::DataNode& node) const;

  // OptionSet, from any thread.
  bool IsOn(Option option) override;
  std::wstring GetOptionText(Option option) override;
  int GetOverwriteMode() override;
  int GetCompressLevel() override;
  int GetConvertCount() override;

  // The controls, empty until OnInitDialog has run (and for ids the
  // template lacks). The check and edit boxes are in the order of the
  // engine's kCheckOptions and kTextOptions.
  const std::array<std::shared_ptr<kiv::CheckBox>, 9>& checkBoxes() const { return checkBoxes_; }
  const std::array<std::shared_ptr<kiv::EditBox>, 3>& editBoxes() const { return editBoxes_; }
  const std::shared_ptr<kiv::Button>& browseButton() const { return browseButton_; }
  const std::shared_ptr<kiv::ComboBox>& overwriteList() const { return overwriteList_; }
  const std::shared_ptr<kiv::TrackBar>& compressSlider() const { return compressSlider_; }
  const std::shared_ptr<kiv::TrackBar>& countSlider() const { return countSlider_; }

 protected:
  LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam) override;
  // The three "デフォルト" buttons and "参照..."; other commands are reflected.
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
  // A slider moved: its value is kept for the other threads' reads.
  LRESULT OnHScroll(WPARAM wParam, LPARAM lParam) override;
  // Keeps the controls' last values for reads that arrive afterwards.
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam) override;

  // Asks for the output folder, starting at `initial`; true with the choice
  // in `chosen`, false when the user cancels.
  virtual bool ChooseOutputFolder(const std::wstring& initial, std::wstring& chosen);

 private:
  // The controls' values as other threads read them (see above).
  struct Snapshot {
    std::array<int, 9> checks{};
    std::array<std::wstring, 3> texts;
    int overwrite = -1;
    int compressLevel = 0;
    int convertCount = 0;
  };

  void AddLinkNow(kiv::Window& source, kiv::Window* target, int kind, int value);
  kiv::EditBox* EditBoxOf(Option option) const;
  Snapshot TakeSnapshot();
  // OnCommand's work before the values are kept.
  LRESULT HandleCommand(WPARAM wParam, LPARAM lParam);
  // True on the thread that owns the page's window.
  bool OnOwnThread() const;
  // Sends `message` to `control` and returns its answer, or nothing when the
  // control's window no longer exists.
  static bool Ask(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& answer);
  static bool ReadText(HWND control, std::wstring& text);
  // The number `control` answers to `message` (no parameters), or the value
  // `last` of the snapshot when the control's window no longer exists.
  int AskNumber(HWND control, UINT message, int Snapshot::*last);
  static HWND HandleOf(const kiv::Window* control);

  std::array<std::shared_ptr<kiv::CheckBox>, 9> checkBoxes_;
  std::array<std::shared_ptr<kiv::EditBox>, 3> editBoxes_;
  std::shared_ptr<kiv::Button> browseButton_;
  std::shared_ptr<kiv::ComboBox> overwriteList_;
  std::shared_ptr<kiv::TrackBar> compressSlider_;
  std::shared_ptr<kiv::TrackBar> countSlider_;

  // The controls' window handles, fixed once OnInitDialog has run, for the
  // reads from other threads (null for a missing control).
  std::array<HWND, 9> checkHandles_{};
  std::array<HWND, 3> textHandles_{};
  HWND overwriteHandle_ = nullptr;
  HWND compressHandle_ = nullptr;
  HWND countHandle_ = nullptr;
  // The thread that owns the page's window; 0 until OnInitDialog.
  std::atomic<DWORD> ownThread_{0};

  std::mutex snapshotMutex_;
  Snapshot snapshot_;
};

#endif  // MORVANE_PAGES_PAGE_OPTION_H
