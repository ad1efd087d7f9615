#include "cli/arguments.h"

namespace cli {

namespace {

// A decimal number from `low` to `high`, or nothing.
std::optional<int> NumberIn(const std::wstring& text, int low, int high) {
  if (text.empty() || text.size() > 3) {
    return std::nullopt;
  }
  int value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') {
      return std::nullopt;
    }
    value = value * 10 + (c - L'0');
  }
  if (value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// "K/N" with 1 <= K <= N <= kMaxShardCount, decimal digits only.
std::optional<Shard> ShardIn(const std::wstring& text) {
  const size_t slash = text.find(L'/');
  if (slash == std::wstring::npos) {
    return std::nullopt;
  }
  const std::wstring part = text.substr(0, slash);
  const std::wstring count = text.substr(slash + 1);
  if (part.empty() || count.empty() || part.size() > 7 || count.size() > 7 ||
      part.find_first_not_of(L"0123456789") != std::wstring::npos ||
      count.find_first_not_of(L"0123456789") != std::wstring::npos) {
    return std::nullopt;
  }
  Shard shard;
  shard.part = std::stoi(part);
  shard.count = std::stoi(count);
  if (shard.count < 1 || shard.count > kMaxShardCount || shard.part < 1 ||
      shard.part > shard.count) {
    return std::nullopt;
  }
  return shard;
}

std::optional<int> OverwriteMode(const std::wstring& word) {
  if (word == L"force") {
    return 0;
  }
  if (word == L"fail") {
    return 1;
  }
  if (word == L"rename") {
    return 2;
  }
  return std::nullopt;
}

// The on/off options: each takes no value and turns its setting on.
struct Switch {
  const wchar_t* shortName;  // null when there is none
  const wchar_t* longName;
  bool Request::*setting;
};

constexpr Switch kSwitches[] = {
    {nullptr, L"--no-subdirs", &Request::noSubdirectories},
    {nullptr, L"--delete-source", &Request::deleteSource},
    {nullptr, L"--upper-ext", &Request::upperExtension},
    {nullptr, L"--interlace", &Request::interlace},
    {nullptr, L"--24bit", &Request::reduceTo24Bit},
    {nullptr, L"--no-auto-orient", &Request::keepOrientation},
    {nullptr, L"--strip", &Request::strip},
    {nullptr, L"--reduce", &Request::reduce},
    {L"-q", L"--quiet", &Request::quiet},
    {nullptr, L"--background", &Request::background},
    // Scripting.
    {nullptr, L"--keep-tree", &Request::keepTree},
    {nullptr, L"--null", &Request::nullSeparated},
    {nullptr, L"--dry-run", &Request::dryRun},
    {nullptr, L"--json", &Request::json},
    {nullptr, L"--keep-time", &Request::keepTime},
    {nullptr, L"--update", &Request::update},
    {L"-v", L"--verbose", &Request::verbose},
};

// The short options that take a value, which may also be attached ("-j2").
constexpr const wchar_t* kShortWithValue[] = {L"-j", L"-o"};

const Switch* FindSwitch(const std::wstring& name) {
  for (const Switch& entry : kSwitches) {
    if (name == entry.longName || (entry.shortName != nullptr && name == entry.shortName)) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

std::wstring UsageText() {
  return L"usage: morvane-cli [options] [--] PATH...\n"
         L"       morvane-cli [options] --files-from LIST [PATH...]\n"
         L"Converts BMP, PNG, JPEG, WebP, GIF, TIFF, HEIC/HEIF and AVIF images to PNG,\n"
         L"each known by its content. A folder is searched for the filter's patterns (and\n"
         L"its subfolders too); a file is converted when it matches the filter. An output\n"
         L"folder inside a searched folder is left out of the search.\n"
         L"\n"
         L"options (each overrides the settings file; a default is the settings file's\n"
         L"value, or the one shown when there is no settings file):\n"
         L"  --filter TEXT          file-name patterns separated by | (default\n"
         L"                         *.bmp|*.png|*.jpg|*.jpeg|*.webp|*.gif|*.tif|*.tiff|\n"
         L"                         *.heic|*.heif|*.avif)\n"
         L"  --no-subdirs           do not search subfolders (default: search them)\n"
         L"  --delete-source        delete each source once its PNG is written (default:\n"
         L"                         keep; a source that is its own output, changed\n"
         L"                         meanwhile, or holding more than its PNG is kept)\n"
         L"  -j, --jobs N           files converted at once, 1 to 16 (default 8)\n"
         L"  -o, --output DIR       write into DIR (default: beside each source)\n"
         L"  --upper-ext            name outputs .PNG (default .png)\n"
         L"  --overwrite MODE       when the output exists: force (the default: the\n"
         L"                         existing file is REPLACED), fail (count the file as\n"
         L"                         failed) or rename (NAME (1).png, ...)\n"
         L"  --level N              compression level, 0 (fastest) to 9 (smallest; default\n"
         L"                         6)\n"
         L"  --interlace            write interlaced (Adam7) PNGs (default: not\n"
         L"                         interlaced)\n"
         L"  --24bit                write 24-bit colour without transparency (default:\n"
         L"                         keep the source's kind of colour)\n"
         L"  --no-auto-orient       keep a JPEG's stored orientation (default: turn it\n"
         L"                         upright by its EXIF Orientation)\n"
         L"  --strip                write no colour profile, colour space or resolution:\n"
         L"                         only IHDR, PLTE, IDAT and IEND (default: carry them)\n"
         L"  --reduce               write each image in its smallest form that keeps every\n"
         L"                         pixel: RGB for opaque RGBA, grey for grey, a palette\n"
         L"                         of 1 to 8 bits for at most 256 colours; an animation's\n"
         L"                         frames all take one form (default: the form read)\n"
         L"  --settings FILE        read the settings from FILE (default: Morvane.dat\n"
         L"                         beside the program, when it exists)\n"
         L"  --keep-time            give each PNG its source's modification time (default:\n"
         L"                         the time it is written)\n"
         L"  --update               convert a file only when its PNG is missing or older\n"
         L"                         than it (a PNG converted in place is up to date); the\n"
         L"                         others end \"up-to-date\" and count as done\n"
         L"  -q, --quiet            no progress line and no summary\n"
         L"  -v, --verbose          also name each file a folder scan passed over\n"
         L"  --background           convert at idle priority, only when nothing else runs\n"
         L"                         (default: normal priority)\n"
         L"  -h, --help             show this help\n"
         L"  --version              show the version\n"
         L"  --                     every argument after it is a path, even one that\n"
         L"                         begins with -\n"
         L"\n"
         L"for scripts:\n"
         L"  --keep-tree            with an output folder: a file found in a folder F goes\n"
         L"                         to DIR/<name of F>/<its folders below F>/; a file\n"
         L"                         named directly goes to DIR/\n"
         L"  --files-from LIST      also convert the paths listed in the file LIST (- for\n"
         L"                         standard input), one a line, UTF-8, after those named\n"
         L"  --null                 the list's paths end with NUL instead (find -print0)\n"
         L"  --dry-run              show what a run would do (SOURCE -> OUTPUT, or the\n"
         L"                         state the file would end with); write, make and delete\n"
         L"                         nothing\n"
         L"  --json                 one JSON object per finished file on standard output,\n"
         L"                         then one with the summary (fields below)\n"
         L"  --shard K/N            convert only part K (1 to N) of the files: a file\n"
         L"                         belongs to part 1 + (FNV-1a-64(key) * N >> 64), the\n"
         L"                         key being in UTF-8 its PNG's path below the output\n"
         L"                         folder or, beside the source, # and the folder's inode\n"
         L"                         in hex, then / and the PNG's name; / between names, .\n"
         L"                         and .. resolved, no rename number \" (N)\", in lower\n"
         L"                         case; files that could meet (one PNG, one source) take\n"
         L"                         the smallest of their keys\n"
         L"\n"
         L"--json fields. A file: type \"file\", source, output, state (converted,\n"
         L"read-failed, write-failed, up-to-date (--update), not-converted (the run\n"
         L"stopped first) or kept: nothing written, no overwrite mode), state_text (the\n"
         L"window's words), bytes_in, bytes_out, milliseconds; reason (a failed file: why,\n"
         L"such as \"permission denied\", \"disk full\", \"corrupt: ...\"); warning (a converted\n"
         L"file whose PNG holds less than its source: samples of more than 8 bits rounded,\n"
         L"the first page or frame of several, a truncated file); blocked_by (failed\n"
         L"because another source of the run has that output); dry_run (true in a dry\n"
         L"run). The summary: type \"summary\", converted, read_failed, write_failed, kept,\n"
         L"up_to_date (--update), not_converted (a stopped run's files), missing, skipped\n"
         L"(files a folder scan passed over), warnings (when any), sources_deleted and\n"
         L"sources_kept (with --delete-source), seconds, stopped, dry_run.\n"
         L"\n"
         L"exit status: 0 all converted, 1 some failed, 2 bad usage, 130 stopped by Ctrl+C";
}

ParseResult ParseArguments(const std::vector<std::wstring>& arguments) {
  ParseResult result;
  Request& request = result.request;
  auto fail = [&](const std::wstring& message) {
    result.ok = false;
    result.error = message;
    return result;
  };

  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != L'-') {
      request.paths.push_back(argument);
      continue;
    }
    if (argument == L"--") {
      optionsEnded = true;
      continue;
    }

    std::wstring name = argument;
    std::optional<std::wstring> inlineValue;
    const size_t equals = argument.find(L'=');
    if (argument.compare(0, 2, L"--") == 0 && equals != std::wstring::npos) {
      name = argument.substr(0, equals);
      inlineValue = argument.substr(equals + 1);
    }
    for (const wchar_t* shortName : kShortWithValue) {
      if (argument.size() > 2 && argument.compare(0, 2, shortName) == 0) {
        name = shortName;
        inlineValue = argument.substr(2);
      }
    }
    // The option's value: after "=" or the next argument.
    auto value = [&]() -> std::optional<std::wstring> {
      if (inlineValue) {
        return inlineValue;
      }
      if (i + 1 < arguments.size()) {
        return arguments[++i];
      }
      return std::nullopt;
    };

    if (const Switch* on = FindSwitch(name)) {
      if (inlineValue) {
        return fail(name + L" takes no value");
      }
      request.*(on->setting) = true;
    } else if (name == L"-h" || name == L"--help") {
      request.action = Request::Action::kHelp;
    } else if (name == L"--version") {
      request.action = Request::Action::kVersion;
    } else if (name == L"--filter") {
      const auto text = value();
      if (!text) {
        return fail(L"--filter needs a text of patterns such as \"*.bmp|*.png\"");
      }
      request.filter = *text;
    } else if (name == L"-j" || name == L"--jobs") {
      const auto text = value();
      const auto number = text ? NumberIn(*text, 1, 16) : std::nullopt;
      if (!number) {
        return fail(name + L" needs a number from 1 to 16" +
                    (text ? L", not \"" + *text + L"\"" : std::wstring()));
      }
      request.jobs = number;
    } else if (name == L"-o" || name == L"--output") {
      const auto text = value();
      if (!text || text->empty()) {
        return fail(name + L" needs a folder");
      }
      request.outputFolder = *text;
    } else if (name == L"--overwrite") {
      const auto text = value();
      const auto mode = text ? OverwriteMode(*text) : std::nullopt;
      if (!mode) {
        return fail(L"--overwrite needs force, fail or rename" +
                    (text ? L", not \"" + *text + L"\"" : std::wstring()));
      }
      request.overwrite = mode;
    } else if (name == L"--level") {
      const auto text = value();
      const auto number = text ? NumberIn(*text, 0, 9) : std::nullopt;
      if (!number) {
        return fail(L"--level needs a number from 0 to 9" +
                    (text ? L", not \"" + *text + L"\"" : std::wstring()));
      }
      request.level = number;
    } else if (name == L"--files-from") {
      const auto text = value();
      if (!text || text->empty()) {
        return fail(L"--files-from needs a list file, or - for standard input");
      }
      request.filesFrom.push_back(*text);
    } else if (name == L"--shard") {
      const auto text = value();
      const auto shard = text ? ShardIn(*text) : std::nullopt;
      if (!shard) {
        return fail(L"--shard needs K/N with 1 <= K <= N <= " + std::to_wstring(kMaxShardCount) +
                    (text ? L", not \"" + *text + L"\"" : std::wstring()));
      }
      request.shard = shard;
    } else if (name == L"--settings") {
      const auto text = value();
      if (!text || text->empty()) {
        return fail(L"--settings needs a settings file");
      }
      request.settingsFile = *text;
    } else {
      return fail(L"unknown option " + argument);
    }
  }

  if (request.action == Request::Action::kConvert && request.paths.empty() &&
      request.filesFrom.empty()) {
    return fail(L"no file or folder to convert");
  }
  if (request.nullSeparated && request.filesFrom.empty()) {
    return fail(L"--null needs --files-from");
  }
  result.ok = true;
  return result;
}

}  // namespace cli
