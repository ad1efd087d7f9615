// morvane-cli for scripts: the options' values, --json read back by a
// strict JSON reader, --keep-tree's layout, --files-from in its three
// forms, --dry-run against the run it foretells, --shard's partition and
// --keep-time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/file_identity.h"
#include "base/path.h"
#include "base/unicode.h"
#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/json.h"
#include "cli/selection.h"
#include "tests/cli/recording_terminal.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

using Object = std::map<std::string, std::string>;

// A strict reader of one JSON object whose members are strings, numbers or
// literals: the members with strings decoded to UTF-8 and the rest as
// written, or nothing when the text is not valid JSON (or not valid UTF-8).
class FlatJson {
 public:
  static std::optional<Object> Parse(const std::string& text) {
    // The decoder marks each byte that is not UTF-8 as a lone surrogate.
    const std::wstring decoded = kiv::Utf8ToWide(text);
    for (size_t i = 0; i < decoded.size(); ++i) {
      const uint32_t c = static_cast<uint32_t>(decoded[i]);
      if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < decoded.size() &&
          static_cast<uint32_t>(decoded[i + 1]) >= 0xDC00 &&
          static_cast<uint32_t>(decoded[i + 1]) <= 0xDFFF) {
        ++i;  // a pair: one character above U+FFFF
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        return std::nullopt;
      }
    }
    FlatJson reader(text);
    Object members;
    if (!reader.Take('{')) {
      return std::nullopt;
    }
    do {
      std::string name;
      std::string value;
      if (!reader.String(name) || !reader.Take(':') || !reader.Value(value)) {
        return std::nullopt;
      }
      members[name] = value;
    } while (reader.Take(','));
    if (!reader.Take('}') || reader.at_ != text.size()) {
      return std::nullopt;
    }
    return members;
  }

 private:
  explicit FlatJson(const std::string& text) : text_(text) {}

  bool Take(char c) {
    auto blanks = [this] {
      while (at_ < text_.size() && text_[at_] != 0 &&
             std::strchr(" \t\r\n", text_[at_]) != nullptr) {
        ++at_;
      }
    };
    blanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      blanks();
      return true;
    }
    return false;
  }
  bool Hex4(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      const char* digits = "0123456789abcdef";
      const char* digit = at_ < text_.size() && text_[at_] != 0
                              ? std::strchr(digits, std::tolower(text_[at_]))
                              : nullptr;
      if (digit == nullptr) {
        return false;
      }
      value = value * 16 + static_cast<uint32_t>(digit - digits);
    }
    return true;
  }
  bool String(std::string& out) {
    if (at_ >= text_.size() || text_[at_++] != '"') {
      return false;
    }
    out.clear();
    while (at_ < text_.size() && text_[at_] != '"') {
      const char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) {
        return false;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      const char* plain = "\"\\/bfnrt";
      const char* meaning = "\"\\/\b\f\n\r\t";
      const char e = at_ < text_.size() ? text_[at_++] : 0;
      const char* found = e != 0 ? std::strchr(plain, e) : nullptr;
      if (found != nullptr) {
        out += meaning[found - plain];
        continue;
      }
      uint32_t unit = 0;
      if (e != 'u' || !Hex4(unit)) {
        return false;
      }
      std::u16string units(1, static_cast<char16_t>(unit));
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        uint32_t low = 0;
        if (text_.compare(at_, 2, "\\u") != 0 || (at_ += 2, !Hex4(low)) || low < 0xDC00 ||
            low > 0xDFFF) {
          return false;
        }
        units += static_cast<char16_t>(low);
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return false;
      }
      out += kiv::WideToUtf8(kiv::Utf16ToWide(units));
    }
    if (at_ >= text_.size()) {
      return false;
    }
    ++at_;
    return true;
  }
  bool Value(std::string& out) {
    if (at_ < text_.size() && text_[at_] == '"') {
      return String(out);
    }
    const size_t end = std::min(text_.find_first_of(",} \t\r\n", at_), text_.size());
    out = text_.substr(at_, end - at_);
    at_ = end;
    return out == "true" || out == "false" || out == "null" || IsNumber(out);
  }
  // -?(0|[1-9][0-9]*)(.[0-9]+)?
  static bool IsNumber(const std::string& text) {
    auto digits = [&](size_t from) {
      size_t end = from;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
        ++end;
      }
      return end;
    };
    const size_t start = text.compare(0, 1, "-") == 0 ? 1 : 0;
    size_t end = digits(start);
    if (end == start || (text[start] == '0' && end > start + 1)) {
      return false;
    }
    if (end < text.size() && text[end] == '.') {
      const size_t fraction = end + 1;
      end = digits(fraction);
      if (end == fraction) {
        return false;
      }
    }
    return end == text.size();
  }

  const std::string& text_;
  size_t at_ = 0;
};

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return kiv::AddSeparator(folder) + name;
}

std::vector<uint8_t> Bmp(int side, uint32_t seed) {
  testimg::BmpRecipe recipe;
  recipe.width = side;
  recipe.height = side;
  recipe.bitCount = 24;
  for (int i = 0; i < side * side; ++i) {
    recipe.values.push_back((seed * 2654435761u + static_cast<uint32_t>(i) * 40503u) & 0xFFFFFF);
  }
  return testimg::MakeBmp(recipe);
}

// Every file below `folder` with its bytes, by path below it.
void Snapshot(const std::wstring& folder, const std::wstring& below,
              std::map<std::wstring, std::vector<uint8_t>>& files) {
  for (const std::wstring& name : testimg::FolderNames(folder)) {
    const std::wstring path = Join(folder, name);
    if (kiv::IsDirectory(path)) {
      files[below + name + L"/"] = {};
      Snapshot(path, below + name + L"/", files);
    } else {
      files[below + name] = testimg::ReadFileBytes(path);
    }
  }
}

// A tree: 写真/a.bmp, 写真/a.jpg (same output name as a.bmp), 写真/b.png,
// 写真/bad.bmp (unreadable), 写真/sub/c.bmp, 写真/sub/deeper/d.bmp, and
// loose.bmp beside the folder.
class ScriptingTest : public ::testing::Test {
 protected:
  ScriptingTest() {
    top = Join(dir.path(), L"写真");
    kiv::MakeDirectory(top);
    kiv::MakeDirectory(Join(top, L"sub"));
    kiv::MakeDirectory(Join(Join(top, L"sub"), L"deeper"));
    testimg::WriteFileBytes(Join(top, L"a.bmp"), Bmp(6, 1));
    testimg::JpegRecipe jpeg;
    jpeg.width = 8;
    jpeg.height = 8;
    jpeg.samples.assign(8 * 8 * 3, 128);
    testimg::WriteFileBytes(Join(top, L"a.jpg"), testimg::MakeJpeg(jpeg));
    testimg::PngRecipe png;
    png.width = 3;
    png.height = 2;
    png.colorType = 2;
    png.samples.assign(3 * 2 * 3, 200);
    testimg::WriteFileBytes(Join(top, L"b.png"), testimg::MakePng(png));
    testimg::WriteFileBytes(Join(top, L"bad.bmp"), {'B', 'M', 0, 0});
    testimg::WriteFileBytes(Join(Join(top, L"sub"), L"c.bmp"), Bmp(5, 2));
    testimg::WriteFileBytes(Join(Join(Join(top, L"sub"), L"deeper"), L"d.bmp"), Bmp(4, 3));
    loose = Join(dir.path(), L"loose.bmp");
    testimg::WriteFileBytes(loose, Bmp(3, 4));
  }

  int Run(const std::vector<std::wstring>& arguments) {
    terminal.out.clear();
    terminal.errors.clear();
    return cli::Run(arguments, terminal, L"");
  }

  // The --json objects of the last run: each file's by its source, and the summary.
  std::map<std::string, Object> Reports(Object* summary = nullptr) {
    std::map<std::string, Object> files;
    for (const std::wstring& line : terminal.out) {
      const auto object = FlatJson::Parse(kiv::WideToUtf8(line));
      EXPECT_TRUE(object) << kiv::WideToUtf8(line);
      if (!object) {
        continue;
      }
      if (object->at("type") == "summary") {
        if (summary != nullptr) {
          *summary = *object;
        }
      } else {
        EXPECT_EQ(files.count(object->at("source")), 0u) << object->at("source");
        files[object->at("source")] = *object;
      }
    }
    return files;
  }

  static std::string U8(const std::wstring& text) { return kiv::WideToUtf8(text); }

  testimg::TempDir dir;
  std::wstring top;
  std::wstring loose;
  RecordingTerminal terminal;
};

TEST(ScriptingOptions, ValuesAreCheckedAndNamedWhenWrong) {
  struct Case {
    std::vector<std::wstring> arguments;
    const wchar_t* error;  // null: accepted
  };
  const Case cases[] = {
      {{L"--shard", L"2/5", L"x"}, nullptr},
      {{L"--shard=1/1", L"--keep-tree", L"--keep-time", L"--json", L"--dry-run", L"x"}, nullptr},
      {{L"--files-from", L"-", L"--null"}, nullptr},
      {{L"--shard", L"0/3", L"x"}, L"\"0/3\""},
      {{L"--shard", L"4/3", L"x"}, L"\"4/3\""},
      {{L"--shard", L"1/0", L"x"}, L"\"1/0\""},
      {{L"--shard", L"1/", L"x"}, L"\"1/\""},
      {{L"--shard", L"-1/3", L"x"}, L"\"-1/3\""},
      {{L"--shard", L"1/99999999", L"x"}, L"\"1/99999999\""},
      {{L"--shard", L"2", L"x"}, L"\"2\""},
      {{L"x", L"--shard"}, L"--shard needs"},
      {{L"--files-from"}, L"--files-from needs"},
      {{L"--files-from", L""}, L"--files-from needs"},
      {{L"--null", L"x"}, L"--null needs --files-from"},
      {{L"--json=yes", L"x"}, L"--json takes no value"},
      {{L"--dry-run"}, L"no file or folder"},
  };
  for (const Case& c : cases) {
    const cli::ParseResult parsed = cli::ParseArguments(c.arguments);
    EXPECT_EQ(parsed.ok, c.error == nullptr) << testing::PrintToString(c.arguments);
    if (c.error != nullptr) {
      EXPECT_NE(parsed.error.find(c.error), std::wstring::npos)
          << testing::PrintToString(c.arguments) << " " << kiv::WideToUtf8(parsed.error);
    }
  }
  const auto shard = cli::ParseArguments({L"--shard", L"2/5", L"x"}).request.shard;
  ASSERT_TRUE(shard);
  EXPECT_EQ(shard->part, 2);
  EXPECT_EQ(shard->count, 5);
  // The published FNV-1a 64 values, so that other programs can compute the parts too.
  EXPECT_EQ(cli::Fnv1a64(L""), 0xcbf29ce484222325ull);
  EXPECT_EQ(cli::Fnv1a64(L"a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(cli::Fnv1a64(L"foobar"), 0x85944171f73967e8ull);
  // Parts as another program computes them: 1 + (hash * N >> 64).
  EXPECT_EQ(cli::Fnv1a64(L"photos/sub/写真.png"), 0x6024b08c31cbd3edull);
  for (const auto& [path, count, part] :
       std::vector<std::tuple<std::wstring, int, int>>{{L"photos/a.jpg", 2, 2},
                                                       {L"photos/a.jpg", 7, 6},
                                                       {L"photos/sub/写真.png", 4, 2},
                                                       {L"IMG_0001.JPG", 7, 7},
                                                       {L"IMG_0001.JPG", 1, 1}}) {
    EXPECT_EQ(cli::PartOf(path, count), part) << kiv::WideToUtf8(path) << " " << count;
  }
  // The keys as the README tells another program to make them.
  const std::wstring sub = std::wstring(L"photos") + kiv::kPathSeparator + L"Sub";
  EXPECT_EQ(cli::PartKey(std::nullopt, sub, L"IMG (2).PNG"), L"photos/sub/img.png");
  EXPECT_EQ(cli::PartKey(std::nullopt, L"", L"a.png"), L"a.png");
  EXPECT_EQ(cli::PartKey(0x1a2b3cu, L"", L"Ä (1).png"), L"#1a2b3c/ä.png");
  // Names whose letters share their low bits still spread over the parts.
  std::vector<int> sizes(8);
  const std::wstring letters = L"aeimquy";
  for (wchar_t a : letters) {
    for (wchar_t b : letters) {
      for (wchar_t c : letters) {
        ++sizes[static_cast<size_t>(cli::PartOf(std::wstring{a, b, c} + L".png", 8) - 1)];
      }
    }
  }
  for (int size : sizes) {
    EXPECT_GT(size, 343 / 8 / 2);
  }
}

// Names the file system takes as one fold to one part key: on Windows, where
// names differ in case only by the system's own table, beyond the letters a
// fixed table knows too.
TEST(ScriptingOptions, NamesTheFileSystemTakesAsOneShareAPart) {
  const std::pair<const wchar_t*, const wchar_t*> names[] = {
      {L"photo.png", L"PHOTO.PNG"},
      {L"\u00e4pfel.png", L"\u00c4PFEL.png"},                                          // Latin-1
      {L"\u03c9\u03bc\u03b5\u03b3\u03b1.png", L"\u03a9\u039c\u0395\u0393\u0391.png"},  // Greek
      {L"\u0436\u0443\u043a.png", L"\u0416\u0423\u041a.png"},                          // Cyrillic
      {L"\u0561\u0562.png", L"\u0531\u0532.png"},                                      // Armenian
      {L"\u01c6\u0180.png", L"\u01c4\u0243.png"},  // Latin Extended-B
      {L"\uff41.png", L"\uff21.png"},              // full width
  };
  for (const auto& [a, b] : names) {
    SCOPED_TRACE(kiv::WideToUtf8(std::wstring(a) + L" " + b));
#ifdef _WIN32
    EXPECT_TRUE(kiv::SamePath(a, b));
    EXPECT_EQ(kiv::ComparableName(a), kiv::ComparableName(b));
#endif
    if (kiv::SamePath(a, b)) {
      EXPECT_EQ(cli::ShardKey(a), cli::ShardKey(b));
      EXPECT_EQ(cli::PartKey(std::nullopt, L"", a), cli::PartKey(std::nullopt, L"", b));
    }
  }
}

TEST_F(ScriptingTest, KeepTreeMirrorsEachFolderBelowTheOutput) {
  const struct {
    const wchar_t* folder;
    const wchar_t* name;
  } names[] = {{L"/in/photos", L"photos"},
               {L"/in/photos/", L"photos"},
               {L"/in/photos/..", L"in"},
               {L"/in/./a/../b", L"b"},
               {L"/..", L""},
               {L"/", L""}};
  for (const auto& n : names) {
    std::wstring folder = n.folder;
    for (wchar_t& c : folder) {
      c = c == L'/' ? kiv::kPathSeparator : c;
    }
    EXPECT_EQ(cli::TreeName(folder), n.name) << U8(folder);
  }

  const std::wstring out = Join(dir.path(), L"out");
  EXPECT_EQ(Run({L"--keep-tree", L"-o", out, L"--filter", L"*.bmp", top, loose}),
            cli::kExitFailures);  // bad.bmp
  std::map<std::wstring, std::vector<uint8_t>> made;
  Snapshot(out, L"", made);
  std::set<std::wstring> names_made;
  for (const auto& [name, bytes] : made) {
    names_made.insert(name);
  }
  EXPECT_EQ(names_made, (std::set<std::wstring>{L"loose.png", L"写真/", L"写真/a.png", L"写真/sub/",
                                                L"写真/sub/c.png", L"写真/sub/deeper/",
                                                L"写真/sub/deeper/d.png"}));

  // a.bmp found in its folder and named directly has two rows; the failure
  // names the output of the row that failed, not that of the other.
  const std::wstring direct = Join(top, L"a.bmp");
  EXPECT_EQ(Run({L"--keep-tree", L"-j", L"1", L"-o", out, L"--filter", L"*.jpg|*.bmp",
                 L"--no-subdirs", top, direct}),
            cli::kExitFailures);
  EXPECT_TRUE(terminal.Shows(terminal.errors,
                             direct + L": 書込失敗 (" + Join(Join(out, L"写真"), L"a.png") +
                                 L" is taken in this run by " + Join(top, L"a.jpg") + L")"));

  EXPECT_EQ(Run({L"--keep-tree", top}), cli::kExitUsage);
  EXPECT_NE(terminal.errors.at(0).find(L"--keep-tree needs an output folder"), std::wstring::npos);
}

TEST_F(ScriptingTest, FilesFromTakesLinesNulsAndStandardInputAfterTheNamedPaths) {
  const std::string a = U8(Join(top, L"a.bmp"));
  const std::string c = U8(Join(Join(top, L"sub"), L"c.bmp"));
  const std::string list = U8(Join(dir.path(), L"list.txt"));
  struct Case {
    std::string bytes;
    bool nul;
    bool standardInput;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF" + a + "\r\n\r\n" + c + "\r\n", false, false},
      {a + "\n" + c, false, true},
      {a + std::string(1, '\0') + std::string(1, '\0') + c + std::string(1, '\0'), true, false},
      {a + std::string(1, '\0') + c, true, true},
  };
  for (const Case& t : cases) {
    std::vector<std::wstring> arguments = {L"--dry-run", L"--json", kiv::Utf8ToWide(U8(loose))};
    if (t.nul) {
      arguments.push_back(L"--null");
    }
    arguments.push_back(L"--files-from");
    if (t.standardInput) {
      terminal.input = t.bytes;
      arguments.push_back(L"-");
    } else {
      testimg::WriteFileBytes(kiv::Utf8ToWide(list),
                              std::vector<uint8_t>(t.bytes.begin(), t.bytes.end()));
      arguments.push_back(kiv::Utf8ToWide(list));
    }
    EXPECT_EQ(Run(arguments), cli::kExitConverted) << testing::PrintToString(t.bytes);
    std::vector<std::string> sources;
    for (const std::wstring& line : terminal.out) {
      const auto object = FlatJson::Parse(U8(line));
      if (object && object->at("type") == "file") {
        sources.push_back(object->at("source"));
      }
    }
    EXPECT_EQ(sources, (std::vector<std::string>{U8(loose), a, c}))
        << testing::PrintToString(t.bytes);
  }
  EXPECT_EQ(Run({L"--files-from", Join(dir.path(), L"absent.txt")}), cli::kExitUsage);

#ifndef _WIN32
  // The program itself, its list piped in.
  testimg::WriteFileBytes(kiv::Utf8ToWide(list), std::vector<uint8_t>(a.begin(), a.end()));
  const std::string command =
      std::string(MORVANE_CLI_PATH) + " --dry-run --json --files-from - < '" + list + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string printed;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    printed.append(buffer, got);
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(printed.find("\"source\":\"" + a + "\""), std::string::npos) << printed;
#endif
}

TEST_F(ScriptingTest, DryRunChangesNothingAndForetellsTheRun) {
  const std::wstring out = Join(dir.path(), L"out");
  // Earlier outputs that each mode must deal with: b.png is its own output.
  testimg::WriteFileBytes(Join(Join(top, L"sub"), L"c.png"), {'o', 'l', 'd'});
  // In this order each run meets the outputs of the runs before it.
  const std::vector<std::vector<std::wstring>> runs = {
      {L"--overwrite", L"rename", top},
      {L"--overwrite", L"fail", top},
      {L"--overwrite", L"rename", L"--keep-tree", L"-o", out, top, loose},
      {L"--overwrite", L"force", L"--delete-source", top},
  };
  for (const auto& run : runs) {
    std::map<std::wstring, std::vector<uint8_t>> before;
    Snapshot(dir.path(), L"", before);
    std::vector<std::wstring> arguments = {L"--dry-run", L"--json",   L"-j",
                                           L"1",         L"--filter", L"*.bmp|*.jpg|b.png"};
    arguments.insert(arguments.end(), run.begin(), run.end());
    const int plannedStatus = Run(arguments);
    Object plannedSummary;
    const auto planned = Reports(&plannedSummary);
    std::map<std::wstring, std::vector<uint8_t>> after;
    Snapshot(dir.path(), L"", after);
    EXPECT_EQ(before, after) << testing::PrintToString(run);
    EXPECT_EQ(plannedSummary.at("dry_run"), "true");

    arguments[0] = L"--json";
    arguments[1] = L"--level=1";
    EXPECT_EQ(Run(arguments), plannedStatus) << testing::PrintToString(run);
    Object summary;
    const auto done = Reports(&summary);
    ASSERT_EQ(planned.size(), done.size()) << testing::PrintToString(run);
    EXPECT_GE(planned.size(), 6u);
    for (const auto& [source, report] : done) {
      const Object& plan = planned.at(source);
      EXPECT_EQ(plan.at("state"), report.at("state")) << source;
      EXPECT_EQ(plan.at("output"), report.at("output")) << source;
      EXPECT_EQ(plan.at("bytes_in"), report.at("bytes_in")) << source;
    }
    for (const char* count : {"converted", "read_failed", "write_failed", "kept", "missing"}) {
      EXPECT_EQ(plannedSummary.at(count), summary.at(count)) << count;
    }
  }
}

TEST_F(ScriptingTest, JsonReadsBackWhateverTheNames) {
  const std::wstring kFffd(1, 0xFFFD);
  struct Case {
    std::wstring text;
    std::wstring expected;  // what a JSON reader gets back
  };
  std::vector<Case> cases = {
      {L"plain/path.png", L"plain/path.png"},
      {L"q\"uote\\back", L"q\"uote\\back"},
      {L"tab\tnew\nline\rcr\x01\x1f\x7f", L"tab\tnew\nline\rcr\x01\x1f\x7f"},
      {L"写真/ｶﾀｶﾅ \x2028\x2029", L"写真/ｶﾀｶﾅ \x2028\x2029"},
      {std::wstring(L"nul\0in", 6), std::wstring(L"nul\0in", 6)},
      {std::wstring(L"lone ") + static_cast<wchar_t>(0xD800) + L" high",
       L"lone " + kFffd + L" high"},
      {std::wstring(L"lone ") + static_cast<wchar_t>(0xDCFF) + L" low", L"lone " + kFffd + L" low"},
      {kiv::Utf8ToWide("\xF0\x9F\x93\xB7 camera"), kiv::Utf8ToWide("\xF0\x9F\x93\xB7 camera")},
  };
  if (sizeof(wchar_t) == 4) {
    cases.push_back({std::wstring(1, static_cast<wchar_t>(0x110000)), kFffd});
  } else {
    // A high surrogate with no low one after it, then a low one alone.
    cases.push_back({std::wstring{static_cast<wchar_t>(0xD83D), L'x', static_cast<wchar_t>(0xDCF7)},
                     kFffd + L"x" + kFffd});
  }
  for (const Case& c : cases) {
    cli::FileReport report;
    report.source = c.text;
    report.output = c.text;
    report.stateText = L"変換終了";
    const std::string line = kiv::WideToUtf8(cli::FileJson(report, false));
    const auto object = FlatJson::Parse(line);
    ASSERT_TRUE(object) << line;
    EXPECT_EQ(object->at("source"), kiv::WideToUtf8(c.expected)) << line;
    EXPECT_EQ(object->at("state"), "converted");
  }

#ifndef _WIN32
  // A file name that is not UTF-8, converted for real.
  const std::wstring odd = Join(top, kiv::Utf8ToWide("odd\xFF\x01.bmp"));
  ASSERT_TRUE(testimg::WriteFileBytes(odd, Bmp(2, 9)));
  EXPECT_EQ(Run({L"--json", odd}), cli::kExitConverted);
  Object summary;
  const auto reports = Reports(&summary);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports.begin()->first, U8(Join(top, L"odd\xFFFD\x01.bmp")));
  EXPECT_EQ(reports.begin()->second.at("state"), "converted");
  EXPECT_EQ(summary.at("converted"), "1");
#endif
}

TEST_F(ScriptingTest, ShardsTakeEveryFileExactlyOnce) {
  std::multiset<std::string> all;
  EXPECT_EQ(Run({L"--dry-run", L"--json", top, loose}), cli::kExitFailures);
  for (const auto& [source, report] : Reports()) {
    all.insert(source);
  }
  ASSERT_EQ(all.size(), 7u);
  for (int count : {1, 2, 3, 7}) {
    std::multiset<std::string> parts;
    for (int part = 1; part <= count; ++part) {
      Run({L"--dry-run", L"--json", L"--shard",
           std::to_wstring(part) + L"/" + std::to_wstring(count), top, loose});
      for (const auto& [source, report] : Reports()) {
        parts.insert(source);
      }
    }
    EXPECT_EQ(parts, all) << count;
  }
}

TEST_F(ScriptingTest, KeepTimeGivesEachPngItsSourceTime) {
  kiv::FileStamp old;  // 2001-02-03 04:05:06.5 UTC
  old.seconds = 981173106;
  old.nanoseconds = 500000000;
  const std::wstring a = Join(top, L"a.bmp");
  const std::wstring b = Join(top, L"b.png");  // converted onto itself
  ASSERT_TRUE(kiv::SetModificationTime(a, old));
  ASSERT_TRUE(kiv::SetModificationTime(b, old));
  EXPECT_EQ(Run({L"--keep-time", L"--overwrite", L"force", a, b}), cli::kExitConverted);
  for (const std::wstring& png : {Join(top, L"a.png"), b}) {
    kiv::FileStamp stamp;
    ASSERT_TRUE(kiv::ReadFileStamp(png, &stamp));
    EXPECT_EQ(stamp.seconds, old.seconds) << U8(png);
    EXPECT_EQ(stamp.nanoseconds, old.nanoseconds) << U8(png);
  }
  EXPECT_EQ(Run({L"--overwrite", L"force", a}), cli::kExitConverted);
  kiv::FileStamp fresh;
  ASSERT_TRUE(kiv::ReadFileStamp(Join(top, L"a.png"), &fresh));
  EXPECT_GT(fresh.seconds, old.seconds + 3600);
}

}  // namespace
