// The read-back's row comparison of a still PNG: inflate once, filter the Bitmap's rows the way
// the file says, compare.
#include "image/png/png_row_check.h"

#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <new>

#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/png/png_filter.h"
#include "image/png/png_scanlines.h"

namespace {

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

bool Is(const PngChunk& chunk, const char* type) {
  return std::memcmp(chunk.type.data(), type, 4) == 0;
}

// True when the header says what the writer writes for `image` without reducing it: its size,
// the layout's depth and colour type, no interlacing.
bool HeaderIsLayout(const PngChunk& ihdr, const Bitmap& image, const PngLayout& layout) {
  if (!Is(ihdr, "IHDR") || ihdr.data.size() != 13) {
    return false;
  }
  const uint8_t* d = ihdr.data.data();
  return Be32(d) == static_cast<uint32_t>(image.Width()) &&
         Be32(d + 4) == static_cast<uint32_t>(image.Height()) && d[8] == layout.depth &&
         d[9] == layout.colorType && d[12] == 0;
}

}  // namespace

PngRowCheck CheckPngRows(const std::vector<PngChunk>& chunks, const Bitmap& image) {
  PngLayout layout;
  if (chunks.empty() || image.Empty() || image.Width() <= 0 || image.Height() <= 0 ||
      !ChoosePngLayout(image, layout) || layout.colorType == PngLayout::kPalette ||
      !HeaderIsLayout(chunks.front(), image, layout)) {
    return PngRowCheck::kNotChecked;
  }
  size_t compressed = 0;
  for (const PngChunk& chunk : chunks) {
    if (Is(chunk, "tRNS") || Is(chunk, "acTL")) {
      return PngRowCheck::kNotChecked;  // transparency or frames: the whole decode compares them
    }
    if (Is(chunk, "IDAT")) {
      compressed += chunk.data.size();
    }
  }
  // The IDAT chunks of a valid PNG follow one another; their data is one zlib stream.
  std::vector<uint8_t> stream;
  stream.reserve(compressed);
  for (const PngChunk& chunk : chunks) {
    if (Is(chunk, "IDAT")) {
      stream.insert(stream.end(), chunk.data.begin(), chunk.data.end());
    }
  }

  PngScanlines scanlines(image, layout, false);
  const uint64_t filteredBytes = scanlines.FilteredBytes();
  const auto rowBytes = static_cast<size_t>(layout.RowBytes(static_cast<uint64_t>(image.Width())));
  std::vector<uint8_t> filtered(static_cast<size_t>(filteredBytes));
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) {
    throw std::bad_alloc();
  }
  size_t used = 0;
  // The exact size is asked for: a stream that inflates to more or fewer bytes, or has bytes
  // after its end, is not these rows.
  if (libdeflate_zlib_decompress_ex(decompressor.get(), stream.data(), stream.size(),
                                    filtered.data(), filtered.size(), &used,
                                    nullptr) != LIBDEFLATE_SUCCESS ||
      used != stream.size()) {
    return PngRowCheck::kDiffer;
  }
  stream = std::vector<uint8_t>();

  PngRowFilter filter(PngRowFilter::Mode::kAdaptive, rowBytes, layout.FilterDistance());
  filter.StartPass();
  std::vector<uint8_t> expected(rowBytes + 1);
  const uint8_t* stored = filtered.data();
  for (uint32_t y = 0; y < static_cast<uint32_t>(image.Height()); ++y, stored += rowBytes + 1) {
    const uint8_t type = stored[0];
    if (type > static_cast<uint8_t>(PngRowFilter::Mode::kPaeth)) {
      return PngRowCheck::kDiffer;
    }
    scanlines.Row(0, y, filter.Raw());
    filter.FilterAs(static_cast<PngRowFilter::Mode>(type), rowBytes, expected.data());
    if (std::memcmp(expected.data(), stored, rowBytes + 1) != 0) {
      return PngRowCheck::kDiffer;
    }
  }
  return PngRowCheck::kSame;
}
