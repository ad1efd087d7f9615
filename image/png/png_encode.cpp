// The PNG file of a Bitmap: header, ancillary chunks, palette, image data, end.
#include "image/png/png_encode.h"

#include <algorithm>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/pending_rows.h"
#include "image/pixels.h"
#include "image/png/metadata_chunks.h"
#include "image/png/png_chunk_writer.h"
#include "image/png/png_filter_choice.h"
#include "image/png/png_reduce.h"
#include "image/png/png_scanlines.h"

namespace {

constexpr size_t kMaxPaletteEntries = 256;
// The level at which the row filter is chosen by trial: the slowest, where the trial costs little
// beside the compression. Palette indices keep no filter: the fast trial level there favours
// filters that the strong level does better without.
constexpr int kFilterTrialLevel = 9;
// The rows a reduction looks at before the rest of an image still being decoded.
constexpr int32_t kReductionSampleRows = 64;

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

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A chunk a decoder may skip: four letters, the first lower-case, data a length field can hold.
bool IsValidAncillary(const PngChunk& chunk) {
  return std::all_of(chunk.type.begin(), chunk.type.end(), IsAsciiLetter) && chunk.type[0] >= 'a' &&
         chunk.data.size() <= PngChunkWriter::kMaxChunkData;
}

PngRowFilter::Mode UsualFilter(int level, const PngLayout& layout) {
  // Stored data gains nothing from filtering; indexed pixels are rarely numbers to predict.
  return level == 0 || layout.colorType == PngLayout::kPalette ? PngRowFilter::Mode::kNone
                                                               : PngRowFilter::Mode::kAdaptive;
}

uint64_t ChunkBytes(size_t data) {
  return data == 0 ? 0 : 12 + data;
}

// The bytes the image data and palette of `rows` are foretold to take.
uint64_t FormCost(const PngScanlines& rows, int level, size_t plte, size_t trns) {
  const uint64_t data = level == 0
                            ? rows.FilteredBytes()
                            : EstimateCompressedSize(rows, UsualFilter(level, rows.layout()));
  return data + ChunkBytes(plte) + ChunkBytes(trns);
}

}  // namespace

// The PLTE data (red, green, blue per entry), empty when no PLTE is written.
std::vector<uint8_t> PaletteData(const Bitmap& image, const PngLayout& layout) {
  const auto& palette = image.Palette();
  size_t count = palette.size();
  if (layout.colorType == PngLayout::kPalette) {
    const size_t addressable = size_t{1} << layout.depth;
    count = std::min(count, addressable);
    if (count < addressable) {
      count = std::max<size_t>(count, LargestIndex(image) + 1);
    }
  } else if (count > kMaxPaletteEntries || layout.colorType == PngLayout::kGrey ||
             layout.colorType == PngLayout::kGreyAlpha) {
    count = 0;  // too long to suggest, or a grey PNG, which has no palette
  }
  std::vector<uint8_t> data(3 * count, 0);
  for (size_t i = 0; i < count && i < palette.size(); ++i) {
    data[3 * i] = palette[i].red;
    data[3 * i + 1] = palette[i].green;
    data[3 * i + 2] = palette[i].blue;
  }
  return data;
}

// The tRNS data of the image as it is (not reduced), empty when it has none: the alpha of the
// palette entries up to the last that is not opaque, or the grey sample a grey PNG makes
// transparent.
std::vector<uint8_t> TransparencyData(const Bitmap& image, const PngLayout& layout,
                                      size_t paletteEntries) {
  std::vector<uint8_t> data;
  if (layout.colorType == PngLayout::kGrey && layout.source == PngLayout::Source::kIndexed) {
    const int index = TransparentGreyIndex(image);
    if (index >= 0) {
      data = {0, static_cast<uint8_t>(index)};
    }
  } else if (layout.colorType == PngLayout::kPalette) {
    const auto& alpha = image.PaletteAlpha();
    size_t count = std::min(alpha.size(), paletteEntries);
    while (count > 0 && alpha[count - 1] == 255) {
      --count;
    }
    data.assign(alpha.begin(), alpha.begin() + static_cast<std::ptrdiff_t>(count));
  }
  return data;
}

void TakeForm(const Bitmap& image, const PngColourForm* form, PngLayout& layout,
              std::vector<uint8_t>& palette, std::vector<uint8_t>& transparency) {
  palette.clear();
  transparency.clear();
  if (form == nullptr || form->kind() == PngColourForm::Kind::kRgb) {
    palette = PaletteData(image, layout);  // a direct-colour image's suggested palette too
  }
  if (form == nullptr) {
    transparency = TransparencyData(image, layout, palette.size() / 3);
    return;
  }
  if (form->kind() == PngColourForm::Kind::kPalette) {
    palette = form->plte();
  }
  transparency = form->trns();
  layout = form->layout();
}

bool WriteHeader(PngChunkWriter& chunks, const Bitmap& image, const PngLayout& layout,
                 bool interlace) {
  uint8_t ihdr[13];
  PutBe32(ihdr, static_cast<uint32_t>(image.Width()));
  PutBe32(ihdr + 4, static_cast<uint32_t>(image.Height()));
  ihdr[8] = static_cast<uint8_t>(layout.depth);
  ihdr[9] = static_cast<uint8_t>(layout.colorType);
  ihdr[10] = 0;  // deflate
  ihdr[11] = 0;  // the five row filters
  ihdr[12] = interlace ? 1 : 0;
  return chunks.Signature() && chunks.Chunk("IHDR", ihdr, sizeof ihdr);
}

const PngColourForm* ChooseColourForm(const Bitmap& image, const PngLayout& layout,
                                      const std::vector<PngColourForm>& forms, int level,
                                      bool interlace) {
  if (forms.empty()) {
    return nullptr;
  }
  const PngColourForm* best = nullptr;
  const size_t plte = PaletteData(image, layout).size();
  uint64_t bestCost = FormCost(PngScanlines(image, layout, interlace), level, plte,
                               TransparencyData(image, layout, plte / 3).size());
  for (const PngColourForm& form : forms) {
    const uint64_t cost = FormCost(PngScanlines(image, form, interlace), level, form.plte().size(),
                                   form.trns().size());
    if (cost < bestCost) {
      best = &form;
      bestCost = cost;
    }
  }
  return best;
}

PngCompression CompressionFor(const PngEncodeOptions& options) {
  PngCompression compression;
  compression.level = options.level < 0 ? 6 : std::min(options.level, 9);
  compression.wholeBufferBytes = options.wholeBufferBytes;
  compression.pieceBytes = std::max<uint64_t>(options.pieceBytes, 1);
  compression.runner = options.runner;
  return compression;
}

bool EncodePngImage(const Bitmap& image, const PngEncodeOptions& options, kiv::File& stream) {
  PngLayout layout;
  if (image.Empty() || !ChoosePngLayout(image, layout) ||
      !std::all_of(image.Ancillary().begin(), image.Ancillary().end(), IsValidAncillary)) {
    return false;
  }
  PngCompression compression = CompressionFor(options);
  // Rows the reader has still to decode come in while the pieces are compressed where the writer
  // reads them once, in order; anything that looks over the image first needs them all.
  PendingRows* pending = image.Pending();
  bool reduce = options.reduce;
  bool inOrder = !options.interlace && compression.level != kFilterTrialLevel && !image.Wide() &&
                 (image.BitCount() == 24 || image.BitCount() == 32);
  if (reduce && inOrder && pending != nullptr) {
    // A photograph shows more colours than a palette holds, and colour, in its first rows: no
    // reduced form can keep it, and the rest of it may be decoded while it is compressed.
    const int32_t sample = std::min(image.Height(), kReductionSampleRows);
    if (!pending->ProduceRows(static_cast<uint32_t>(sample))) {
      return false;
    }
    reduce = !TopRowsRuleOutReduction(image, sample);
  }
  inOrder = inOrder && !reduce;
  if (pending != nullptr && !inOrder && !pending->Produce()) {
    return false;
  }
  compression.pending = inOrder ? pending : nullptr;

  std::vector<PngColourForm> forms;
  if (reduce) {
    forms = ReducedColourForms(image);
  }
  const PngColourForm* form =
      ChooseColourForm(image, layout, forms, compression.level, options.interlace);
  std::vector<uint8_t> palette;
  std::vector<uint8_t> transparency;
  TakeForm(image, form, layout, palette, transparency);
  const bool grey =
      layout.colorType == PngLayout::kGrey || layout.colorType == PngLayout::kGreyAlpha;
  compression.filter = UsualFilter(compression.level, layout);

  PngChunkWriter chunks(stream);
  if (!WriteHeader(chunks, image, layout, options.interlace)) {
    return false;
  }
  if (options.carried != nullptr) {
    options.carried->clear();
    chunks.RecordAncillary(options.carried);
  }
  for (const PngChunk& chunk : image.Ancillary()) {
    if (grey && std::string(chunk.type.data(), 4) == "iCCP") {
      continue;  // an RGB profile cannot describe grey samples
    }
    if (!chunks.Chunk(chunk.type.data(), chunk.data.data(), chunk.data.size())) {
      return false;
    }
  }
  const ImageMetadata& metadata = image.Metadata();
  if (!WriteMetadataChunks(chunks, metadata, ChunkPlace::kBeforePlte, layout, palette)) {
    return false;
  }
  if (!palette.empty() && !chunks.Chunk("PLTE", palette.data(), palette.size())) {
    return false;
  }
  if (!transparency.empty() && !chunks.Chunk("tRNS", transparency.data(), transparency.size())) {
    return false;
  }
  if (!WriteMetadataChunks(chunks, metadata, ChunkPlace::kBeforeIdat, layout, palette)) {
    return false;
  }
  const PngScanlines rows = form != nullptr ? PngScanlines(image, *form, options.interlace)
                                            : PngScanlines(image, layout, options.interlace);
  if (compression.level == kFilterTrialLevel && layout.colorType != PngLayout::kPalette) {
    compression.filter = ChooseRowFilter(rows, compression.filter);
  }
  IdatWriter idat(chunks);
  return CompressPngImageData(rows, compression, idat) && idat.Finish() &&
         WriteMetadataChunks(chunks, metadata, ChunkPlace::kAfterIdat, layout, palette) &&
         chunks.Chunk("IEND", nullptr, 0) && chunks.Finish();
}
