// Counting an image's colours and writing its rows in a reduced form.
#include "image/png/png_reduce.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/bitmap.h"
#include "image/pixels.h"

namespace {

constexpr size_t kMaxPaletteColours = 256;
constexpr size_t kHashSlots = 1024;  // four times the palette: short probes

// A colour as red | green << 8 | blue << 16 | alpha << 24.
uint32_t Rgba(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
  return red | green << 8 | blue << 16 | static_cast<uint32_t>(alpha) << 24;
}
uint8_t Red(uint32_t c) {
  return static_cast<uint8_t>(c);
}
uint8_t Green(uint32_t c) {
  return static_cast<uint8_t>(c >> 8);
}
uint8_t Blue(uint32_t c) {
  return static_cast<uint8_t>(c >> 16);
}
uint8_t Alpha(uint32_t c) {
  return static_cast<uint8_t>(c >> 24);
}

size_t Slot(uint32_t colour) {
  return (colour * 2654435761u) >> 22;  // 10 bits
}

// The colour of each palette index as the writer shows it: black past the palette's end.
std::vector<uint32_t> IndexColours(const Bitmap& image) {
  std::vector<uint32_t> colours(size_t{1} << image.BitCount(), Rgba(0, 0, 0, 255));
  for (size_t i = 0; i < colours.size() && i < image.Palette().size(); ++i) {
    const Bitmap::PaletteEntry& entry = image.Palette()[i];
    const uint8_t alpha = i < image.PaletteAlpha().size() ? image.PaletteAlpha()[i] : 255;
    colours[i] = Rgba(entry.red, entry.green, entry.blue, alpha);
  }
  return colours;
}

uint32_t ColourAt(const Bitmap& image, const std::vector<uint32_t>& indexColours,
                  const uint8_t* row, uint64_t x) {
  switch (image.BitCount()) {
    case 16: {
      uint8_t bgr[3];
      pixels::Expand555(row + 2 * x, bgr);
      return Rgba(bgr[2], bgr[1], bgr[0], 255);
    }
    case 24:
      return Rgba(row[3 * x + 2], row[3 * x + 1], row[3 * x], 255);
    case 32:
      return Rgba(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]);
    default:
      return indexColours[pixels::IndexAt(row, x, image.BitCount())];
  }
}

// Calls put(i, colour) for the pixels x0, x0 + dx, ... (`count` of them) of a stored row, the
// source's bit count looked at once for the row.
template <typename Put>
void ForEachColour(const Bitmap& image, const std::vector<uint32_t>& indexColours,
                   const uint8_t* row, uint32_t count, uint32_t x0, uint32_t dx, Put&& put) {
  uint64_t x = x0;
  switch (image.BitCount()) {
    case 24:
      for (uint32_t i = 0; i < count; ++i, x += dx) {
        const uint8_t* pixel = row + 3 * x;
        put(i, Rgba(pixel[2], pixel[1], pixel[0], 255));
      }
      return;
    case 32:
      for (uint32_t i = 0; i < count; ++i, x += dx) {
        const uint8_t* pixel = row + 4 * x;
        put(i, Rgba(pixel[2], pixel[1], pixel[0], pixel[3]));
      }
      return;
    default:
      for (uint32_t i = 0; i < count; ++i, x += dx) {
        put(i, ColourAt(image, indexColours, row, x));
      }
  }
}

// The fewest bits a grey sample needs to hold `value` exactly (value * (2^bits - 1) / 255).
int GreyBits(uint8_t value) {
  return value % 255 == 0 ? 1 : value % 85 == 0 ? 2 : value % 17 == 0 ? 4 : 8;
}

int PaletteBits(size_t colours) {
  return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

}  // namespace

// What the pixels of the images seen allow.
struct PngColourTally {
  bool opaque = true;
  bool grey = true;
  int greyBits = 1;
  bool few = true;  // at most kMaxPaletteColours colours, listed in `colours`
  std::vector<uint32_t> colours;
  std::vector<uint32_t> keys = std::vector<uint32_t>(kHashSlots);
  std::vector<bool> used = std::vector<bool>(kHashSlots);

  void See(uint32_t colour) {
    if (grey) {
      if (Red(colour) == Green(colour) && Green(colour) == Blue(colour)) {
        greyBits = std::max(greyBits, GreyBits(Red(colour)));
      } else {
        grey = false;
      }
    }
    if (!few) {
      return;
    }
    size_t slot = Slot(colour);
    while (used[slot]) {
      if (keys[slot] == colour) {
        return;
      }
      slot = (slot + 1) % kHashSlots;
    }
    if (colours.size() == kMaxPaletteColours) {
      few = false;
      return;
    }
    used[slot] = true;
    keys[slot] = colour;
    colours.push_back(colour);
  }
  bool Done() const { return !grey && !few; }
};

namespace {

// Sees the colours of the top `rows` rows of a direct-colour image, in the picture's order, until
// the survey is done; a run of one colour is looked at once.
void SurveyTopRows(const Bitmap& image, const std::vector<uint32_t>& indexColours, int32_t rows,
                   PngColourTally& survey) {
  const uint64_t width = static_cast<uint64_t>(image.Width());
  for (int32_t y = image.Height() - 1; y >= image.Height() - rows && !survey.Done(); --y) {
    const uint8_t* row = image.Row(y);
    uint32_t last = ColourAt(image, indexColours, row, 0);
    survey.See(last);
    for (uint64_t x = 1; x < width; ++x) {
      const uint32_t colour = ColourAt(image, indexColours, row, x);
      if (colour != last) {
        survey.See(colour);
        last = colour;
      }
    }
  }
}

// Sees every pixel of `image` into `survey`.
void SurveyPixels(const Bitmap& image, const std::vector<uint32_t>& indexColours,
                  PngColourTally& survey) {
  const uint64_t width = static_cast<uint64_t>(image.Width());
  bool opaque = true;
  if (image.BitCount() == 32) {
    for (int32_t y = 0; y < image.Height() && survey.opaque && opaque; ++y) {
      const uint8_t* row = image.Row(y);
      for (uint64_t x = 0; x < width; ++x) {
        opaque = opaque && row[4 * x + 3] == 255;
      }
    }
  }
  survey.opaque = survey.opaque && opaque;
  if (image.BitCount() <= 8) {
    // Each index once, in index order.
    std::vector<bool> seen(indexColours.size());
    for (int32_t y = 0; y < image.Height(); ++y) {
      const uint8_t* row = image.Row(y);
      for (uint64_t x = 0; x < width; ++x) {
        seen[pixels::IndexAt(row, x, image.BitCount())] = true;
      }
    }
    for (size_t i = 0; i < seen.size(); ++i) {
      if (seen[i]) {
        survey.See(indexColours[i]);
      }
    }
    return;
  }
  SurveyTopRows(image, indexColours, image.Height(), survey);
}

PngLayout Layout(int colorType, int depth, uint32_t pixelBits) {
  PngLayout layout;
  layout.colorType = colorType;
  layout.depth = depth;
  layout.pixelBits = pixelBits;
  return layout;
}

// Sets the `bits` bits of sample `i` in a zeroed row.
void PutSample(uint8_t* out, uint32_t i, unsigned value, int bits) {
  const uint64_t bit = static_cast<uint64_t>(i) * static_cast<unsigned>(bits);
  out[bit / 8] |= static_cast<uint8_t>(value << (8 - bits - bit % 8));
}

}  // namespace

bool TopRowsRuleOutReduction(const Bitmap& image, int32_t rows) {
  if (image.BitCount() != 24 || rows <= 0 || rows > image.Height()) {
    return false;
  }
  PngColourTally survey;
  SurveyTopRows(image, std::vector<uint32_t>(), rows, survey);
  return survey.Done();
}

PngColourSurvey::PngColourSurvey() : tally_(std::make_unique<PngColourTally>()) {}
PngColourSurvey::~PngColourSurvey() = default;

void PngColourSurvey::See(const Bitmap& image) {
  if (image.Empty() || image.Wide()) {
    widened_ = true;  // 16-bit samples have no smaller form that keeps them all
    return;
  }
  if (bitCount_ == 0) {
    bitCount_ = image.BitCount();
  }
  SurveyPixels(image, image.BitCount() <= 8 ? IndexColours(image) : std::vector<uint32_t>(),
               *tally_);
}

bool PngColourSurvey::RuledOut() const {
  return widened_ || (tally_->Done() && (bitCount_ != 32 || !tally_->opaque));
}

std::vector<PngColourForm> ReducedColourForms(const Bitmap& image) {
  PngColourSurvey survey;
  survey.See(image);
  return survey.Forms(image);
}

std::vector<PngColourForm> PngColourSurvey::Forms(const Bitmap& kind) const {
  std::vector<PngColourForm> forms;
  if (widened_ || bitCount_ == 0 || kind.BitCount() != bitCount_) {
    return forms;
  }
  const std::vector<uint32_t> indexColours =
      kind.BitCount() <= 8 ? IndexColours(kind) : std::vector<uint32_t>();
  PngColourTally survey = *tally_;
  survey.opaque = survey.opaque && std::all_of(survey.colours.begin(), survey.colours.end(),
                                               [](uint32_t c) { return Alpha(c) == 255; });
  const Bitmap& image = kind;
  PngColourForm form;
  form.sourceColours_ = indexColours;
  if (image.BitCount() == 32 && survey.opaque) {
    form.kind_ = PngColourForm::Kind::kRgb;
    form.layout_ = Layout(PngLayout::kRgb, 8, 24);
    forms.push_back(form);
  }
  if (survey.grey && survey.opaque) {
    form.kind_ = PngColourForm::Kind::kGrey;
    form.layout_ =
        Layout(PngLayout::kGrey, survey.greyBits, static_cast<uint32_t>(survey.greyBits));
    forms.push_back(form);
  } else if (survey.grey) {
    form.kind_ = PngColourForm::Kind::kGreyAlpha;
    form.layout_ = Layout(PngLayout::kGreyAlpha, 8, 16);
    forms.push_back(form);
  }
  if (survey.few) {
    std::stable_partition(survey.colours.begin(), survey.colours.end(),
                          [](uint32_t c) { return Alpha(c) != 255; });
    const int bits = PaletteBits(survey.colours.size());
    form.kind_ = PngColourForm::Kind::kPalette;
    form.layout_ = Layout(PngLayout::kPalette, bits, static_cast<uint32_t>(bits));
    form.keys_.assign(kHashSlots, 0);
    form.used_.assign(kHashSlots, 0);
    form.indices_.assign(kHashSlots, 0);
    for (size_t i = 0; i < survey.colours.size(); ++i) {
      const uint32_t colour = survey.colours[i];
      form.plte_.insert(form.plte_.end(), {Red(colour), Green(colour), Blue(colour)});
      if (Alpha(colour) != 255) {
        form.trns_.push_back(Alpha(colour));
      }
      size_t slot = Slot(colour);
      while (form.used_[slot]) {
        slot = (slot + 1) % kHashSlots;
      }
      form.used_[slot] = 1;
      form.keys_[slot] = colour;
      form.indices_[slot] = static_cast<uint8_t>(i);
    }
    forms.push_back(form);
  }
  return forms;
}

void PngColourForm::Row(const Bitmap& image, const uint8_t* in, uint8_t* out, uint32_t count,
                        uint32_t x0, uint32_t dx) const {
  if (layout_.depth < 8) {
    std::memset(out, 0, static_cast<size_t>(layout_.RowBytes(count)));
  }
  const int depth = layout_.depth;
  switch (kind_) {
    case Kind::kRgb:
      ForEachColour(image, sourceColours_, in, count, x0, dx, [out](uint32_t i, uint32_t colour) {
        uint8_t* pixel = out + 3 * static_cast<size_t>(i);
        pixel[0] = Red(colour);
        pixel[1] = Green(colour);
        pixel[2] = Blue(colour);
      });
      break;
    case Kind::kGrey:
      ForEachColour(image, sourceColours_, in, count, x0, dx,
                    [out, depth](uint32_t i, uint32_t colour) {
                      if (depth == 8) {
                        out[i] = Red(colour);
                      } else {
                        PutSample(out, i, Red(colour) / (255u / ((1u << depth) - 1)), depth);
                      }
                    });
      break;
    case Kind::kGreyAlpha:
      ForEachColour(image, sourceColours_, in, count, x0, dx, [out](uint32_t i, uint32_t colour) {
        out[2 * static_cast<size_t>(i)] = Red(colour);
        out[2 * static_cast<size_t>(i) + 1] = Alpha(colour);
      });
      break;
    case Kind::kPalette: {
      // Neighbours often share a colour: the last one found is kept.
      uint32_t lastColour = 0;
      unsigned lastIndex = 0;
      bool haveLast = false;
      ForEachColour(image, sourceColours_, in, count, x0, dx, [&](uint32_t i, uint32_t colour) {
        if (!haveLast || colour != lastColour) {
          size_t slot = Slot(colour);
          while (used_[slot] && keys_[slot] != colour) {
            slot = (slot + 1) % kHashSlots;
          }
          lastIndex = indices_[slot];
          lastColour = colour;
          haveLast = true;
        }
        if (depth == 8) {
          out[i] = static_cast<uint8_t>(lastIndex);
        } else {
          PutSample(out, i, lastIndex, depth);
        }
      });
      break;
    }
  }
}
