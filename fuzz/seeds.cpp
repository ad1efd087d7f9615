// Seed inputs for the fuzz targets. Small images keep the fuzzers fast; between them they reach
// every header, bit count, compression, colour type and JPEG kind the readers handle.
#include "fuzz/seeds.h"

#include "app/startup/drop_block.h"
#include "base/file.h"
#include "settings/data_node.h"
#include "settings/file_compressed.h"
#include "tests/support/image_makers.h"

namespace fuzzing {
namespace {

using testimg::BmpHeader;
using testimg::BmpRecipe;
using testimg::JpegKind;
using testimg::JpegRecipe;
using testimg::Noise;
using testimg::PngRecipe;
using testimg::Rgba;

std::vector<Rgba> Palette(std::size_t n, Noise& noise) {
  std::vector<Rgba> palette(n);
  for (Rgba& c : palette) {
    c = Rgba{static_cast<uint8_t>(noise.Next()), static_cast<uint8_t>(noise.Next()),
             static_cast<uint8_t>(noise.Next()), 255};
  }
  return palette;
}

std::vector<uint32_t> Values(int width, int height, uint32_t limit, Noise& noise) {
  std::vector<uint32_t> values(static_cast<std::size_t>(width) * height);
  for (uint32_t& v : values) {
    v = limit == 0 ? noise.Next() : noise.Below(limit);
  }
  return values;
}

std::vector<Seed> BmpSeeds() {
  std::vector<Seed> seeds;
  Noise noise(11);
  const int w = 7;
  const int h = 5;
  for (uint16_t bits : {1, 2, 4, 8}) {
    BmpRecipe recipe;
    recipe.width = w;
    recipe.height = h;
    recipe.bitCount = bits;
    recipe.palette = Palette(std::size_t{1} << bits, noise);
    recipe.values = Values(w, h, 1u << bits, noise);
    seeds.push_back({"indexed-" + std::to_string(bits), testimg::MakeBmp(recipe)});
    recipe.topDown = true;
    seeds.push_back({"indexed-topdown-" + std::to_string(bits), testimg::MakeBmp(recipe)});
  }
  for (uint16_t bits : {16, 24, 32}) {
    BmpRecipe recipe;
    recipe.width = w;
    recipe.height = h;
    recipe.bitCount = bits;
    recipe.values = Values(w, h, bits == 16 ? 0x8000 : (bits == 24 ? 0x1000000 : 0), noise);
    seeds.push_back({"direct-" + std::to_string(bits), testimg::MakeBmp(recipe)});
  }
  {
    BmpRecipe recipe;  // 5-6-5 bit fields
    recipe.width = w;
    recipe.height = h;
    recipe.bitCount = 16;
    recipe.compression = 3;
    recipe.masks[0] = 0xF800;
    recipe.masks[1] = 0x07E0;
    recipe.masks[2] = 0x001F;
    recipe.writeMasks = true;
    recipe.values = Values(w, h, 0x10000, noise);
    seeds.push_back({"bitfields-565", testimg::MakeBmp(recipe)});
    recipe.header = BmpHeader::kV4_108;
    recipe.bitCount = 32;
    recipe.masks[0] = 0x00FF0000;
    recipe.masks[1] = 0x0000FF00;
    recipe.masks[2] = 0x000000FF;
    recipe.masks[3] = 0xFF000000;
    recipe.values = Values(w, h, 0, noise);
    seeds.push_back({"bitfields-v4-32", testimg::MakeBmp(recipe)});
  }
  for (int rle : {8, 4}) {
    BmpRecipe recipe;
    recipe.width = 9;
    recipe.height = 4;
    recipe.bitCount = static_cast<uint16_t>(rle);
    recipe.compression = rle == 8 ? 1 : 2;
    recipe.palette = Palette(std::size_t{1} << rle, noise);
    std::vector<uint32_t> values(36);
    for (std::size_t i = 0; i < values.size(); ++i) {
      values[i] = i < 18 ? 3 : noise.Below(1u << rle);  // runs and absolute stretches
    }
    recipe.data = rle == 8 ? testimg::EncodeRle8(9, 4, values) : testimg::EncodeRle4(9, 4, values);
    seeds.push_back({"rle" + std::to_string(rle), testimg::MakeBmp(recipe)});
  }
  {
    BmpRecipe recipe;  // OS/2 core header, 3-byte palette entries
    recipe.header = BmpHeader::kCore12;
    recipe.width = w;
    recipe.height = h;
    recipe.bitCount = 8;
    recipe.palette = Palette(256, noise);
    recipe.values = Values(w, h, 256, noise);
    seeds.push_back({"os2-core-8", testimg::MakeBmp(recipe)});
  }
  {
    BmpRecipe recipe;  // pixel data cut short
    recipe.width = w;
    recipe.height = h;
    recipe.bitCount = 24;
    recipe.values = Values(w, h, 0x1000000, noise);
    recipe.keepDataBytes = 30;
    seeds.push_back({"short-24", testimg::MakeBmp(recipe)});
  }
  {
    BmpRecipe recipe;  // V5 header with an embedded profile after the pixels
    recipe.header = BmpHeader::kV5_124;
    recipe.width = w;
    recipe.height = h;
    recipe.bitCount = 24;
    recipe.values = Values(w, h, 0x1000000, noise);
    recipe.colourSpace = 0x4D424544;  // "MBED"
    recipe.profile = testimg::MakeIccProfile("RGB ", 40, 3);
    seeds.push_back({"v5-profile-24", testimg::MakeBmp(recipe)});
  }
  return seeds;
}

std::vector<Seed> PngSeeds() {
  std::vector<Seed> seeds;
  Noise noise(23);
  struct Kind {
    int colorType;
    int depth;
  };
  const Kind kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                        {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  for (const Kind& kind : kinds) {
    for (bool interlace : {false, true}) {
      PngRecipe recipe;
      recipe.width = 6;
      recipe.height = 5;
      recipe.colorType = kind.colorType;
      recipe.bitDepth = kind.depth;
      recipe.interlace = interlace;
      const int channels = kind.colorType == 0 || kind.colorType == 3 ? 1
                           : kind.colorType == 4                      ? 2
                           : kind.colorType == 2                      ? 3
                                                                      : 4;
      const uint32_t limit = 1u << kind.depth;
      recipe.samples.resize(static_cast<std::size_t>(recipe.width) * recipe.height * channels);
      for (uint16_t& s : recipe.samples) {
        s = static_cast<uint16_t>(noise.Below(limit));
      }
      if (kind.colorType == 3) {
        recipe.palette = Palette(limit, noise);
      }
      std::string name = "type" + std::to_string(kind.colorType) + "-depth" +
                         std::to_string(kind.depth) + (interlace ? "-adam7" : "");
      seeds.push_back({name, testimg::MakePng(recipe)});
      if (!interlace && (kind.colorType == 0 || kind.colorType == 2)) {
        recipe.transparentColour = true;
        recipe.transparent[0] = static_cast<uint16_t>(recipe.samples[0]);
        seeds.push_back({name + "-trns", testimg::MakePng(recipe)});
      }
      if (!interlace && kind.colorType == 3) {
        recipe.paletteAlpha.assign(recipe.palette.size() / 2 + 1, 128);
        seeds.push_back({name + "-trns", testimg::MakePng(recipe)});
      }
      if (!interlace && kind.depth == 8 && kind.colorType != 4) {
        // The colour and size chunks the reader carries to the output.
        recipe.paletteAlpha.clear();
        recipe.transparentColour = false;
        const char* space = kind.colorType == 0 ? "GRAY" : "RGB ";
        recipe.extraChunks = {
            {"iCCP", testimg::IccpChunkData(testimg::MakeIccProfile(space, 40, 1))},
            {"gAMA", {0, 0, 0xB1, 0x8F}},
            {"pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1}}};
        seeds.push_back({name + "-colour-chunks", testimg::MakePng(recipe)});
      }
    }
  }
  return seeds;
}

std::vector<Seed> JpegSeeds() {
  std::vector<Seed> seeds;
  Noise noise(37);
  const std::pair<JpegKind, const char*> kinds[] = {{JpegKind::kGrey, "grey"},
                                                    {JpegKind::kColour, "colour"},
                                                    {JpegKind::kCmykAdobe, "cmyk-adobe"},
                                                    {JpegKind::kCmykPlain, "cmyk"},
                                                    {JpegKind::kYcck, "ycck"}};
  for (const auto& [kind, name] : kinds) {
    for (bool progressive : {false, true}) {
      JpegRecipe recipe;
      recipe.width = 17;
      recipe.height = 9;
      recipe.kind = kind;
      recipe.progressive = progressive;
      recipe.quality = 75;
      const int channels = kind == JpegKind::kGrey ? 1 : (kind == JpegKind::kColour ? 3 : 4);
      recipe.samples.resize(static_cast<std::size_t>(recipe.width) * recipe.height * channels);
      for (std::size_t i = 0; i < recipe.samples.size(); ++i) {
        recipe.samples[i] = static_cast<uint8_t>((i * 7) ^ noise.Below(32));
      }
      std::vector<uint8_t> bytes = testimg::MakeJpeg(recipe);
      if (!bytes.empty()) {
        seeds.push_back({std::string(name) + (progressive ? "-progressive" : ""), bytes});
      }
      // An ICC profile, a density and an EXIF orientation that turns the picture a quarter.
      recipe.iccProfile = testimg::MakeIccProfile(kind == JpegKind::kGrey ? "GRAY" : "RGB ", 40, 2);
      recipe.app1 = testimg::MakeExif(progressive ? 6 : 7, progressive);
      recipe.densityUnit = 1;
      recipe.density[0] = 300;
      recipe.density[1] = 200;
      bytes = testimg::MakeJpeg(recipe);
      if (!bytes.empty()) {
        seeds.push_back(
            {std::string(name) + (progressive ? "-progressive" : "") + "-exif-icc", bytes});
      }
    }
  }
  return seeds;
}

std::vector<uint8_t> Serialise(const kiv::DataNode& tree) {
  std::vector<uint8_t> bytes;
  kiv::File stream;
  stream.AttachVector(bytes);
  tree.Write(stream);
  return bytes;
}

// A settings file as the program writes it: the root's tag, then the compressed tree.
std::vector<uint8_t> SettingsFile(const kiv::DataNode& tree) {
  const std::vector<uint8_t> serialised = Serialise(tree);
  std::vector<uint8_t> file;
  kiv::File stream;
  stream.AttachVector(file);
  const int32_t tag = tree.type;
  stream.Write(4, &tag);  // little-endian hosts only, as the fuzzers run natively
  kiv::WriteCompressed(stream, serialised.data(), static_cast<uint32_t>(serialised.size()));
  return file;
}

std::vector<Seed> SettingsSeeds() {
  kiv::DataNode root(2);
  root.Child(L"TabControl").SetInt(L"Index", 1);
  kiv::DataNode& options = root.Child(L"PageOption");
  options.Child(L"Filter").SetString(L"Text", L"*.bmp|*.png|*.jpg|*.jpeg");
  options.Child(L"spConvertNum").SetInt(L"Pos", 8);
  options.Child(L"OutSrcDirectory").SetInt(L"Check", 1);
  options.Child(L"Output").SetString(L"Text", L"/tmp/出力\U0001F600");
  root.SetString(L"DefaultDirectory", L"/home/ユーザー");
  const uint8_t placement[44] = {44, 0, 0, 0, 1};
  root.SetBytes(L"WindowPlacement", kiv::DataNode::Bytes(placement, placement + 44));
  root.SetBytes(L"", {});

  kiv::DataNode small(2);
  small.SetInt(L"a", 7);

  std::vector<Seed> seeds;
  seeds.push_back({"settings-file", SettingsFile(root)});
  seeds.push_back({"small-file", SettingsFile(small)});
  seeds.push_back({"tree", Serialise(root)});
  seeds.push_back({"header-only", {2, 0, 0, 0}});
  return seeds;
}

std::vector<uint8_t> Utf16Bytes(const std::wstring& text) {
  std::vector<uint8_t> bytes;
  for (wchar_t wc : text) {
    uint32_t c = static_cast<uint32_t>(wc);
    auto put = [&bytes](uint32_t unit) {
      bytes.push_back(static_cast<uint8_t>(unit));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    };
    if (c > 0xFFFF) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
  return bytes;
}

const wchar_t* const kCommandLines[] = {
    L"C:\\images\\a.bmp",
    L"\"C:\\My Pictures\\b c.png\" D:\\x.jpg",
    L"   one   two  ",
    L"ab\"c d",
    L"\"quoted\"next",
    L"first \"unterminated",
    L"\"\" after-empty",
    L"tab\there",
    L"/home/ユーザー/写真 \"/tmp/\U0001F600 folder\"",
};

std::vector<Seed> CommandLineSeeds() {
  std::vector<Seed> seeds;
  int i = 0;
  for (const wchar_t* line : kCommandLines) {
    seeds.push_back({"line-" + std::to_string(i++), Utf16Bytes(line)});
  }
  return seeds;
}

std::vector<Seed> DropBlockSeeds() {
  std::vector<Seed> seeds;
  seeds.push_back({"one", morvane::PackDropBlock({L"C:\\a.bmp"})});
  seeds.push_back({"three", morvane::PackDropBlock({L"abc", L"defgh", L"ijklmno"})});
  seeds.push_back(
      {"japanese", morvane::PackDropBlock({L"C:\\写真\\猫.png", L"C:\\\U0001F600\\x.jpg"})});
  return seeds;
}

void Append(std::vector<Seed>& to, std::vector<Seed> more, const std::string& prefix) {
  for (Seed& seed : more) {
    seed.name = prefix + seed.name;
    to.push_back(std::move(seed));
  }
}

// One small image of each layout for the writer's target (see PngWriteTarget): interlaced or
// not, levels, both compressors, pieces and the colour reduction spread over them, noise and flat
// pixels.
std::vector<Seed> PngWriteSeeds() {
  std::vector<Seed> seeds;
  for (std::uint8_t layout = 0; layout < 7; ++layout) {
    for (std::uint8_t variant = 0; variant < 4; ++variant) {
      std::vector<std::uint8_t> bytes = {layout,
                                         static_cast<std::uint8_t>(variant * 13 + layout),
                                         0,
                                         static_cast<std::uint8_t>(20 + 7 * variant),
                                         0,
                                         static_cast<std::uint8_t>(9 + variant),
                                         static_cast<std::uint8_t>(variant * 50),
                                         static_cast<std::uint8_t>(variant == 3 ? 0x80 + 'p' : 0),
                                         static_cast<std::uint8_t>(variant | layout << 2)};
      for (int i = 0; i < 200; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(variant % 2 == 0 ? i * 37 + (i >> 3) : i / 16));
      }
      seeds.push_back(Seed{"layout" + std::to_string(layout) + "-" + std::to_string(variant),
                           std::move(bytes)});
    }
  }
  return seeds;
}

}  // namespace

std::vector<Seed> MakeSeeds(const std::string& target) {
  if (target == "bmp") {
    return BmpSeeds();
  }
  if (target == "png") {
    return PngSeeds();
  }
  if (target == "jpeg") {
    return JpegSeeds();
  }
  if (target == "load_save") {
    std::vector<Seed> all;
    Append(all, BmpSeeds(), "bmp-");
    Append(all, PngSeeds(), "png-");
    Append(all, JpegSeeds(), "jpeg-");
    for (const char* kind : {"webp", "gif", "tiff", "heif"}) {
      Append(all, FormatSeeds(kind), std::string(kind) + "-");
    }
    return all;
  }
  if (target == "png_write") {
    return PngWriteSeeds();
  }
  if (target == "settings") {
    return SettingsSeeds();
  }
  if (target == "command_line") {
    return CommandLineSeeds();
  }
  if (target == "drop_block") {
    return DropBlockSeeds();
  }
  return FormatSeeds(target);
}

}  // namespace fuzzing
