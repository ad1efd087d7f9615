// PngColourForm: a smaller PNG form of an image that shows exactly the same pixels (the lossless
// colour reduction of morvane-cli's --reduce).
//
// Forms, each offered only when every pixel survives it:
//   - RGB, for an image with alpha whose alpha is all opaque;
//   - grey of 1, 2, 4 or 8 bits, for an opaque image whose every pixel is grey (red, green and
//     blue equal), at the fewest bits that hold each grey value exactly;
//   - grey with alpha, for a grey image that is not all opaque;
//   - a palette of 1, 2, 4 or 8 bits, for an image of at most 256 colours (alpha included), with
//     a tRNS chunk when a colour is not opaque: those colours come first in the palette, so the
//     tRNS chunk holds only them; the others follow in the order the picture first shows them.
// The colours are counted only until a 257th turns up and the grey check stops at the first
// colour pixel, so a photograph costs little more than one look at its first rows.
//
// Threads: any thread; a form is read-only once made, and its Row may run on several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/png/png_scanlines.h"

class Bitmap;

class PngColourForm {
 public:
  enum class Kind { kRgb, kGrey, kGreyAlpha, kPalette };

  Kind kind() const { return kind_; }
  const PngLayout& layout() const { return layout_; }
  // The PLTE and tRNS data of a palette form; empty otherwise (tRNS also when all is opaque).
  const std::vector<uint8_t>& plte() const { return plte_; }
  const std::vector<uint8_t>& trns() const { return trns_; }

  // Writes `count` pixels x0, x0 + dx, ... of `in`, a stored row of `image`, in this form.
  // REQUIRES: `image` is the one the form was made for (or, for a form of a PngColourSurvey, one
  // of the images it saw); `out` holds layout().RowBytes(count).
  void Row(const Bitmap& image, const uint8_t* in, uint8_t* out, uint32_t count, uint32_t x0,
           uint32_t dx) const;

 private:
  friend class PngColourSurvey;

  // True when the top `rows` rows of a 24-bit image already show more colours than a palette holds
  // and one that is not grey: ReducedColourForms would then find no form, whatever the other rows
  // hold. False for any other image. May throw std::bad_alloc.
  bool TopRowsRuleOutReduction(const Bitmap& image, int32_t rows);

  Kind kind_ = Kind::kRgb;
  PngLayout layout_;
  std::vector<uint8_t> plte_;
  std::vector<uint8_t> trns_;
  std::vector<uint32_t> sourceColours_;  // indexed sources: the colour of each index
  std::vector<uint32_t> keys_;           // palette form: colours hashed to...
  std::vector<uint8_t> indices_;         // ...their palette index
  std::vector<uint8_t> used_;            // 1 where keys_ holds a colour
};

// The forms `image` may take besides its own, in the order listed above. Empty when none keeps
// every pixel, or the image is empty. May throw std::bad_alloc.
std::vector<PngColourForm> ReducedColourForms(const Bitmap& image);

struct PngColourTally;

// The colours of several images of one kind (the frames of an animation, each in the bit count
// and palette of the first), seen one image at a time, and the forms that keep every pixel of
// every image seen: one form that all of them can be written in. Holds no pixels.
class PngColourSurvey {
 public:
  PngColourSurvey();
  ~PngColourSurvey();
  PngColourSurvey(const PngColourSurvey&) = delete;
  PngColourSurvey& operator=(const PngColourSurvey&) = delete;

  // Sees every pixel of `image`. May throw std::bad_alloc.
  // REQUIRES: `image` has the bit count and palette of the first image seen.
  void See(const Bitmap& image);

  // True when no form can keep the images seen, whatever others are seen after them.
  bool RuledOut() const;

  // The forms, in the order listed above, that keep every pixel of the images seen, for rows of
  // `kind` (one of them, or any image of their bit count and palette). Empty when none does, or
  // no image was seen. May throw std::bad_alloc.
  std::vector<PngColourForm> Forms(const Bitmap& kind) const;

 private:
  std::unique_ptr<PngColourTally> tally_;
  uint32_t bitCount_ = 0;  // of the images seen; 0 before the first
  bool widened_ = false;   // an image of 16-bit samples was seen
};

// True when the top `rows` rows of a 24-bit image already show more colours than a palette holds
// and one that is not grey: ReducedColourForms would then find no form, whatever the other rows
// hold. False for any other image. May throw std::bad_alloc.
bool TopRowsRuleOutReduction(const Bitmap& image, int32_t rows);
