// Bitmap's PNG writer, through libpng.
//
// Output by bit count: 1, 2, 4 and 8 bits become palette PNGs of that depth; 16 (5-5-5) becomes
// 8-bit RGB, expanded a row at a time; 24 becomes RGB; 32 becomes RGB with alpha, the alpha
// written as stored. The file holds IHDR, PLTE (when the image has a palette: the palette of an
// indexed image, or a suggested palette of a direct-colour one), IDAT and IEND, and the image's
// ancillary chunks right after IHDR.
//
// The palette of an indexed image is fitted to its depth: entries the depth cannot address are
// dropped, and a palette shorter than the largest index used is padded with black (the colour
// CopyRect gives such indices), so that every index in the PNG is valid.
//
// Rows go to libpng one at a time straight from the pixel store; output bytes are gathered in a
// buffer and handed to the stream in large writes, every one checked.
//
// libpng reports errors by longjmp. Everything that can jump lives in EncodePngRows, which holds
// no object with a destructor; the structures (a PngStructs), the palette and the scratch row
// are owned by the caller's frame.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "base/file.h"
#include "base/path.h"
#include "base/replacing_file.h"
#include "engine/bitmap.h"
#include "engine/pixels.h"
#include "engine/png_structs.h"

namespace {

constexpr size_t kOutputBufferBytes = 256 * 1024;
constexpr size_t kIdatChunkBytes = 64 * 1024;

// Collects libpng's output and writes it to the stream in large pieces.
class OutputBuffer {
 public:
  explicit OutputBuffer(kiv::File& stream) : stream_(stream) {
    buffer_.reserve(kOutputBufferBytes);
  }

  bool Append(const uint8_t* data, size_t length) {
    if (buffer_.size() + length > kOutputBufferBytes && !Drain()) {
      return false;
    }
    if (length >= kOutputBufferBytes) {
      return WriteAll(data, length);
    }
    buffer_.insert(buffer_.end(), data, data + length);
    return true;
  }

  bool Drain() {
    const bool ok = WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }

 private:
  bool WriteAll(const uint8_t* data, size_t length) {
    while (length > 0) {
      const auto piece = static_cast<uint32_t>(std::min<size_t>(length, size_t{1} << 30));
      if (stream_.Write(piece, data) != piece) {
        return false;
      }
      data += piece;
      length -= piece;
    }
    return true;
  }

  kiv::File& stream_;
  std::vector<uint8_t> buffer_;
};

void WriteToBuffer(png_structp png, png_bytep data, size_t length) {
  auto* output = static_cast<OutputBuffer*>(png_get_io_ptr(png));
  if (!output->Append(data, length)) {
    png_error(png, "write failed");
  }
}

// The file is flushed once, when it is complete, by whoever owns it.
void NoFlush(png_structp) {}

// What the PNG will be, worked out before libpng is called.
struct Layout {
  int depth = 0;
  int colorType = 0;
  bool expand555 = false;
};

bool ChooseLayout(uint32_t bitCount, Layout& layout) {
  switch (bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
      layout.depth = static_cast<int>(bitCount);
      layout.colorType = PNG_COLOR_TYPE_PALETTE;
      return true;
    case 16:
      layout.depth = 8;
      layout.colorType = PNG_COLOR_TYPE_RGB;
      layout.expand555 = true;
      return true;
    case 24:
      layout.depth = 8;
      layout.colorType = PNG_COLOR_TYPE_RGB;
      return true;
    case 32:
      layout.depth = 8;
      layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
      return true;
    default:
      return false;
  }
}

// The largest palette index any pixel of an indexed image uses.
unsigned LargestIndex(const Bitmap& image) {
  const uint32_t bits = image.BitCount();
  const unsigned mask = (1u << bits) - 1;
  const auto width = static_cast<uint64_t>(image.Width());
  unsigned largest = 0;
  for (int32_t y = 0; y < image.Height() && largest < mask; ++y) {
    const uint8_t* row = image.Row(y);
    for (uint64_t x = 0; x < width; ++x) {
      largest = std::max(largest, pixels::IndexAt(row, x, bits));
    }
  }
  return largest;
}

std::vector<png_color> BuildPalette(const Bitmap& image, const Layout& layout) {
  const auto& palette = image.Palette();
  size_t count = palette.size();
  if (layout.colorType == PNG_COLOR_TYPE_PALETTE) {
    const size_t addressable = size_t{1} << layout.depth;
    count = std::min(count, addressable);
    if (count < addressable) {
      count = std::max<size_t>(count, LargestIndex(image) + 1);
    }
  } else if (count > PNG_MAX_PALETTE_LENGTH) {
    count = 0;  // too long to suggest
  }
  std::vector<png_color> colors(count, png_color{0, 0, 0});
  for (size_t i = 0; i < count && i < palette.size(); ++i) {
    colors[i] = png_color{palette[i].red, palette[i].green, palette[i].blue};
  }
  return colors;
}

void Expand555Row(const uint8_t* in, uint8_t* out, int32_t width) {
  for (int32_t x = 0; x < width; ++x, in += 2, out += 3) {
    pixels::Expand555(in, out);
  }
}

// Runs libpng over the image. Every libpng error lands at the setjmp below and returns false;
// no local here has a destructor.
bool EncodePngRows(png_structp png, png_infop info, const Bitmap& image, const Layout& layout,
                   const std::vector<png_color>& palette, std::vector<uint8_t>& scratch,
                   int32_t level, bool interlace) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  // Every size a Bitmap can hold is a valid PNG; libpng's default limits are lower.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_compression_buffer_size(png, kIdatChunkBytes);
  if (level >= 0) {
    png_set_compression_level(png, std::min(level, 9));
  }
  if (level == 0 || layout.colorType == PNG_COLOR_TYPE_PALETTE) {
    // Stored data gains nothing from filtering; indexed pixels are not numbers to predict.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  } else {
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  }
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()),
               static_cast<png_uint_32>(image.Height()), layout.depth, layout.colorType,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) {
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  png_write_info_before_PLTE(png, info);
  for (const PngChunk& chunk : image.Ancillary()) {
    png_write_chunk(png, reinterpret_cast<png_const_bytep>(chunk.type.data()), chunk.data.data(),
                    chunk.data.size());
  }
  png_write_info(png, info);
  if (layout.colorType != PNG_COLOR_TYPE_PALETTE) {
    png_set_bgr(png);
  }
  const int passes = png_set_interlace_handling(png);
  const int32_t height = image.Height();
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t y = 0; y < height; ++y) {
      // Picture row y (top first) is stored row height - 1 - y.
      const uint8_t* row = image.Row(height - 1 - y);
      if (layout.expand555) {
        Expand555Row(row, scratch.data(), image.Width());
        row = scratch.data();
      }
      png_write_row(png, const_cast<png_bytep>(row));
    }
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool Bitmap::WritePng(kiv::File& stream, int32_t level, bool interlace) const {
  try {
    return WritePngTo(stream, level, interlace);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Bitmap::WritePngTo(kiv::File& stream, int32_t level, bool interlace) const {
  Layout layout;
  if (Empty() || !ChooseLayout(bitCount_, layout)) {
    return false;
  }
  const std::vector<png_color> palette = BuildPalette(*this, layout);
  std::vector<uint8_t> scratch(layout.expand555 ? static_cast<size_t>(width_) * 3 : 0);
  OutputBuffer output(stream);

  PngStructs structs(PngStructs::Kind::kWrite);
  if (!structs.ok()) {
    return false;
  }
  png_set_write_fn(structs.png(), &output, WriteToBuffer, NoFlush);
  return EncodePngRows(structs.png(), structs.info(), *this, layout, palette, scratch, level,
                       interlace) &&
         output.Drain();
}

bool Bitmap::EncodePng(std::vector<uint8_t>& out, int32_t level, bool interlace) const {
  out.clear();
  kiv::File stream;
  stream.AttachVector(out);
  const bool ok = WritePng(stream, level, interlace);
  stream.Close();
  if (!ok) {
    out.clear();
  }
  return ok;
}

Bitmap::SaveResult Bitmap::SavePng(const std::wstring& path, int32_t level, bool interlace,
                                   SaveMode mode) const {
  Layout layout;
  if (Empty() || !ChooseLayout(bitCount_, layout)) {
    return SaveResult::kFailed;  // nothing to write: the file system is not touched
  }
  if (mode == SaveMode::kCreateNew && kiv::FileExists(path)) {
    return SaveResult::kTargetExists;
  }
  try {
    kiv::ReplacingFile file(path);
    if (!file.IsOpen() || !WritePng(file.stream(), level, interlace)) {
      return SaveResult::kFailed;  // the temporary goes with `file`
    }
    if (mode == SaveMode::kReplace) {
      // Force mode replaces a read-only output like any other file.
      return file.Commit(kiv::ReplacingFile::ReadOnlyTarget::kReplace) ? SaveResult::kSaved
                                                                       : SaveResult::kFailed;
    }
    switch (file.CommitExclusive()) {
      case kiv::ReplacingFile::Result::kDone:
        return SaveResult::kSaved;
      case kiv::ReplacingFile::Result::kExists:
        return SaveResult::kTargetExists;
      case kiv::ReplacingFile::Result::kFailed:
        break;
    }
    return SaveResult::kFailed;
  } catch (const std::bad_alloc&) {
    return SaveResult::kFailed;
  }
}

bool Bitmap::SavePng(const std::wstring& path, int32_t level, bool interlace) const {
  return SavePng(path, level, interlace, SaveMode::kReplace) == SaveResult::kSaved;
}
