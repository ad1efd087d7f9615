// The command line of morvane-cli.
//
//   morvane-cli [options] PATH...
//
// Each option sets one of the converter's settings for this run, over the
// values of the settings file. Options and paths may come in any order; "--"
// ends the options. Values are given as the next argument, after "=" (long
// names) or attached to a short name ("-j2", "-o/out").
//
// Threads: pure functions, any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cli {

// --shard K/N: this run takes part K (1 to N) of the files split N ways.
struct Shard {
  int part = 1;
  int count = 1;
};

inline constexpr int kMaxShardCount = 1000000;

struct Request {
  enum class Action { kConvert, kHelp, kVersion };
  Action action = Action::kConvert;

  std::vector<std::wstring> paths;
  std::optional<std::wstring> settingsFile;  // --settings FILE
  std::optional<std::wstring> filter;        // --filter TEXT
  bool noSubdirectories = false;             // --no-subdirs
  bool deleteSource = false;                 // --delete-source
  std::optional<int> jobs;                   // -j/--jobs 1-16
  std::optional<std::wstring> outputFolder;  // -o/--output DIR
  bool upperExtension = false;               // --upper-ext
  std::optional<int> overwrite;              // --overwrite force|fail|rename: 0, 1, 2
  std::optional<int> level;                  // --level 0-9
  bool interlace = false;                    // --interlace
  bool reduceTo24Bit = false;                // --24bit
  bool keepOrientation = false;              // --no-auto-orient
  bool strip = false;                        // --strip
  bool reduce = false;                       // --reduce
  bool quiet = false;                        // -q/--quiet
  bool background = false;                   // --background: workers at idle priority
  // Scripting.
  bool keepTree = false;                // --keep-tree
  std::vector<std::wstring> filesFrom;  // --files-from FILE ("-": standard input)
  bool nullSeparated = false;           // --null
  bool dryRun = false;                  // --dry-run
  bool json = false;                    // --json
  std::optional<Shard> shard;           // --shard K/N
  bool keepTime = false;                // --keep-time
  bool update = false;                  // --update: only what changed
  bool verbose = false;                 // -v/--verbose: name the files passed over
};

struct ParseResult {
  bool ok = false;
  std::wstring error;  // when !ok: what is wrong, naming the argument
  Request request;
};

// Parses the arguments after the program's name. A request to convert
// needs at least one path or --files-from; --null needs --files-from.
ParseResult ParseArguments(const std::vector<std::wstring>& arguments);

// The text --help prints.
std::wstring UsageText();

}  // namespace cli
