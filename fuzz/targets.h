// The fuzz targets: one entry per kind of untrusted input the program takes.
//
// Each target feeds arbitrary bytes to one of the program's parsers and then checks what came
// out: an image in one of Bitmap's layouts, a settings tree that survives its own round trip,
// paths that survive the drop block. A check that fails ends the process with a message on
// stderr (abort), which libFuzzer and the regression test both report as a failure; bad input
// itself must never end the process.
//
// The same entries run under libFuzzer (fuzz_entry.cpp, one executable per target) and in the
// regression test, which replays the seeds and every input that once failed.
//
// Threads: a target may run on any thread, one input at a time per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

// Runs one input. Returns 0, or -1 when the input is of no interest to the target (libFuzzer then
// keeps it out of the corpus). Aborts when a check on the result fails.
using TargetFunction = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
  const char* name;  // also the executable's suffix and the corpus folder's name
  TargetFunction run;
};

// The image targets (readers and PNG writer; image_targets.cpp, linking only the codecs and the
// file layer) and the targets of the other inputs (input_targets.cpp), each in a fixed order.
// ImageTargets ends with FormatTargets, the WebP, GIF, TIFF and HEIF readers (format_targets.cpp).
const std::vector<Target>& ImageTargets();
const std::vector<Target>& FormatTargets();
const std::vector<Target>& InputTargets();

// Every target: the image targets, then the others.
const std::vector<Target>& AllTargets();

// The target of `targets` named `name`, or null.
inline const Target* FindTarget(const std::vector<Target>& targets, const std::string& name) {
  for (const Target& target : targets) {
    if (name == target.name) {
      return &target;
    }
  }
  return nullptr;
}

// Images of more pixels than this are decoded and their shape checked, but their pixels are not
// checked one by one, converted nor encoded again: that time grows with the image, not with the
// input, and would crowd out the search.
constexpr std::uint64_t kMaxCheckedPixels = std::uint64_t{4} << 20;

// The image targets decode images that declare at most kMaxFuzzedPixels pixels, or more than
// kSurelyRefusedPixels (more than any bit count fits in Bitmap::kMaxPixelStoreBytes, so the
// readers must refuse them before allocating); see WorthDecoding in targets.cpp.
constexpr std::uint64_t kMaxFuzzedPixels = std::uint64_t{16} << 20;
constexpr std::uint64_t kSurelyRefusedPixels = std::uint64_t{8} << 30;

}  // namespace fuzzing
