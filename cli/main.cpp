// morvane-cli: converts BMP, PNG and JPEG images to PNG without a window, over
// the same engine as the Windows program. See cli/arguments.h for the command
// line and cli/batch.h for the run.
#include <string>

#include "base/path.h"
#include "cli/batch.h"
#include "cli/console.h"
#include "cli/summary.h"

namespace {

// The program's console.
class ConsoleTerminal final : public cli::Terminal {
 public:
  void Out(const std::wstring& line) override {
    ClearProgress();
    cli::WriteLine(line);
  }
  void Error(const std::wstring& line) override {
    ClearProgress();
    cli::WriteLine(line, true);
  }
  bool ShowsProgress() override { return cli::IsTerminal(true); }
  bool OutputIsTerminal() override { return cli::IsTerminal(false); }
  void Progress(const std::wstring& text) override {
    // Overwrite the line in place; pad with blanks where the last one was
    // wider, counted in the terminal's columns.
    const size_t width = cli::DisplayWidth(text);
    std::wstring line = L"\r" + text;
    if (width < shown_) {
      line.append(shown_ - width, L' ');
      line += L"\r" + text;
    }
    shown_ = width;
    cli::WriteRaw(line);
    if (text.empty()) {
      shown_ = 0;
    }
  }
  bool StopRequested() override { return cli::InterruptRequested(); }
  bool StopInsisted() override { return cli::InterruptInsisted(); }
  void EndAtOnce(int status) override {
    ClearProgress();
    cli::EndAtOnce(status);
  }
  std::wstring FullPath(const std::wstring& path) override { return cli::FullPath(path); }
  bool ReadInput(std::string* bytes, size_t limit) override {
    return cli::ReadStandardInput(bytes, limit);
  }

 private:
  void ClearProgress() {
    if (shown_ > 0) {
      Progress(std::wstring());
    }
  }
  size_t shown_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  cli::InstallInterruptHandler();
  ConsoleTerminal terminal;
  const std::wstring programFolder = kiv::RemoveFileSpec(kiv::GetModulePath());
  const std::wstring defaultSettings =
      programFolder.empty() ? std::wstring() : kiv::AddSeparator(programFolder) + L"Morvane.dat";
  return cli::Run(cli::Arguments(argc, argv), terminal, defaultSettings);
}
