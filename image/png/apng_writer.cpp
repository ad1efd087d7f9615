#include "image/png/apng_writer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/animation.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/pending_rows.h"
#include "image/png/metadata_chunks.h"
#include "image/png/png_chunk_writer.h"
#include "image/png/png_encode.h"
#include "image/png/png_reduce.h"
#include "image/png/png_scanlines.h"

namespace {

void PutBe16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value);
}

bool WriteFrameControl(PngChunkWriter& chunks, const AnimationFrame& frame, uint32_t& sequence) {
  uint8_t data[26];
  PutBe32(data, sequence++);
  PutBe32(data + 4, frame.width);
  PutBe32(data + 8, frame.height);
  PutBe32(data + 12, frame.x);
  PutBe32(data + 16, frame.y);
  PutBe16(data + 20, frame.delayNumerator);
  PutBe16(data + 22, frame.delayDenominator);
  data[24] = frame.dispose;
  data[25] = frame.blend;
  return chunks.Chunk("fcTL", data, sizeof data);
}

// The compressed rows of `image` as IDAT chunks, or fdAT chunks numbered from `sequence` on: in
// `form` when not null, otherwise in `layout`.
bool WriteImageData(PngChunkWriter& chunks, const Bitmap& image, const PngLayout& layout,
                    const PngColourForm* form, const PngCompression& compression, bool interlace,
                    uint32_t* sequence) {
  const PngScanlines rows = form != nullptr ? PngScanlines(image, *form, interlace)
                                            : PngScanlines(image, layout, interlace);
  IdatWriter idat(chunks, sequence);
  return CompressPngImageData(rows, compression, idat) && idat.Finish();
}

// Frame `index` of `frames` into `frame` and `pixels`, as it is written for `image` (converted
// into `converted` when it must be); null, with `why` said, when it cannot be read or converted.
const Bitmap* FrameToWrite(const Bitmap& image, AnimationSource& frames, uint32_t index,
                           AnimationFrame& frame, Bitmap& pixels, Bitmap& converted,
                           std::string& why) {
  if (!frames.Frame(index, frame, &pixels)) {
    why = frames.Error();
    return nullptr;
  }
  const Bitmap* written = FrameAsWritten(image, pixels, converted);
  if (written == nullptr) {
    why = "frame " + std::to_string(index) + " cannot take the default image's kind";
  }
  return written;
}

// Looks at every pixel of every frame as written for `image` (the default image too), one frame
// at a time, until no reduced form can hold them all; the forms that hold every frame into
// `forms`. False, with `why` said, when a frame cannot be read or converted.
bool SurveyFrames(const Bitmap& image, AnimationSource& frames, std::vector<PngColourForm>& forms,
                  std::string& why) {
  PngColourSurvey survey;
  survey.See(image);
  const AnimationInfo& info = frames.Info();
  AnimationFrame frame;
  Bitmap pixels;
  Bitmap converted;
  for (uint32_t index = info.defaultIsFirstFrame ? 1 : 0;
       index < info.frameCount && !survey.RuledOut(); ++index) {
    const Bitmap* written = FrameToWrite(image, frames, index, frame, pixels, converted, why);
    if (written == nullptr) {
      return false;
    }
    survey.See(*written);
  }
  forms = survey.Forms(image);
  return true;
}

}  // namespace

const Bitmap* FrameAsWritten(const Bitmap& image, const Bitmap& pixels, Bitmap& converted) {
  if (pixels.BitCount() == image.BitCount()) {
    return &pixels;
  }
  const BitmapRect whole{0, 0, pixels.Width(), pixels.Height()};
  if ((image.BitCount() != 24 && image.BitCount() != 32) ||
      !converted.Create(pixels.Width(), pixels.Height(), image.BitCount()) ||
      !Bitmap::CopyRect(whole, converted, pixels)) {
    return nullptr;
  }
  return &converted;
}

bool EncodeApng(const Bitmap& image, AnimationSource& frames, const PngEncodeOptions& options,
                kiv::File& stream, std::string& why) {
  PngLayout layout;
  const AnimationInfo& info = frames.Info();
  if (image.Empty() || !ChoosePngLayout(image, layout) || info.frameCount == 0 ||
      (image.Pending() != nullptr && !image.Pending()->Produce())) {
    return false;
  }
  PngCompression compression = CompressionFor(options);
  // One reduced form for every frame, chosen by what it makes of the default image.
  std::vector<PngColourForm> forms;
  if (options.reduce && !SurveyFrames(image, frames, forms, why)) {
    return false;
  }
  const PngColourForm* form =
      ChooseColourForm(image, layout, forms, compression.level, options.interlace);
  // Every frame indexes the one palette.
  std::vector<uint8_t> palette;
  std::vector<uint8_t> transparency;
  TakeForm(image, form, layout, palette, transparency);
  compression.filter = compression.level == 0 || layout.colorType == PngLayout::kPalette
                           ? PngRowFilter::Mode::kNone
                           : PngRowFilter::Mode::kAdaptive;

  PngChunkWriter chunks(stream);
  uint8_t actl[8];
  PutBe32(actl, info.frameCount);
  PutBe32(actl + 4, info.loops);
  if (options.carried != nullptr) {
    options.carried->clear();
    chunks.RecordAncillary(options.carried);
  }
  if (!WriteHeader(chunks, image, layout, options.interlace)) {
    return false;
  }
  const bool grey =
      layout.colorType == PngLayout::kGrey || layout.colorType == PngLayout::kGreyAlpha;
  for (const PngChunk& chunk : image.Ancillary()) {
    if (grey && std::memcmp(chunk.type.data(), "iCCP", 4) == 0) {
      continue;  // an RGB profile cannot describe grey samples
    }
    if (!chunks.Chunk(chunk.type.data(), chunk.data.data(), chunk.data.size())) {
      return false;
    }
  }
  const ImageMetadata& metadata = image.Metadata();
  if (!WriteMetadataChunks(chunks, metadata, ChunkPlace::kBeforePlte, layout, palette) ||
      !chunks.Chunk("acTL", actl, sizeof actl) ||
      (!palette.empty() && !chunks.Chunk("PLTE", palette.data(), palette.size())) ||
      (!transparency.empty() && !chunks.Chunk("tRNS", transparency.data(), transparency.size())) ||
      !WriteMetadataChunks(chunks, metadata, ChunkPlace::kBeforeIdat, layout, palette)) {
    return false;
  }

  uint32_t sequence = 0;
  AnimationFrame frame;
  uint32_t first = 0;
  if (info.defaultIsFirstFrame) {
    if (!frames.Frame(0, frame, nullptr)) {
      why = frames.Error();
      return false;
    }
    if (!WriteFrameControl(chunks, frame, sequence)) {
      return false;
    }
    first = 1;
  }
  if (!WriteImageData(chunks, image, layout, form, compression, options.interlace, nullptr)) {
    return false;
  }
  Bitmap pixels;
  Bitmap converted;
  for (uint32_t index = first; index < info.frameCount; ++index) {
    const Bitmap* written = FrameToWrite(image, frames, index, frame, pixels, converted, why);
    if (written == nullptr) {
      return false;
    }
    if (!WriteFrameControl(chunks, frame, sequence) ||
        !WriteImageData(chunks, *written, layout, form, compression, options.interlace,
                        &sequence)) {
      return false;
    }
  }
  return WriteMetadataChunks(chunks, metadata, ChunkPlace::kAfterIdat, layout, palette) &&
         chunks.Chunk("IEND", nullptr, 0) && chunks.Finish();
}
