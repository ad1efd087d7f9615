// Helpers shared by the hardening tests: source images, whole-folder listings that include
// hidden temporaries, and a scheduler run over the in-memory list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/convert_manager.h"
#include "engine/file_list.h"
#include "engine/memory_host.h"
#include "engine/memory_options.h"

namespace hardening {

// A 24-bit BMP of `width` x `height` pixels of noise (so that its PNG spans many bytes).
std::vector<std::uint8_t> NoiseBmp(int width, int height, std::uint32_t seed);

// The same picture as an 8-bit RGB PNG.
std::vector<std::uint8_t> NoisePng(int width, int height, std::uint32_t seed);

// Every name in `folder`, hidden ones included, sorted; empty when the folder is missing.
std::vector<std::wstring> AllNames(const std::wstring& folder);

// Whether the bytes decode as a complete PNG with the reference decoder.
bool IsCompletePng(const std::vector<std::uint8_t>& bytes);

// True when the process may write where permissions say it may not (the super-user).
bool IgnoresPermissions();

// A scheduler run with the real conversion over the in-memory list, options and window. Options
// start at their defaults, except that AutoDeleteItem is off.
class Run {
 public:
  Run();
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Registers `paths` (their output paths are fixed now, from the options); the caller may then
  // change the disk before Convert.
  void Register(const std::vector<std::wstring>& paths);
  // Starts the run and waits until it has ended; false when it did not end in time.
  bool Convert();
  // The state text of the row whose source is `source`, or "(no row)" once the row was removed.
  std::wstring StateOf(const std::wstring& source);

  MemoryFileList list;
  MemoryOptionSet options;
  MemoryWindow window;

 private:
  std::unique_ptr<ConvertManager> manager_;
};

}  // namespace hardening
