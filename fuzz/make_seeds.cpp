// Writes the seed corpora of the fuzz targets: make_seeds FOLDER [TARGET...] creates
// FOLDER/<target>/<seed name> for each target (every target when none is named).
// Exit status 0 when every file was written, 1 otherwise, 2 on bad usage.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/seeds.h"
#include "fuzz/targets.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER [TARGET...]\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  std::vector<std::string> names;
  for (int i = 2; i < argc; ++i) {
    if (fuzzing::FindTarget(fuzzing::AllTargets(), argv[i]) == nullptr) {
      std::fprintf(stderr, "make_seeds: unknown target %s\n", argv[i]);
      return 2;
    }
    names.push_back(argv[i]);
  }
  if (names.empty()) {
    for (const fuzzing::Target& target : fuzzing::AllTargets()) {
      names.push_back(target.name);
    }
  }
  int status = 0;
  for (const std::string& name : names) {
    const std::filesystem::path folder = root / name;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int written = 0;
    for (const fuzzing::Seed& seed : fuzzing::MakeSeeds(name)) {
      std::ofstream out(folder / ("seed-" + seed.name), std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                static_cast<std::streamsize>(seed.bytes.size()));
      if (!out.flush()) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", (folder / seed.name).c_str());
        status = 1;
      } else {
        ++written;
      }
    }
    std::printf("%-13s %d seeds\n", name.c_str(), written);
  }
  return status;
}
