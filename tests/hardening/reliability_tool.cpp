// The helper of bench/reliability: makes the image sets it converts and checks, after a run or a
// killed run, that nothing was lost.
//
//   morvane_reliability_tool make DIR SMALL [LARGE] [SIZE]
//       writes SMALL images of SIZE x 3/4 SIZE pixels (default 160) and LARGE images of
//       2400 x 1600 into DIR, cycling through BMP (24-bit and 8-bit), PNG (RGB and RGBA) and
//       JPEG (colour and grey); lists the names in DIR/../<DIR name>.manifest
//   morvane_reliability_tool check DIR MANIFEST [--complete]
//       after a run (possibly killed) over DIR, converted beside the sources: every PNG under a
//       final name decodes completely; a source that is gone has its PNG, with the source's
//       pixels; nothing else is in DIR but temporaries of the safe writer. --complete also
//       requires every source to be converted. Prints "converted N deleted N temporaries N".
//   morvane_reliability_tool check-outputs DIR
//       every file in DIR is a complete PNG (temporaries are counted, not accepted)
//   morvane_reliability_tool save-settings FILE KILOBYTES
//       saves a settings tree holding KILOBYTES of incompressible text to FILE; exit 0 when saved
//   morvane_reliability_tool load-settings FILE
//       exit 0 when FILE loads as a settings file
//   morvane_reliability_tool write-settings FILE JOBS [--delete-source]
//       writes the window's settings file with every option at its default but the worker count
//       (and DeleteSrcFile)
//
// Exit status 0 when everything holds, 1 with one line per problem on stderr otherwise, 2 on bad
// usage.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/path.h"
#include "base/replacing_file.h"
#include "base/unicode.h"
#include "engine/memory_options.h"
#include "image/bitmap.h"
#include "settings/data_file.h"
#include "settings/data_node.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

using testimg::Noise;

int problems = 0;

void Problem(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  ++problems;
}

std::string Narrow(const std::wstring& text) {
  return kiv::WideToUtf8(text);
}

// Image `index` of the set: its extension and its bytes. The same index always gives the same
// bytes, so a checker can rebuild a source that a run deleted.
std::pair<std::wstring, std::vector<uint8_t>> MakeImage(int index, int width, int height) {
  Noise noise(static_cast<uint32_t>(index) + 1);
  const int kind = index % 6;
  // Smooth gradients with a little noise: compressible like photographs, never uniform.
  auto sample = [&](int x, int y, int channel) {
    const int v = (x * (3 + channel) + y * (5 - channel) + index * 13) / 2;
    return static_cast<uint8_t>((v + static_cast<int>(noise.Below(16))) & 0xFF);
  };
  if (kind == 0 || kind == 1) {
    testimg::BmpRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.bitCount = kind == 0 ? 24 : 8;
    if (kind == 1) {
      for (int i = 0; i < 256; ++i) {
        recipe.palette.push_back(testimg::Rgba{static_cast<uint8_t>(i),
                                               static_cast<uint8_t>(255 - i),
                                               static_cast<uint8_t>(i * 7), 255});
      }
    }
    recipe.values.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        recipe.values[static_cast<size_t>(y) * width + x] =
            kind == 0 ? (sample(x, y, 0) << 16 | sample(x, y, 1) << 8 | sample(x, y, 2))
                      : sample(x, y, 0);
      }
    }
    return {L".bmp", testimg::MakeBmp(recipe)};
  }
  if (kind == 2 || kind == 3) {
    testimg::PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colorType = kind == 2 ? 2 : 6;
    const int channels = kind == 2 ? 3 : 4;
    recipe.samples.resize(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < channels; ++c) {
          recipe.samples[(static_cast<size_t>(y) * width + x) * channels + c] = sample(x, y, c);
        }
      }
    }
    return {L".png", testimg::MakePng(recipe)};
  }
  testimg::JpegRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.kind = kind == 4 ? testimg::JpegKind::kColour : testimg::JpegKind::kGrey;
  recipe.quality = 85;
  const int channels = kind == 4 ? 3 : 1;
  recipe.samples.resize(static_cast<size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) {
        recipe.samples[(static_cast<size_t>(y) * width + x) * channels + c] = sample(x, y, c);
      }
    }
  }
  return {L".jpg", testimg::MakeJpeg(recipe)};
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return kiv::AddSeparator(folder) + name;
}

int Make(const std::wstring& dir, int small, int large, int size) {
  kiv::MakeDirectory(dir);
  std::ofstream manifest(Narrow(dir) + ".manifest", std::ios::trunc);
  for (int i = 0; i < small + large; ++i) {
    const bool big = i >= small;
    const int width = big ? 2400 : size;
    const int height = big ? 1600 : size * 3 / 4;
    auto [extension, bytes] = MakeImage(i, width, height);
    const std::wstring name = (big ? L"large-" : L"img-") + std::to_wstring(i) + L"-" +
                              std::to_wstring(width) + extension;
    if (bytes.empty() || !testimg::WriteFileBytes(Join(dir, name), bytes)) {
      Problem("cannot write " + Narrow(name));
    }
    manifest << Narrow(name) << "\n";
  }
  return problems == 0 ? 0 : 1;
}

std::vector<std::wstring> ReadManifest(const std::wstring& path) {
  std::vector<std::wstring> names;
  std::ifstream in(Narrow(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) {
      names.push_back(kiv::Utf8ToWide(line));
    }
  }
  return names;
}

// The PNG the converter writes for these source bytes, decoded.
testimg::Picture ExpectedPicture(const std::vector<uint8_t>& source) {
  Bitmap image;
  std::vector<uint8_t> png;
  if (!image.LoadFromMemory(source) || !image.EncodePng(png, 6, false)) {
    return {};
  }
  return testimg::DecodePng(png).picture;
}

// Rebuilds the source `name` of the set from its index and size.
std::vector<uint8_t> RebuildSource(const std::wstring& name) {
  const std::string n = Narrow(name);
  const size_t dash = n.find('-');
  const size_t dash2 = n.find('-', dash + 1);
  const int index = std::atoi(n.c_str() + dash + 1);
  const int width = std::atoi(n.c_str() + dash2 + 1);
  const int height = n.rfind("large-", 0) == 0 ? 1600 : width * 3 / 4;
  return MakeImage(index, width, height).second;
}

int Check(const std::wstring& dir, const std::wstring& manifestPath, bool complete) {
  const std::vector<std::wstring> sources = ReadManifest(manifestPath);
  if (sources.empty()) {
    Problem("empty manifest " + Narrow(manifestPath));
    return 1;
  }
  std::set<std::wstring> expectedNames;
  int converted = 0;
  int deleted = 0;
  for (const std::wstring& name : sources) {
    const std::wstring png = kiv::RenameExtension(name, L".png");
    expectedNames.insert(name);
    expectedNames.insert(png);
    const bool inPlace = png == name;
    const bool sourceThere = kiv::FileExists(Join(dir, name));
    const bool pngThere = kiv::FileExists(Join(dir, png));
    if (inPlace) {
      // A PNG converted onto itself: before or after, it is whole and shows the same picture.
      if (!sourceThere) {
        Problem("lost: " + Narrow(name) + " (converted in place) is gone");
        continue;
      }
      const testimg::DecodedPng decoded =
          testimg::DecodePng(testimg::ReadFileBytes(Join(dir, name)));
      if (!decoded.ok) {
        Problem("damaged: " + Narrow(name) + " does not decode completely");
      } else if (!testimg::Difference(ExpectedPicture(RebuildSource(name)), decoded.picture)
                      .empty()) {
        Problem("wrong pixels: " + Narrow(name));
      }
      continue;
    }
    if (!sourceThere) {
      ++deleted;
      if (!pngThere) {
        Problem("lost: " + Narrow(name) + " was deleted without its PNG");
        continue;
      }
    }
    if (!pngThere) {
      if (complete) {
        Problem("not converted: " + Narrow(name));
      }
      continue;
    }
    const testimg::DecodedPng decoded = testimg::DecodePng(testimg::ReadFileBytes(Join(dir, png)));
    if (!decoded.ok) {
      Problem("damaged: " + Narrow(png) + " does not decode completely");
      continue;
    }
    const std::vector<uint8_t> sourceBytes =
        sourceThere ? testimg::ReadFileBytes(Join(dir, name)) : RebuildSource(name);
    const std::string difference =
        testimg::Difference(ExpectedPicture(sourceBytes), decoded.picture);
    if (!difference.empty()) {
      Problem("wrong pixels: " + Narrow(png) + ": " + difference);
      continue;
    }
    ++converted;
  }
  int temporaries = 0;
  for (const std::wstring& name : hardening::AllNames(dir)) {
    if (kiv::ReplacingFile::IsTemporaryName(name)) {
      ++temporaries;
    } else if (expectedNames.count(name) == 0) {
      Problem("stray file: " + Narrow(name));
    }
  }
  std::printf("converted %d deleted %d temporaries %d\n", converted, deleted, temporaries);
  return problems == 0 ? 0 : 1;
}

int CheckOutputs(const std::wstring& dir) {
  int complete = 0;
  int temporaries = 0;
  for (const std::wstring& name : hardening::AllNames(dir)) {
    if (kiv::ReplacingFile::IsTemporaryName(name)) {
      ++temporaries;
      Problem("temporary left: " + Narrow(name));
    } else if (hardening::IsCompletePng(testimg::ReadFileBytes(Join(dir, name)))) {
      ++complete;
    } else {
      Problem("damaged: " + Narrow(name));
    }
  }
  std::printf("complete %d temporaries %d\n", complete, temporaries);
  return problems == 0 ? 0 : 1;
}

int SaveSettings(const std::wstring& path, int kilobytes) {
  kiv::DataNode root(2);
  Noise noise(99);
  std::wstring text;
  for (int i = 0; i < kilobytes * 512; ++i) {
    text.push_back(static_cast<wchar_t>(0x4E00 + noise.Below(0x5000)));
  }
  root.Child(L"PageOption").Child(L"Output").SetString(L"Text", text);
  return kiv::SaveDataFile(root, path) ? 0 : 1;
}

int LoadSettings(const std::wstring& path) {
  kiv::DataNode root;
  if (kiv::ReadDataFileType(path) < 2 || !kiv::LoadDataFile(path, root)) {
    Problem("settings file does not load: " + Narrow(path));
    return 1;
  }
  return 0;
}

int WriteSettings(const std::wstring& path, int jobs, bool deleteSource) {
  MemoryOptionSet options;
  options.SetConvertCount(jobs);
  options.SetOn(Option::kDeleteSrcFile, deleteSource);
  kiv::DataNode root(2);
  options.Save(root.Child(L"PageOption"));
  return kiv::SaveDataFile(root, path) ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: morvane_reliability_tool make DIR SMALL [LARGE] [SIZE]\n"
               "       morvane_reliability_tool check DIR MANIFEST [--complete]\n"
               "       morvane_reliability_tool check-outputs DIR\n"
               "       morvane_reliability_tool save-settings FILE KILOBYTES\n"
               "       morvane_reliability_tool load-settings FILE\n"
               "       morvane_reliability_tool write-settings FILE JOBS [--delete-source]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    return Usage();
  }
  const std::string command = argv[1];
  const std::wstring path = kiv::Utf8ToWide(argv[2]);
  if (command == "make" && argc >= 4) {
    return Make(path, std::atoi(argv[3]), argc >= 5 ? std::atoi(argv[4]) : 0,
                argc >= 6 ? std::atoi(argv[5]) : 160);
  }
  if (command == "check" && argc >= 4) {
    return Check(path, kiv::Utf8ToWide(argv[3]), argc >= 5 && std::string(argv[4]) == "--complete");
  }
  if (command == "check-outputs") {
    return CheckOutputs(path);
  }
  if (command == "save-settings" && argc >= 4) {
    return SaveSettings(path, std::atoi(argv[3]));
  }
  if (command == "load-settings") {
    return LoadSettings(path);
  }
  if (command == "write-settings" && argc >= 4) {
    return WriteSettings(path, std::atoi(argv[3]),
                         argc >= 5 && std::string(argv[4]) == "--delete-source");
  }
  return Usage();
}
