// PngRowFilter: the PNG row filters (none, sub, up, average, Paeth) and the choice between them.
//
// In the adaptive mode every row gets the filter whose output has the smallest sum of absolute
// values, the bytes taken as signed (the heuristic libpng uses); on a tie the earlier of none,
// sub, up, average, Paeth wins. In a fixed mode every row gets that one filter; the none mode
// suits palette indices (not numbers to predict) and stored data (nothing gains from it).
//
// The loops are written so that the compiler vectorises them: one simple pass over the row per
// filter, the first pixel's bytes handled apart.
//
// Threads: an object belongs to one thread; any number may exist at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class PngRowFilter {
 public:
  // The fixed modes in the order of their filter-type numbers, then the adaptive choice.
  enum class Mode { kNone, kSub, kUp, kAverage, kPaeth, kAdaptive };

  // `maxRowBytes`: the longest row that will be filtered (without its filter-type byte).
  // `distance`: bytes from a sample to the same sample of the pixel to its left (at least 1).
  // Throws std::bad_alloc when the row buffers cannot be had.
  PngRowFilter(Mode mode, size_t maxRowBytes, unsigned distance);
  PngRowFilter(const PngRowFilter&) = delete;
  PngRowFilter& operator=(const PngRowFilter&) = delete;

  // Starts an image or an interlace pass: the row above its first row counts as zeros.
  void StartPass();

  // The buffer for the next row's unfiltered bytes, maxRowBytes long.
  uint8_t* Raw() { return current_.data(); }

  // The unfiltered row above the next one, maxRowBytes long (null in the none mode, which does
  // not look at it): filled by the caller to start in the middle of a pass.
  uint8_t* Above() { return previous_.empty() ? nullptr : previous_.data(); }

  // Filters the first `rowBytes` bytes of Raw() and writes the filter-type byte and the
  // filtered bytes (1 + rowBytes in all) to `out`. The row then counts as the row above the
  // next one, and Raw() is a fresh buffer.
  // REQUIRES: rowBytes <= maxRowBytes; the row widths of one pass are all the same.
  void Filter(size_t rowBytes, uint8_t* out);

  // Filters Raw() with the one filter `fixed` (not kAdaptive) whatever the object's own mode,
  // as Filter does otherwise: what a decoder's row of that filter type must hold.
  // REQUIRES: the object was not made in the none mode (it keeps no row above); as Filter.
  void FilterAs(Mode fixed, size_t rowBytes, uint8_t* out);

 private:
  Mode mode_;
  unsigned distance_;
  std::vector<uint8_t> current_;
  std::vector<uint8_t> previous_;
  std::vector<uint8_t> trial_;  // the outputs of sub, up, average and Paeth, one after another
  size_t maxRowBytes_;
};
