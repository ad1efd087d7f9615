// The PNG row filters and libpng's minimum-sum-of-absolute-differences choice.
#include "image/png/png_filter.h"

#include <algorithm>
#include <cstring>

namespace {

enum FilterType : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// Sum of the bytes taken as signed and made positive (0..127 as they are, 128..255 as 256 - v),
// in blocks small enough for a 32-bit running sum, which the compiler keeps in vector lanes.
uint64_t SignedMagnitudeSum(const uint8_t* bytes, size_t count) {
  constexpr size_t kBlock = size_t{1} << 24;  // 2^24 * 128 < 2^32
  uint64_t total = 0;
  while (count > 0) {
    const size_t n = std::min(count, kBlock);
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const int v = static_cast<int8_t>(bytes[i]);
      sum += static_cast<uint32_t>(v < 0 ? -v : v);
    }
    total += sum;
    bytes += n;
    count -= n;
  }
  return total;
}

void Sub(const uint8_t* row, size_t n, unsigned d, uint8_t* out) {
  const size_t head = std::min<size_t>(d, n);
  std::memcpy(out, row, head);
  for (size_t i = head; i < n; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - row[i - d]);
  }
}

void Up(const uint8_t* row, const uint8_t* above, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - above[i]);
  }
}

void Average(const uint8_t* row, const uint8_t* above, size_t n, unsigned d, uint8_t* out) {
  const size_t head = std::min<size_t>(d, n);
  for (size_t i = 0; i < head; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - (above[i] >> 1));
  }
  for (size_t i = head; i < n; ++i) {
    const unsigned mean = (static_cast<unsigned>(row[i - d]) + above[i]) >> 1;
    out[i] = static_cast<uint8_t>(row[i] - mean);
  }
}

void Paeth(const uint8_t* row, const uint8_t* above, size_t n, unsigned d, uint8_t* out) {
  const size_t head = std::min<size_t>(d, n);
  // Left of the first pixel everything is zero, so the predictor is the byte above.
  for (size_t i = 0; i < head; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - above[i]);
  }
  for (size_t i = head; i < n; ++i) {
    const int16_t a = row[i - d];
    const int16_t b = above[i];
    const int16_t c = above[i - d];
    const int16_t pa = static_cast<int16_t>(b > c ? b - c : c - b);
    const int16_t pb = static_cast<int16_t>(a > c ? a - c : c - a);
    const int16_t sum = static_cast<int16_t>(a + b - 2 * c);
    const int16_t pc = static_cast<int16_t>(sum < 0 ? -sum : sum);
    const int16_t nearest = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
    out[i] = static_cast<uint8_t>(row[i] - nearest);
  }
}

}  // namespace

PngRowFilter::PngRowFilter(Mode mode, size_t maxRowBytes, unsigned distance)
    : mode_(mode),
      distance_(std::max(distance, 1u)),
      current_(maxRowBytes),
      previous_(mode == Mode::kNone ? 0 : maxRowBytes),
      trial_(mode == Mode::kAdaptive ? 4 * maxRowBytes : 0),
      maxRowBytes_(maxRowBytes) {}

void PngRowFilter::StartPass() {
  std::fill(previous_.begin(), previous_.end(), uint8_t{0});
}

void PngRowFilter::Filter(size_t rowBytes, uint8_t* out) {
  const uint8_t* row = current_.data();
  if (mode_ == Mode::kNone) {
    out[0] = kNone;
    std::memcpy(out + 1, row, rowBytes);
    return;
  }
  const uint8_t* above = previous_.data();
  if (mode_ != Mode::kAdaptive) {
    FilterAs(mode_, rowBytes, out);
    return;
  }
  uint8_t* trials[4];
  for (size_t k = 0; k < 4; ++k) {
    trials[k] = trial_.data() + k * maxRowBytes_;
  }
  Sub(row, rowBytes, distance_, trials[0]);
  Up(row, above, rowBytes, trials[1]);
  Average(row, above, rowBytes, distance_, trials[2]);
  Paeth(row, above, rowBytes, distance_, trials[3]);

  uint8_t best = kNone;
  const uint8_t* bestBytes = row;
  uint64_t bestSum = SignedMagnitudeSum(row, rowBytes);
  for (uint8_t k = 0; k < 4; ++k) {
    const uint64_t sum = SignedMagnitudeSum(trials[k], rowBytes);
    if (sum < bestSum) {
      bestSum = sum;
      best = static_cast<uint8_t>(kSub + k);
      bestBytes = trials[k];
    }
  }
  out[0] = best;
  std::memcpy(out + 1, bestBytes, rowBytes);
  current_.swap(previous_);
}

void PngRowFilter::FilterAs(Mode fixed, size_t rowBytes, uint8_t* out) {
  const uint8_t* row = current_.data();
  const uint8_t* above = previous_.data();
  out[0] = static_cast<uint8_t>(fixed);
  switch (fixed) {
    case Mode::kNone:
      std::memcpy(out + 1, row, rowBytes);
      break;
    case Mode::kSub:
      Sub(row, rowBytes, distance_, out + 1);
      break;
    case Mode::kUp:
      Up(row, above, rowBytes, out + 1);
      break;
    case Mode::kAverage:
      Average(row, above, rowBytes, distance_, out + 1);
      break;
    default:
      Paeth(row, above, rowBytes, distance_, out + 1);
      break;
  }
  current_.swap(previous_);
}
