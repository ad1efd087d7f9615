// Seed inputs for the fuzz targets, made by the program's own code and the test image makers:
// images of every kind the readers take, settings files, command lines and drop blocks.
//
// Threads: any; each call builds its own data.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fuzzing {

struct Seed {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// The seeds of the target named `target` (see targets.h); empty for an unknown name.
std::vector<Seed> MakeSeeds(const std::string& target);

// The seeds of the WebP, GIF, TIFF and HEIF targets ("webp", "gif", "tiff", "heif";
// format_seeds.cpp); empty for any other name.
std::vector<Seed> FormatSeeds(const std::string& target);

}  // namespace fuzzing
