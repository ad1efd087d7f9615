// The checks the fuzz targets make on what the parsers return: a failed check ends the process
// with a message on stderr (abort), which libFuzzer and the regression test report as a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzing {

[[noreturn]] inline void Fail(const char* target, const char* what) {
  std::fprintf(stderr, "fuzz target %s: check failed: %s\n", target, what);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(target, condition) \
  do {                                \
    if (!(condition)) {               \
      Fail(target, #condition);       \
    }                                 \
  } while (false)

inline bool StartsWith(const std::uint8_t* data, std::size_t size, const char* prefix,
                       std::size_t n) {
  return size >= n && std::memcmp(data, prefix, n) == 0;
}

}  // namespace fuzzing
