// Bitmap's own bookkeeping: creation, clearing and the entry points of loading.
#include "image/bitmap.h"

#include <new>

#include "base/file.h"
#include "image/read/image_readers.h"

uint64_t Bitmap::StrideFor(uint64_t width, uint32_t bitCount) {
  return (width * bitCount + 31) / 32 * 4;
}

bool Bitmap::IsSupportedBitCount(uint32_t bitCount, Samples samples) {
  if (samples == Samples::k16Bit) {
    return bitCount == 16 || bitCount == 32 || bitCount == 48 || bitCount == 64;
  }
  switch (bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      return true;
    default:
      return false;
  }
}

bool Bitmap::Create(int32_t width, int32_t height, uint32_t bitCount, Samples samples) {
  Clear();
  if (!IsSupportedBitCount(bitCount, samples) || width <= 0 || height <= 0) {
    return false;
  }
  const uint64_t stride = StrideFor(static_cast<uint64_t>(width), bitCount);
  // stride < 2^32 * 32 / 8 and height < 2^31: the product cannot overflow 64 bits.
  const uint64_t bytes = stride * static_cast<uint64_t>(height);
  if (bytes > kMaxPixelStoreBytes) {
    return false;
  }
  try {
    pixels_.assign(static_cast<size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    pixels_ = std::vector<uint8_t>();
    return false;
  }
  width_ = width;
  height_ = height;
  stride_ = static_cast<uint32_t>(stride);
  bitCount_ = bitCount;
  wide_ = samples == Samples::k16Bit;
  return true;
}

void Bitmap::Clear() {
  pending_.reset();  // before the store it writes into
  // Swapping with empty vectors gives the memory back at once.
  std::vector<uint8_t>().swap(pixels_);
  std::vector<PaletteEntry>().swap(palette_);
  paletteAlpha_.clear();
  ancillary_.clear();
  metadata_.Clear();
  animation_.reset();
  width_ = 0;
  height_ = 0;
  stride_ = 0;
  bitCount_ = 0;
  wide_ = false;
  grey_ = false;
}

void Bitmap::SetGreyPalette() {
  const unsigned largest = (1u << bitCount_) - 1;
  palette_.resize(size_t{largest} + 1);
  for (unsigned i = 0; i <= largest; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / largest);
    palette_[i] = PaletteEntry{v, v, v, 0};
  }
  grey_ = true;
}

bool Bitmap::Load(const std::wstring& path, const LoadOptions& options) {
  Clear();
  kiv::File stream;
  if (!stream.OpenRead(path)) {
    notes_ = LoadNotes();
    notes_.failure = LoadNotes::Failure::kOpen;
    notes_.openError = stream.error();
    return false;
  }
  return Load(stream, options);
}

bool Bitmap::Load(kiv::File& stream, const LoadOptions& options) {
  Clear();
  notes_ = LoadNotes();
  stream.Seek(-static_cast<int64_t>(stream.position()));
  bool ok = false;
  try {
    ok = image_readers::ReadBmp(stream, *this, options);
  } catch (const std::bad_alloc&) {
    ok = false;
    notes_.failure = LoadNotes::Failure::kTooLarge;
  }
  if (!ok) {
    Clear();
    if (notes_.failure == LoadNotes::Failure::kNone) {
      notes_.failure = LoadNotes::Failure::kCorrupt;
    }
    notes_.samplesRounded = false;
    notes_.truncated = false;
  }
  return ok;
}

bool Bitmap::FinishRows() {
  if (!pending_) {
    return true;
  }
  const bool ok = pending_->Produce();
  if (pending_->EndedEarly()) {
    notes_.truncated = true;
    notes_.bytesPresent = pending_->BytesPresent();
  }
  if (!ok) {
    const std::string detail = pending_->FailureDetail();
    Clear();
    notes_ = LoadNotes();
    notes_.failure = LoadNotes::Failure::kCorrupt;
    notes_.detail = detail;
    return false;
  }
  pending_.reset();
  return true;
}

bool Bitmap::LoadFromMemory(const std::vector<uint8_t>& bytes, const LoadOptions& options) {
  Clear();
  try {
    std::vector<uint8_t> copy(bytes);
    kiv::File stream;
    stream.AttachVector(copy);
    return Load(stream, options);
  } catch (const std::bad_alloc&) {
    return false;
  }
}
