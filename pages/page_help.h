// PageHelp: the third tab page ("ヘルプ"). Shows the program's name and
// version from its own version resource, opens the manual, and opens the
// maker's home page when the picture under "ホームページ" is clicked. The
// picture is drawn at the size its place in the template has at the
// display's scaling, centred there as at 100 %.
//
// Threads: user-interface thread only. Created by the main window from
// template 106 as its child; keeps no settings.
#ifndef MORVANE_PAGES_PAGE_HELP_H
#define MORVANE_PAGES_PAGE_HELP_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kiv/dialog.h"
#include "kiv/edit_box.h"

// The maker's home page, opened by the picture on the help page.
extern const wchar_t kHomePageAddress[];

// The manual's path relative to a folder.
extern const wchar_t kManualRelativePath[];

// The version block of the file at `path` (GetFileVersionInfoW), or nothing
// when the file has none or cannot be read.
std::optional<std::vector<std::uint8_t>> ReadVersionBlock(const std::wstring& path);

// The value `name` of the string table "041104b0" of a version block, up to
// its terminator; the empty string when the block lacks it.
std::wstring QueryVersionString(const std::vector<std::uint8_t>& block, const std::wstring& name);

class PageHelp : public kiv::Dialog {
 public:
  PageHelp();
  ~PageHelp() override;

  // Where the manual is looked for: "Manual\index.html" in the current
  // folder when it exists there, otherwise beside the executable when it
  // exists there; the empty string when neither exists.
  static std::wstring FindManual();

  // The controls, empty until OnInitDialog has run.
  const std::shared_ptr<kiv::EditBox>& nameField() const { return nameField_; }
  const std::shared_ptr<kiv::EditBox>& versionField() const { return versionField_; }
  const std::shared_ptr<kiv::EditBox>& linkPicture() const { return linkPicture_; }

 protected:
  LRESULT OnInitDialog(WPARAM wParam, LPARAM lParam) override;
  // A click on the link picture (which takes no clicks itself, so they
  // arrive at the page) opens the home page; returns 0.
  LRESULT OnLeftButtonDown(WPARAM wParam, LPARAM lParam) override;
  // "オンラインマニュアルを開く" opens the manual; other commands are reflected.
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;

  // Opens `target` (a file or web address) with the shell's default action;
  // failures are silent.
  virtual void OpenWithShell(const std::wstring& target);

 private:
  std::shared_ptr<kiv::EditBox> nameField_;
  std::shared_ptr<kiv::EditBox> versionField_;
  std::shared_ptr<kiv::EditBox> linkPicture_;
  // The picture scaled for the display, owned here: a static control never
  // deletes an image it was given.
  struct ScaledPicture {
    ScaledPicture() = default;
    ~ScaledPicture() {
      if (bitmap != nullptr) {
        DeleteObject(bitmap);
      }
    }
    ScaledPicture(const ScaledPicture&) = delete;
    ScaledPicture& operator=(const ScaledPicture&) = delete;
    HBITMAP bitmap = nullptr;
  };
  ScaledPicture scaledPicture_;
  // Scales the picture to its place in the template and centres it there.
  void FitLinkPicture();
};

#endif  // MORVANE_PAGES_PAGE_HELP_H
