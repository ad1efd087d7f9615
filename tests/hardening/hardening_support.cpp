// Helpers shared by the hardening tests.
#include "tests/hardening/hardening_support.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "base/unicode.h"
#include "tests/support/image_makers.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace hardening {

namespace fs = std::filesystem;

namespace {

fs::path NativePath(const std::wstring& path) {
#ifdef _WIN32
  return fs::path(path);
#else
  return fs::path(kiv::WideToUtf8(path));
#endif
}

std::wstring WideName(const fs::path& path) {
#ifdef _WIN32
  return path.filename().wstring();
#else
  return kiv::Utf8ToWide(path.filename().string());
#endif
}

}  // namespace

std::vector<std::uint8_t> NoiseBmp(int width, int height, std::uint32_t seed) {
  testimg::Noise noise(seed);
  testimg::BmpRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.bitCount = 24;
  recipe.values.resize(static_cast<std::size_t>(width) * height);
  for (std::uint32_t& v : recipe.values) {
    v = noise.Next() & 0xFFFFFF;
  }
  return testimg::MakeBmp(recipe);
}

std::vector<std::uint8_t> NoisePng(int width, int height, std::uint32_t seed) {
  testimg::Noise noise(seed);
  testimg::PngRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.colorType = 2;
  recipe.samples.resize(static_cast<std::size_t>(width) * height * 3);
  for (std::uint16_t& s : recipe.samples) {
    s = static_cast<std::uint16_t>(noise.Below(256));
  }
  return testimg::MakePng(recipe);
}

std::vector<std::wstring> AllNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  std::error_code error;
  for (fs::directory_iterator it(NativePath(folder), error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(WideName(it->path()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsCompletePng(const std::vector<std::uint8_t>& bytes) {
  return testimg::DecodePng(bytes).ok;
}

bool IgnoresPermissions() {
#ifdef _WIN32
  return false;
#else
  return geteuid() == 0;
#endif
}

Run::Run() : manager_(std::make_unique<ConvertManager>(EngineHost{list, options, window})) {
  // Rows stay in the list so that every file's state can be read after the run.
  options.SetOn(Option::kAutoDeleteItem, false);
}

Run::~Run() = default;

void Run::Register(const std::vector<std::wstring>& paths) {
  for (const std::wstring& path : paths) {
    manager_->AddFile(path);  // registered at once while no run is active
  }
}

bool Run::Convert() {
  manager_->StartConvert();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline) {
    if (manager_->WaitUntilIdle(50) && !manager_->IsRunning()) {
      return true;
    }
  }
  return false;
}

std::wstring Run::StateOf(const std::wstring& source) {
  for (const auto& row : list.Rows()) {
    if (row.sourcePath == source) {
      return row.stateText;
    }
  }
  return L"(no row)";
}

}  // namespace hardening
