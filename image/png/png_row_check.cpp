// The read-back's row comparison: inflate once, filter the Bitmap's rows the way the file says,
// compare.
#include "image/png/png_row_check.h"

#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <new>

#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/png/png_encode.h"
#include "image/png/png_filter.h"
#include "image/png/png_scanlines.h"

namespace {

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

bool Is(const PngChunk& chunk, const char* type) {
  return std::memcmp(chunk.type.data(), type, 4) == 0;
}

const std::vector<uint8_t> kNone;

// True when the file's header and palette say what the writer writes for `image` without
// reducing it: the layout's depth and colour type, and for a palette exactly the image's PLTE
// and tRNS; no tRNS for direct colour.
bool KindIsLayout(const PngImageKind& kind, const Bitmap& image, const PngLayout& layout) {
  const std::vector<uint8_t>& header = *kind.header;
  const std::vector<uint8_t>& palette = kind.palette != nullptr ? *kind.palette : kNone;
  const std::vector<uint8_t>& transparency =
      kind.transparency != nullptr ? *kind.transparency : kNone;
  if (header.size() != 13 || header[8] != layout.depth || header[9] != layout.colorType ||
      header[12] > 1) {
    return false;
  }
  if (layout.colorType != PngLayout::kPalette) {
    return transparency.empty();
  }
  const std::vector<uint8_t> own = PaletteData(image, layout);
  return palette == own && transparency == TransparencyData(image, layout, own.size() / 3);
}

}  // namespace

PngRowCheck CheckImageRows(const PngImageKind& kind, const std::vector<uint8_t>& data,
                           const Bitmap& image) {
  PngLayout layout;
  if (kind.header == nullptr || image.Empty() || image.Width() <= 0 || image.Height() <= 0 ||
      !ChoosePngLayout(image, layout) || !KindIsLayout(kind, image, layout)) {
    return PngRowCheck::kNotChecked;
  }
  const bool interlace = (*kind.header)[12] == 1;
  PngScanlines scanlines(image, layout, interlace);
  std::vector<uint8_t> filtered(static_cast<size_t>(scanlines.FilteredBytes()));
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) {
    throw std::bad_alloc();
  }
  size_t used = 0;
  // The exact size is asked for: a stream that inflates to more or fewer bytes, or has bytes
  // after its end, is not these rows.
  if (libdeflate_zlib_decompress_ex(decompressor.get(), data.data(), data.size(), filtered.data(),
                                    filtered.size(), &used, nullptr) != LIBDEFLATE_SUCCESS ||
      used != data.size()) {
    return PngRowCheck::kDiffer;
  }

  // Palette indices are written unfiltered, but a file may filter them all the same.
  PngRowFilter filter(PngRowFilter::Mode::kAdaptive, scanlines.MaxRowBytes(),
                      layout.FilterDistance());
  std::vector<uint8_t> expected(scanlines.MaxRowBytes() + 1);
  const uint8_t* stored = filtered.data();
  for (int pass = 0; pass < scanlines.Passes(); ++pass) {
    const uint32_t width = scanlines.PassWidth(pass);
    const uint32_t height = scanlines.PassHeight(pass);
    if (width == 0 || height == 0) {
      continue;  // an empty pass has no rows, not even filter-type bytes
    }
    const auto rowBytes = static_cast<size_t>(layout.RowBytes(width));
    filter.StartPass();
    for (uint32_t y = 0; y < height; ++y, stored += rowBytes + 1) {
      const uint8_t type = stored[0];
      if (type > static_cast<uint8_t>(PngRowFilter::Mode::kPaeth)) {
        return PngRowCheck::kDiffer;
      }
      scanlines.Row(pass, y, filter.Raw());
      filter.FilterAs(static_cast<PngRowFilter::Mode>(type), rowBytes, expected.data());
      if (std::memcmp(expected.data(), stored, rowBytes + 1) != 0) {
        return PngRowCheck::kDiffer;
      }
    }
  }
  return PngRowCheck::kSame;
}

PngRowCheck CheckPngRows(const std::vector<PngChunk>& chunks, const Bitmap& image) {
  if (chunks.empty() || !Is(chunks.front(), "IHDR") || chunks.front().data.size() != 13) {
    return PngRowCheck::kNotChecked;
  }
  const std::vector<uint8_t>& header = chunks.front().data;
  if (Be32(header.data()) != static_cast<uint32_t>(image.Width()) ||
      Be32(header.data() + 4) != static_cast<uint32_t>(image.Height())) {
    return PngRowCheck::kNotChecked;
  }
  PngImageKind kind;
  kind.header = &header;
  size_t compressed = 0;
  for (const PngChunk& chunk : chunks) {
    if (Is(chunk, "acTL")) {
      return PngRowCheck::kNotChecked;  // frames: compared frame by frame elsewhere
    }
    if (Is(chunk, "PLTE")) {
      kind.palette = &chunk.data;
    } else if (Is(chunk, "tRNS")) {
      kind.transparency = &chunk.data;
    } else if (Is(chunk, "IDAT")) {
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
  return CheckImageRows(kind, stream, image);
}
