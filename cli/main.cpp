// morvane-cli: converts the named image files to PNG, one after another.
//
//   morvane-cli [--level 0-9] [--interlace] [--24bit] [-o DIR] FILE...
//
// Each FILE (BMP, PNG or JPEG, recognised by content) is written as NAME.png beside it, or in DIR.
// One line per file: the path and "変換終了", "読込失敗" or "書込失敗". Exit status 0 when every
// file converted, 1 when any failed, 2 on bad usage.
#include <string>
#include <vector>

#include "cli/console.h"
#include "engine/bitmap.h"
#include "settings/path.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
  int32_t level = 6;
  bool interlace = false;
  bool reduceTo24Bit = false;
  std::wstring outputFolder;
  std::vector<std::wstring> files;
};

const wchar_t kUsage[] =
    L"usage: morvane-cli [--level 0-9] [--interlace] [--24bit] [-o DIR] FILE...";

int UsageError(const std::wstring& message) {
  cli::WriteLine(L"morvane-cli: " + message, true);
  cli::WriteLine(kUsage, true);
  return kExitUsage;
}

// Parses the arguments into `options`. Returns -1 to go on, or the exit status to end with.
int ParseArguments(const std::vector<std::wstring>& arguments, Options& options) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (optionsEnded || argument.empty() || argument[0] != L'-' || argument == L"-") {
      options.files.push_back(argument);
    } else if (argument == L"--") {
      optionsEnded = true;
    } else if (argument == L"--help" || argument == L"-h") {
      cli::WriteLine(kUsage);
      return 0;
    } else if (argument == L"--interlace") {
      options.interlace = true;
    } else if (argument == L"--24bit") {
      options.reduceTo24Bit = true;
    } else if (argument == L"--level") {
      if (i + 1 >= arguments.size()) {
        return UsageError(L"--level needs a value from 0 to 9");
      }
      const std::wstring& value = arguments[++i];
      if (value.size() != 1 || value[0] < L'0' || value[0] > L'9') {
        return UsageError(L"--level must be a number from 0 to 9, not \"" + value + L"\"");
      }
      options.level = value[0] - L'0';
    } else if (argument == L"-o") {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
        return UsageError(L"-o needs a folder");
      }
      options.outputFolder = arguments[++i];
      if (!kiv::IsDirectory(options.outputFolder)) {
        return UsageError(L"no such folder: " + options.outputFolder);
      }
    } else {
      return UsageError(L"unknown option " + argument);
    }
  }
  if (options.files.empty()) {
    return UsageError(L"no file to convert");
  }
  return -1;
}

std::wstring OutputPath(const std::wstring& source, const Options& options) {
  const std::wstring beside = kiv::RenameExtension(source, L".png");
  if (options.outputFolder.empty()) {
    return beside;
  }
  return kiv::AddSeparator(options.outputFolder) + kiv::FindFileName(beside);
}

// Converts one file; returns the state text for its line.
const wchar_t* Convert(const std::wstring& source, const Options& options) {
  Bitmap image;
  if (!image.Load(source)) {
    return L"読込失敗";
  }
  if (options.reduceTo24Bit && image.BitCount() != 24) {
    Bitmap reduced;
    if (!reduced.Create(image.Width(), image.Height(), 24) ||
        !Bitmap::CopyRect(BitmapRect{0, 0, image.Width(), image.Height()}, reduced, image)) {
      return L"書込失敗";
    }
    image = std::move(reduced);
  }
  if (!image.SavePng(OutputPath(source, options), options.level, options.interlace)) {
    return L"書込失敗";
  }
  return L"変換終了";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int status = ParseArguments(cli::Arguments(argc, argv), options);
  if (status >= 0) {
    return status;
  }
  bool anyFailed = false;
  for (const std::wstring& file : options.files) {
    const std::wstring state = Convert(file, options);
    anyFailed = anyFailed || state != L"変換終了";
    cli::WriteLine(file + L": " + state);
  }
  return anyFailed ? kExitFailed : 0;
}
