// The headless batch run of morvane-cli: reads the settings, registers the
// named files and folders as a drop on the window would, converts them with
// the engine's scheduler and workers over in-memory list, options and window,
// shows progress, and ends with a summary and an exit status.
//
// Threads: Run is called on the main thread; the engine's threads report
// back through the in-memory list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitConverted = 0;      // every file converted
inline constexpr int kExitFailures = 1;       // some file failed or a path was missing
inline constexpr int kExitUsage = 2;          // bad arguments or settings file
inline constexpr int kExitInterrupted = 130;  // stopped by Ctrl+C

// What the run reaches of the outside world: the program's console, or a
// test's stand-in.
class Terminal {
 public:
  Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  virtual ~Terminal() = default;

  // A line on standard output / standard error.
  virtual void Out(const std::wstring& line) = 0;
  virtual void Error(const std::wstring& line) = 0;
  // True when the progress line is wanted (standard error is a terminal).
  virtual bool ShowsProgress() = 0;
  // True when standard output is a terminal; otherwise each finished file
  // gets a line there, for logs and pipes.
  virtual bool OutputIsTerminal() = 0;
  // Replaces the progress line with `text` (empty: clears it).
  virtual void Progress(const std::wstring& text) = 0;
  // True once the user asked to stop (Ctrl+C).
  virtual bool StopRequested() = 0;
  // True once the user asked to stop a second time: the run removes the
  // temporaries of the files in progress and calls EndAtOnce.
  virtual bool StopInsisted() { return false; }
  // Ends the program with `status` without waiting for the files in
  // progress (the console's); a stand-in may return.
  virtual void EndAtOnce(int status) { (void)status; }
  // `path` as a full path.
  virtual std::wstring FullPath(const std::wstring& path) = 0;
  // Seconds on a clock that only goes forward (the system's steady clock),
  // by which the run measures its time and estimates the time left.
  virtual double Now();
  // Reads standard input to its end (for --files-from -). False when it
  // cannot be read or holds more than `limit` bytes; a terminal without
  // input has none to give.
  virtual bool ReadInput(std::string* bytes, size_t limit) {
    (void)bytes;
    (void)limit;
    return false;
  }
};

// The exit status of a run with these results.
struct Tally;
int ExitStatusFor(const Tally& tally, int missing, bool stopped);

// Runs morvane-cli with `arguments` (after the program's name) and returns
// its exit status. `defaultSettingsFile` is read when no --settings is given
// and it exists.
int Run(const std::vector<std::wstring>& arguments, Terminal& terminal,
        const std::wstring& defaultSettingsFile);

}  // namespace cli
