// The row filter trial over bands of rows.
#include "image/png/png_filter_choice.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>
#include <vector>

#include "image/png/png_pieces.h"
#include "image/png/png_scanlines.h"

namespace {

constexpr int kBands = 8;
constexpr uint64_t kBandBytes = 32 * 1024;  // filtered, at least one row
constexpr int kTrialLevel = 3;              // libdeflate's

struct Band {
  int pass = 0;
  uint32_t row = 0;
  uint32_t rows = 0;
};

uint64_t TotalRows(const PngScanlines& rows) {
  uint64_t total = 0;
  for (int pass = 0; pass < rows.Passes(); ++pass) {
    total += rows.PassHeight(pass);
  }
  return total;
}

// Up to kBands bands, each starting at an even share of the image's rows.
std::vector<Band> SampleBands(const PngScanlines& rows) {
  const uint64_t total = TotalRows(rows);
  std::vector<Band> bands;
  uint64_t lastStart = UINT64_MAX;
  for (int b = 0; b < kBands; ++b) {
    const uint64_t start = total * static_cast<uint64_t>(b) / kBands;
    if (start == lastStart || start >= total) {
      continue;
    }
    lastStart = start;
    Band band;
    uint64_t skip = start;
    for (int pass = 0; pass < rows.Passes(); ++pass) {
      const uint32_t height = rows.PassHeight(pass);
      if (skip < height) {
        band.pass = pass;
        band.row = static_cast<uint32_t>(skip);
        const uint64_t rowBytes = rows.layout().RowBytes(rows.PassWidth(pass)) + 1;
        const uint64_t wanted = std::max<uint64_t>(1, kBandBytes / rowBytes);
        band.rows = static_cast<uint32_t>(std::min<uint64_t>(wanted, height - skip));
        break;
      }
      skip -= height;
    }
    bands.push_back(band);
  }
  return bands;
}

// The compressed size of the bands filtered in `mode`.
size_t SampleSize(const PngScanlines& rows, const std::vector<Band>& bands, PngRowFilter::Mode mode,
                  libdeflate_compressor* compressor, std::vector<uint8_t>& filtered,
                  std::vector<uint8_t>& compressed) {
  PngRowFilter filter(mode, rows.MaxRowBytes(), rows.layout().FilterDistance());
  size_t total = 0;
  for (const Band& band : bands) {
    const size_t rowBytes = static_cast<size_t>(rows.layout().RowBytes(rows.PassWidth(band.pass)));
    filtered.resize((rowBytes + 1) * band.rows);
    filter.StartPass();
    if (band.row > 0 && filter.Above() != nullptr) {
      rows.Row(band.pass, band.row - 1, filter.Above());
    }
    for (uint32_t i = 0; i < band.rows; ++i) {
      rows.Row(band.pass, band.row + i, filter.Raw());
      filter.Filter(rowBytes, filtered.data() + i * (rowBytes + 1));
    }
    compressed.resize(libdeflate_deflate_compress_bound(compressor, filtered.size()));
    total += libdeflate_deflate_compress(compressor, filtered.data(), filtered.size(),
                                         compressed.data(), compressed.size());
  }
  return total;
}

}  // namespace

uint64_t EstimateCompressedSize(const PngScanlines& rows, PngRowFilter::Mode mode) {
  const CompressorPtr compressor(libdeflate_alloc_compressor(kTrialLevel));
  if (!compressor) {
    throw std::bad_alloc();
  }
  const std::vector<Band> bands = SampleBands(rows);
  uint64_t sampled = 0;
  for (const Band& band : bands) {
    sampled += band.rows;
  }
  std::vector<uint8_t> filtered;
  std::vector<uint8_t> compressed;
  const uint64_t size = SampleSize(rows, bands, mode, compressor.get(), filtered, compressed);
  return sampled == 0 ? size : size * TotalRows(rows) / sampled;
}

PngRowFilter::Mode ChooseRowFilter(const PngScanlines& rows, PngRowFilter::Mode usual) {
  using Mode = PngRowFilter::Mode;
  const CompressorPtr compressor(libdeflate_alloc_compressor(kTrialLevel));
  if (!compressor) {
    return usual;
  }
  try {
    const std::vector<Band> bands = SampleBands(rows);
    std::vector<uint8_t> filtered;
    std::vector<uint8_t> compressed;
    Mode best = usual;
    size_t bestSize = SampleSize(rows, bands, usual, compressor.get(), filtered, compressed);
    for (Mode mode :
         {Mode::kAdaptive, Mode::kNone, Mode::kSub, Mode::kUp, Mode::kAverage, Mode::kPaeth}) {
      if (mode == usual) {
        continue;
      }
      const size_t size = SampleSize(rows, bands, mode, compressor.get(), filtered, compressed);
      if (size < bestSize) {
        best = mode;
        bestSize = size;
      }
    }
    return best;
  } catch (const std::bad_alloc&) {
    return usual;
  }
}
