// One list, one outcome: over generated trees (same stems in several
// formats, one name in several folders, rename counters, large images that
// finish after small ones, an unreadable file, a file named twice, earlier
// outputs; on POSIX also a folder named again through a link, a file link
// inside the tree, hard-linked existing outputs and a source hard-linked to
// its output), every overwrite mode, with and without --delete-source, beside
// the sources, with -o and with --keep-tree, morvane-cli ends in the same
// files, bytes and JSON lines at -j 1, 2 and 16; --dry-run foretells those
// lines; and the run split into 2 or 5 parts, one after another or all at
// once, ends in the same files as the unsplit run.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "base/path.h"
#include "base/unicode.h"
#include "cli/batch.h"
#include "tests/cli/recording_terminal.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

using Files = std::map<std::wstring, std::vector<uint8_t>>;

std::wstring Native(std::wstring relative) {
  for (wchar_t& c : relative) {
    c = c == L'/' ? kiv::kPathSeparator : c;
  }
  return relative;
}

void Snapshot(const std::wstring& folder, const std::wstring& below, Files& files) {
  for (const std::wstring& name : testimg::FolderNames(folder)) {
    const std::wstring path = kiv::AddSeparator(folder) + name;
    if (kiv::IsLink(path)) {
      files[below + name] = {'-', '>'};  // a link stays a link, whatever it leads to
    } else if (kiv::IsDirectory(path)) {
      Snapshot(path, below + name + L"/", files);
    } else {
      files[below + name] = testimg::ReadFileBytes(path);
    }
  }
}

void Clear(const std::wstring& folder) {
  for (const std::wstring& name : testimg::FolderNames(folder)) {
    const std::wstring path = kiv::AddSeparator(folder) + name;
    if (kiv::IsLink(path)) {
      kiv::RemoveFile(path);
    } else if (kiv::IsDirectory(path)) {
      Clear(path);
      kiv::RemoveFolder(path);
    } else {
      kiv::RemoveFile(path);
    }
  }
}

// A tree for `seed`: its files (relative path, bytes) and the arguments of
// its run (the folder "in", sometimes one of its files again).
struct Tree {
  Files files;
  std::vector<std::wstring> arguments;
  // Made after the files (relative paths): symbolic links to a path, and
  // second names of a file.
  std::vector<std::pair<std::wstring, std::wstring>> links;
  std::vector<std::pair<std::wstring, std::wstring>> hardLinks;
};

Tree Generate(unsigned seed, const std::wstring& root) {
  std::mt19937 random(seed);
  auto pick = [&](std::initializer_list<const wchar_t*> items) {
    return std::wstring(items.begin()[random() % items.size()]);
  };
  Tree tree;
  const int count = 8 + static_cast<int>(random() % 7);
  for (int i = 0; i < count; ++i) {
    const std::wstring folder = pick({L"in/", L"in/", L"in/s1/", L"in/s2/"});
    const std::wstring name =
        pick({L"a", L"b", L"a (1)", L"c (2)"}) + pick({L".bmp", L".jpg", L".png"});
    const int side = random() % 4 == 0 ? 320 : 3 + i;
    const uint32_t shade = 0x0F0F0Fu * static_cast<uint32_t>(i + 1);
    std::vector<uint8_t> bytes;
    if (name.back() == L'g' && name[name.size() - 2] == L'p') {
      testimg::JpegRecipe jpeg;
      jpeg.width = jpeg.height = side;
      jpeg.samples.assign(static_cast<size_t>(side) * side * 3, static_cast<uint8_t>(shade));
      bytes = testimg::MakeJpeg(jpeg);
    } else if (name.back() == L'g') {
      testimg::PngRecipe png;
      png.width = png.height = side;
      png.samples.assign(static_cast<size_t>(side) * side * 3, static_cast<uint8_t>(shade));
      bytes = testimg::MakePng(png);
    } else {
      testimg::BmpRecipe bmp;
      bmp.width = bmp.height = side;
      bmp.values.assign(static_cast<size_t>(side) * side, shade);
      bytes = testimg::MakeBmp(bmp);
    }
    tree.files[folder + name] = bytes;
  }
  tree.files[L"in/s2/bad.bmp"] = {'B', 'M', 1, 2};
  testimg::PngRecipe earlier;
  earlier.width = earlier.height = 2;
  earlier.samples.assign(2 * 2 * 3, 7);
  tree.files[L"out/in/a.png"] = testimg::MakePng(earlier);
  tree.arguments.push_back(kiv::AddSeparator(root) + L"in");
  if (seed % 2 == 0) {
    tree.arguments.push_back(kiv::AddSeparator(root) + Native(tree.files.begin()->first));
  }
#ifndef _WIN32
  if (seed % 3 == 1) {
    // The folder again, named through a link.
    tree.links.emplace_back(L"lnk", L"in");
    tree.arguments.push_back(kiv::AddSeparator(root) + L"lnk");
  }
  if (seed % 4 == 2) {
    // A second name of a file inside the tree, found by the same scan.
    tree.links.emplace_back(L"in/s1/best.jpg",
                            L"in/" + kiv::FindFileName(tree.files.rbegin()->first));
  }
  if (seed % 3 == 2) {
    // Existing outputs that are one file under two names.
    tree.files[L"out/a.png"] = tree.files[L"out/in/a.png"];
    tree.hardLinks.emplace_back(L"out/b.png", L"out/a.png");
    tree.hardLinks.emplace_back(L"out/in/b.png", L"out/in/a.png");
  }
  if (seed % 2 == 1) {
    // A source that is also, by a second name, the PNG it is converted to.
    testimg::JpegRecipe jpeg;
    jpeg.width = jpeg.height = 5;
    jpeg.samples.assign(5 * 5 * 3, 0x80);
    tree.files[L"in/h.jpg"] = testimg::MakeJpeg(jpeg);
    tree.hardLinks.emplace_back(L"out/h.png", L"in/h.jpg");
    tree.hardLinks.emplace_back(L"out/in/h.png", L"in/h.jpg");
  }
#endif
  return tree;
}

void Lay(const Tree& tree, const std::wstring& root) {
  Clear(root);
  for (const auto& [relative, bytes] : tree.files) {
    const std::wstring path = kiv::AddSeparator(root) + Native(relative);
    for (size_t at = path.find(kiv::kPathSeparator, root.size() + 1); at != std::wstring::npos;
         at = path.find(kiv::kPathSeparator, at + 1)) {
      kiv::MakeDirectory(path.substr(0, at));
    }
    ASSERT_TRUE(testimg::WriteFileBytes(path, bytes));
  }
#ifndef _WIN32
  auto at = [&root](const std::wstring& relative) {
    return kiv::WideToUtf8(kiv::AddSeparator(root) + Native(relative));
  };
  for (const auto& [name, target] : tree.links) {
    ASSERT_EQ(symlink(at(target).c_str(), at(name).c_str()), 0);
  }
  for (const auto& [name, target] : tree.hardLinks) {
    ASSERT_EQ(link(at(target).c_str(), at(name).c_str()), 0);
  }
#endif
}

struct Result {
  int status = -1;
  std::vector<std::wstring> lines;  // JSON lines without times and written sizes
  Files files;
};

// The JSON line without what differs between runs of one plan.
std::wstring Comparable(std::wstring line) {
  for (const wchar_t* name :
       {L",\"milliseconds\":", L",\"bytes_out\":", L",\"seconds\":", L",\"dry_run\":"}) {
    const size_t at = line.find(name);
    if (at != std::wstring::npos) {
      line.erase(at, line.find_first_of(L",}", at + 1) - at);
    }
  }
  return line;
}

Result RunCli(const std::vector<std::wstring>& arguments, const std::wstring& root) {
  RecordingTerminal terminal;
  Result result;
  result.status = cli::Run(arguments, terminal, L"");
  for (const std::wstring& line : terminal.out) {
    result.lines.push_back(Comparable(line));
  }
  Snapshot(root, L"", result.files);
  return result;
}

// The parts of a split run all at once: as programs natively, in threads on
// Windows.
void RunPartsAtOnce(const std::vector<std::wstring>& arguments, int parts) {
  std::vector<std::wstring> each;
  for (int part = 1; part <= parts; ++part) {
    each.push_back(L"--shard=" + std::to_wstring(part) + L"/" + std::to_wstring(parts));
  }
#ifdef _WIN32
  std::vector<std::thread> threads;
  for (const std::wstring& shard : each) {
    threads.emplace_back([&arguments, shard] {
      RecordingTerminal terminal;
      std::vector<std::wstring> with = arguments;
      with.push_back(shard);
      cli::Run(with, terminal, L"");
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
#else
  std::vector<FILE*> pipes;
  for (const std::wstring& shard : each) {
    std::string command = MORVANE_CLI_PATH " -q";
    for (const std::wstring& argument : arguments) {
      command += " '" + kiv::WideToUtf8(argument) + "'";
    }
    command += " " + kiv::WideToUtf8(shard) + " > /dev/null";
    pipes.push_back(popen(command.c_str(), "r"));
  }
  for (FILE* pipe : pipes) {
    ASSERT_NE(pipe, nullptr);
    pclose(pipe);
  }
#endif
}

TEST(OneOutcome, EveryWorkerCountDryRunAndSplitEndAlike) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    testimg::TempDir dir;
    const std::wstring& root = dir.path();
    const Tree tree = Generate(seed, root);
    std::vector<std::wstring> arguments = {L"--json", L"--overwrite",
                                           std::wstring(seed % 3 == 0   ? L"force"
                                                        : seed % 3 == 1 ? L"fail"
                                                                        : L"rename")};
    if (seed % 4 < 2) {
      arguments.push_back(L"--delete-source");
    }
    if (seed % 5 != 0) {
      arguments.insert(arguments.end(), {L"-o", kiv::AddSeparator(root) + L"out"});
      if (seed % 5 > 2) {
        arguments.push_back(L"--keep-tree");
      }
    }
    arguments.insert(arguments.end(), tree.arguments.begin(), tree.arguments.end());
    SCOPED_TRACE("seed " + std::to_string(seed));

    Lay(tree, root);
    std::vector<std::wstring> planArguments = arguments;
    planArguments.push_back(L"--dry-run");
    const Result plan = RunCli(planArguments, root);
    Result first;
    for (const wchar_t* jobs : {L"1", L"2", L"16"}) {
      Lay(tree, root);
      std::vector<std::wstring> withJobs = arguments;
      withJobs.insert(withJobs.end(), {L"-j", jobs});
      const Result run = RunCli(withJobs, root);
      EXPECT_EQ(run.status, plan.status) << jobs;
      EXPECT_EQ(run.lines, plan.lines) << jobs;
      if (seed % 4 < 2) {
        // Deleting sources, no existing file is replaced by another source's PNG (an earlier
        // run's may be the only copy of its picture).
        EXPECT_EQ(run.files.at(L"out/in/a.png"), tree.files.at(L"out/in/a.png")) << jobs;
      }
      if (first.status < 0) {
        first = run;
      } else {
        EXPECT_TRUE(run.files == first.files) << "-j " << kiv::WideToUtf8(jobs);
      }
    }

    // Parts one after another, first to last; two parts also last to first.
    for (int parts : {2, 5, -2}) {
      const bool backwards = parts < 0;
      parts = backwards ? -parts : parts;
      Lay(tree, root);
      std::multiset<std::wstring> lines;
      for (int step = 1; step <= parts; ++step) {
        const int part = backwards ? parts + 1 - step : step;
        std::vector<std::wstring> shard = arguments;
        shard.push_back(L"--shard=" + std::to_wstring(part) + L"/" + std::to_wstring(parts));
        for (const std::wstring& line : RunCli(shard, root).lines) {
          if (line.find(L"\"type\":\"file\"") != std::wstring::npos) {
            lines.insert(line);
          }
        }
      }
      Files files;
      Snapshot(root, L"", files);
      EXPECT_TRUE(files == first.files)
          << parts << " parts one after another" << (backwards ? ", last first" : "");
      std::multiset<std::wstring> unsplit(first.lines.begin(), first.lines.end() - 1);
      EXPECT_EQ(lines, unsplit) << parts << " parts" << (backwards ? ", last first" : "");
      if (backwards) {
        continue;
      }

      Lay(tree, root);
      RunPartsAtOnce(arguments, parts);
      files.clear();
      Snapshot(root, L"", files);
      EXPECT_TRUE(files == first.files) << parts << " parts at once";
    }
  }
}

#ifndef _WIN32
// What `command` prints, run by the shell in `folder`.
std::string ShellOutput(const std::wstring& folder, const std::string& command) {
  std::string output;
  FILE* pipe =
      popen(("cd '" + kiv::WideToUtf8(folder) + "' && (" + command + ") 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) {
    return output;
  }
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  pclose(pipe);
  return output;
}

// One folder reached under two names ("photos", and "other": a symbolic link
// to it, or the same folder mounted there again, which no path resolution
// sees through): the parts are chosen alike whichever name a run uses, and a
// split run that names files through both ends as the unsplit run, parts one
// after another in either order or at once.
TEST(OneOutcome, OneFolderUnderTwoNamesSplitsAsOneRun) {
  const std::string cli = MORVANE_CLI_PATH;
  for (const bool mounted : {false, true}) {
    SCOPED_TRACE(mounted ? "mounted again" : "link");
    testimg::TempDir dir;
    const std::wstring& root = dir.path();
    Tree tree;
    std::string named;
    for (int i = 0; i < 16; ++i) {
      const std::wstring stem = L"s" + std::to_wstring(i);
      testimg::BmpRecipe bmp;
      bmp.width = bmp.height = 3;
      bmp.values.assign(9, 0xFF0000u + static_cast<uint32_t>(i));
      tree.files[L"photos/" + stem + L".bmp"] = testimg::MakeBmp(bmp);
      testimg::JpegRecipe jpeg;
      jpeg.width = jpeg.height = 3;
      jpeg.samples.assign(27, static_cast<uint8_t>(16 * i));
      tree.files[L"photos/" + stem + L".jpg"] = testimg::MakeJpeg(jpeg);
      named += " photos/" + kiv::WideToUtf8(stem) + ".bmp other/" + kiv::WideToUtf8(stem) + ".jpg";
    }
    // The second name is made for each command; a mount lives as long as the command.
    std::string secondName;
    if (mounted) {
      tree.files[L"other/.keep"] = {};
      Lay(tree, root);
      kiv::RemoveFile(kiv::AddSeparator(root) + Native(L"other/.keep"));
      if (ShellOutput(root,
                      "unshare -m sh -c 'mount --bind photos other && echo yes' 2>/dev/null") !=
          "yes\n") {
        std::printf("no second mount of a folder here (it needs unshare and mount rights)\n");
        continue;
      }
      secondName = "unshare -m sh -c 'mount --bind photos other && ";
    } else {
      tree.links.emplace_back(L"other", L"photos");
      secondName = "sh -c '";
    }
    auto run = [&](const std::string& commands) {
      return ShellOutput(root, secondName + commands + "'");
    };

    // Parts by either name: the same files in each part.
    for (const char* where : {"", "-o out "}) {
      Lay(tree, root);
      for (int part = 1; part <= 2; ++part) {
        std::string byName[2];
        for (int n = 0; n < 2; ++n) {
          const std::string name = n == 0 ? "photos" : "other";
          const std::string lines = run(cli + " --dry-run --json " + where + "--shard " +
                                        std::to_string(part) + "/2 " + name);
          // The file names of the sources.
          for (size_t at = lines.find("\"source\":\""); at != std::string::npos;
               at = lines.find("\"source\":\"", at + 1)) {
            const std::string source = lines.substr(at + 10, lines.find('"', at + 10) - at - 10);
            byName[n] += source.substr(source.rfind('/') + 1) + " ";
          }
          EXPECT_NE(byName[n].find(".bmp"), std::string::npos) << name << " part " << part;
        }
        EXPECT_EQ(byName[0], byName[1]) << where << "part " << part;
      }
    }

    const std::string options = " -q --delete-source --overwrite force";
    Lay(tree, root);
    run(cli + options + named);
    Files unsplit;
    Snapshot(root, L"", unsplit);
    const std::string parts[] = {
        cli + options + " --shard 1/2" + named + "; " + cli + options + " --shard 2/2" + named,
        cli + options + " --shard 2/2" + named + "; " + cli + options + " --shard 1/2" + named,
        cli + options + " --shard 1/2" + named + " & " + cli + options + " --shard 2/2" + named +
            " & wait"};
    for (const std::string& commands : parts) {
      Lay(tree, root);
      run(commands);
      Files files;
      Snapshot(root, L"", files);
      EXPECT_TRUE(files == unsplit) << commands;
    }
  }
}
#endif

}  // namespace
