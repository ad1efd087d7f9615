// Test support for morvane-cli: a terminal that records what the program
// shows and gives a prepared standard input.
//
// Threads: the test's thread (the program calls it from its main thread).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/batch.h"

// Records what the program shows; stands in for the console.
class RecordingTerminal final : public cli::Terminal {
 public:
  void Out(const std::wstring& line) override { out.push_back(line); }
  void Error(const std::wstring& line) override { errors.push_back(line); }
  bool ShowsProgress() override { return progressWanted; }
  bool OutputIsTerminal() override { return false; }
  void Progress(const std::wstring& text) override { progress.push_back(text); }
  bool StopRequested() override { return stopWhen && stopWhen(); }
  bool StopInsisted() override { return insistWhen && insistWhen(); }
  // Ends the run by throwing Ended (the program itself ends at once).
  void EndAtOnce(int status) override { throw Ended{status}; }
  std::wstring FullPath(const std::wstring& path) override { return path; }
  double Now() override { return clock ? clock() : cli::Terminal::Now(); }
  bool ReadInput(std::string* bytes, size_t limit) override {
    *bytes = input;
    return input.size() <= limit;
  }

  bool Shows(const std::vector<std::wstring>& lines, const std::wstring& text) const {
    for (const auto& line : lines) {
      if (line.find(text) != std::wstring::npos) {
        return true;
      }
    }
    return false;
  }

  std::vector<std::wstring> out;
  std::vector<std::wstring> errors;
  std::vector<std::wstring> progress;
  bool progressWanted = false;
  struct Ended {
    int status;
  };
  std::function<bool()> stopWhen;
  std::function<bool()> insistWhen;
  std::function<double()> clock;  // the system's when empty
  std::string input;              // standard input
};
