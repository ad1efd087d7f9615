// PngScanlines: the rows of a Bitmap as a PNG stores them before filtering, pass by pass.
//
// A PNG row is top row first, left to right, with the samples in the PNG's order: red, green,
// blue (and alpha) for direct colour, grey (and alpha) for grey, packed indices or grey samples
// from the most significant bit for images of fewer than 8 bits, 16-bit samples most significant
// byte first. An interlaced image has the seven Adam7 passes, each a smaller image of every n-th
// pixel of every m-th row; a pass may be empty (no columns or no rows) when the image is small.
// Unused low bits of a row's last byte are zero.
//
// The PNG keeps the kind of colour the Bitmap holds (ChoosePngLayout):
//   indexed 1/2/4/8 bits       palette of that depth, or grey of that depth for a Grey() image
//                              whose transparency a grey tRNS can say (TransparentGreyIndex)
//   16 (5-5-5)                 8-bit RGB
//   24                         8-bit RGB
//   32                         8-bit RGBA, or 8-bit grey+alpha for a Grey() image
//   Wide() 16/32/48/64         16-bit grey, grey+alpha, RGB, RGBA
//
// Threads: an object belongs to one thread; any number may exist at once.
// Ownership: borrows the Bitmap (and a reduced form), which must outlive it and stay unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

class Bitmap;
class PngColourForm;

// The PNG form of a Bitmap.
struct PngLayout {
  // Where a PNG row's samples come from in a stored row.
  enum class Source {
    kIndexed,     // packed indices, written as they are (palette or grey samples)
    k555,         // 16-bit 5-5-5, expanded to 8-bit RGB
    kBgr,         // 24-bit blue, green, red
    kBgra,        // 32-bit blue, green, red, alpha
    kGreyOfBgra,  // 32-bit grey pixels, written as grey (green) and alpha
    kWide,        // 16-bit samples, little-endian in the store
  };

  int depth = 0;           // bits per sample (palette index or colour channel)
  int colorType = 0;       // kGrey, kRgb, kPalette, kGreyAlpha or kRgba
  uint32_t pixelBits = 0;  // bits per pixel of a PNG row
  Source source = Source::kIndexed;

  static constexpr int kGrey = 0;
  static constexpr int kRgb = 2;
  static constexpr int kPalette = 3;
  static constexpr int kGreyAlpha = 4;
  static constexpr int kRgba = 6;

  // Bytes between a byte and the byte of the same sample in the pixel to its left, as the
  // row filters count it (at least 1).
  unsigned FilterDistance() const { return pixelBits < 8 ? 1 : pixelBits / 8; }

  // The bytes of a PNG row of `width` pixels, without its filter-type byte.
  uint64_t RowBytes(uint64_t width) const { return (width * pixelBits + 7) / 8; }
};

// The layout that keeps the kind of colour of `image` (see the table above). False for a bit
// count that has no PNG form.
bool ChoosePngLayout(const Bitmap& image, PngLayout& layout);

// For an indexed Grey() image: -1 when every palette entry is opaque, the index of the one
// entry that is fully transparent when all the others are opaque (a grey tRNS names it), or -2
// when the alpha table says anything else (the image is then written as a palette).
int TransparentGreyIndex(const Bitmap& image);

class PngScanlines {
 public:
  // REQUIRES: `image` is not empty and `layout` is ChoosePngLayout's for it.
  PngScanlines(const Bitmap& image, const PngLayout& layout, bool interlace);
  // The rows in a reduced form of the image (png_reduce.h), which must outlive the object.
  PngScanlines(const Bitmap& image, const PngColourForm& form, bool interlace);
  PngScanlines(const PngScanlines&) = delete;
  PngScanlines& operator=(const PngScanlines&) = delete;

  // 7 for an interlaced image, otherwise 1.
  int Passes() const { return interlace_ ? 7 : 1; }

  // The width and height of pass `pass` (0 when the pass is empty).
  uint32_t PassWidth(int pass) const;
  uint32_t PassHeight(int pass) const;

  // Bytes of the longest row of any pass, without the filter-type byte.
  size_t MaxRowBytes() const;

  // The bytes of every row of every pass, each with its filter-type byte: the size of the
  // data that is compressed.
  uint64_t FilteredBytes() const;

  // Writes row `row` (0 is the top) of pass `pass` to `out`, layout.RowBytes(PassWidth(pass))
  // bytes.
  // REQUIRES: row < PassHeight(pass); `out` holds MaxRowBytes() bytes.
  void Row(int pass, uint32_t row, uint8_t* out) const;

  const PngLayout& layout() const { return layout_; }

 private:
  const Bitmap& image_;
  PngLayout layout_;
  bool interlace_;
  const PngColourForm* form_ = nullptr;
};
