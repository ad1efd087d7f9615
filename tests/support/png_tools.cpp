// Test support: PNG files of every colour type and depth made with libpng, and the reference
// decoder for the PNG files the engine writes.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "tests/support/image_makers.h"

namespace testimg {
namespace {

void JumpOnError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void IgnoreWarning(png_structp, png_const_charp) {}

void AppendToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

struct MemoryInput {
  const std::vector<uint8_t>* bytes;
  size_t position;
};

void ReadFromMemory(png_structp png, png_bytep data, size_t length) {
  auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (in->bytes->size() - in->position < length) {
    png_error(png, "end of data");
  }
  std::memcpy(data, in->bytes->data() + in->position, length);
  in->position += length;
}

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

// Packs the samples of `recipe` into rows as the PNG stores them (big-endian 16-bit samples,
// sub-byte samples from the most significant bit).
std::vector<std::vector<uint8_t>> PackRows(const PngRecipe& recipe) {
  const int channels = Channels(recipe.colorType);
  const size_t rowBytes = (static_cast<size_t>(recipe.width) * channels * recipe.bitDepth + 7) / 8;
  std::vector<std::vector<uint8_t>> rows(recipe.height, std::vector<uint8_t>(rowBytes, 0));
  for (int y = 0; y < recipe.height; ++y) {
    for (int i = 0; i < recipe.width * channels; ++i) {
      const uint16_t v = recipe.samples.at(static_cast<size_t>(y) * recipe.width * channels + i);
      uint8_t* row = rows[y].data();
      if (recipe.bitDepth == 16) {
        row[2 * i] = static_cast<uint8_t>(v >> 8);
        row[2 * i + 1] = static_cast<uint8_t>(v);
      } else if (recipe.bitDepth == 8) {
        row[i] = static_cast<uint8_t>(v);
      } else {
        const size_t bit = static_cast<size_t>(i) * recipe.bitDepth;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - recipe.bitDepth - bit % 8));
      }
    }
  }
  return rows;
}

bool WritePng(png_structp png, png_infop info, const PngRecipe& recipe,
              std::vector<std::vector<uint8_t>>& rows, std::vector<png_color>& palette,
              std::vector<uint8_t>& out) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_set_write_fn(png, &out, AppendToVector, NoFlush);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, static_cast<png_uint_32>(recipe.width),
               static_cast<png_uint_32>(recipe.height), recipe.bitDepth, recipe.colorType,
               recipe.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) {
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  if (!recipe.paletteAlpha.empty()) {
    png_set_tRNS(png, info, recipe.paletteAlpha.data(),
                 static_cast<int>(recipe.paletteAlpha.size()), nullptr);
  } else if (recipe.transparentColour) {
    png_color_16 colour{};
    colour.gray = recipe.transparent[0];
    colour.red = recipe.transparent[0];
    colour.green = recipe.transparent[1];
    colour.blue = recipe.transparent[2];
    png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  png_write_info_before_PLTE(png, info);
  for (const auto& [type, data] : recipe.extraChunks) {
    png_write_chunk(png, reinterpret_cast<png_const_bytep>(type.data()), data.data(), data.size());
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (auto& row : rows) {
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, nullptr);
  return true;
}

bool ReadPng(png_structp png, png_infop info, MemoryInput& input, DecodedPng& result) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_set_read_fn(png, &input, ReadFromMemory);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(png, info);
  png_get_IHDR(png, info, &result.width, &result.height, &result.bitDepth, &result.colorType,
               &result.interlace, nullptr, nullptr);
  png_charp name = nullptr;
  int method = 0;
  png_bytep profile = nullptr;
  png_uint_32 profileBytes = 0;
  if (png_get_iCCP(png, info, &name, &method, &profile, &profileBytes) != 0) {
    result.iccProfile.assign(profile, profile + profileBytes);
  }
  png_colorp colours = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &colours, &count) != 0) {
    for (int i = 0; i < count; ++i) {
      result.palette.push_back(Rgba{colours[i].red, colours[i].green, colours[i].blue, 255});
    }
  }
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  result.picture = Picture(static_cast<int>(result.width), static_cast<int>(result.height));
  for (int pass = 0; pass < passes; ++pass) {
    for (uint32_t y = 0; y < result.height; ++y) {
      png_read_row(png, reinterpret_cast<png_bytep>(&result.picture.at(0, static_cast<int>(y))),
                   nullptr);
    }
  }
  png_read_end(png, nullptr);
  return true;
}

// The samples as stored, each row unpacked and 16-bit samples joined; no transformation.
bool ReadSamples(png_structp png, png_infop info, MemoryInput& input, std::vector<uint16_t>& out) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_set_read_fn(png, &input, ReadFromMemory);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int channels = Channels(png_get_color_type(png, info));
  if (depth < 8) {
    png_set_packing(png);  // one byte per sample
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<uint8_t> pixels(rowBytes * height);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, pixels.data() + rowBytes * y, nullptr);
    }
  }
  png_read_end(png, nullptr);
  const size_t perRow = static_cast<size_t>(width) * channels;
  for (png_uint_32 y = 0; y < height; ++y) {
    const uint8_t* row = pixels.data() + rowBytes * y;
    for (size_t i = 0; i < perRow; ++i) {
      out.push_back(depth == 16 ? static_cast<uint16_t>(row[2 * i] << 8 | row[2 * i + 1]) : row[i]);
    }
  }
  return true;
}

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

}  // namespace

std::vector<uint8_t> MakePng(const PngRecipe& recipe) {
  std::vector<std::vector<uint8_t>> rows = PackRows(recipe);
  std::vector<png_color> palette;
  for (const Rgba& c : recipe.palette) {
    palette.push_back(png_color{c.r, c.g, c.b});
  }
  std::vector<uint8_t> out;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  const bool ok = WritePng(png, info, recipe, rows, palette, out);
  png_destroy_write_struct(&png, &info);
  if (!ok) {
    out.clear();
  }
  return out;
}

DecodedPng DecodePng(const std::vector<uint8_t>& bytes) {
  DecodedPng result;
  // The chunk list, walked by hand so that nothing libpng skips is missed.
  if (bytes.size() >= 8) {
    size_t at = 8;
    while (at + 12 <= bytes.size()) {
      const uint32_t length = Be32(&bytes[at]);
      if (length > bytes.size() - at - 12) {
        break;
      }
      const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
      result.chunks.push_back(type);
      result.chunkData.emplace_back(bytes.begin() + static_cast<long>(at) + 8,
                                    bytes.begin() + static_cast<long>(at) + 8 + length);
      if (type == "IDAT") {
        result.idat.insert(result.idat.end(), bytes.begin() + static_cast<long>(at) + 8,
                           bytes.begin() + static_cast<long>(at) + 8 + length);
      }
      at += 12 + length;
    }
  }
  MemoryInput input{&bytes, 0};
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  result.ok = ReadPng(png, info, input, result);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

std::vector<uint16_t> PngSamples(const std::vector<uint8_t>& bytes) {
  std::vector<uint16_t> samples;
  MemoryInput input{&bytes, 0};
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  if (!ReadSamples(png, info, input, samples)) {
    samples.clear();
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return samples;
}

bool AllStoredBlocks(const std::vector<uint8_t>& zlibStream) {
  // Two bytes of zlib header; then stored blocks: a header byte (final flag, type 00), LEN,
  // NLEN and LEN bytes; then the four-byte Adler-32.
  size_t at = 2;
  while (at + 5 <= zlibStream.size()) {
    const uint8_t header = zlibStream[at];
    if (((header >> 1) & 3) != 0) {
      return false;
    }
    const unsigned length = zlibStream[at + 1] | (zlibStream[at + 2] << 8);
    const unsigned inverse = zlibStream[at + 3] | (zlibStream[at + 4] << 8);
    if ((length ^ 0xFFFFu) != inverse) {
      return false;
    }
    at += 5 + length;
    if ((header & 1) != 0) {
      return at + 4 == zlibStream.size();
    }
  }
  return false;
}

void BreakChunkCrc(std::vector<uint8_t>& png, const std::string& type) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = Be32(&png[at]);
    if (length > png.size() - at - 12) {
      return;
    }
    if (std::memcmp(&png[at + 4], type.data(), 4) == 0) {
      png[at + 8 + length] ^= 0x5A;
    }
    at += 12 + length;
  }
}

}  // namespace testimg
