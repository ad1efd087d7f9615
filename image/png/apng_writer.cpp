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

// The compressed rows of `image` as IDAT chunks, or fdAT chunks numbered from `sequence` on.
bool WriteImageData(PngChunkWriter& chunks, const Bitmap& image, const PngLayout& layout,
                    const PngCompression& compression, bool interlace, uint32_t* sequence) {
  const PngScanlines rows(image, layout, interlace);
  IdatWriter idat(chunks, sequence);
  return CompressPngImageData(rows, compression, idat) && idat.Finish();
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
  compression.filter = compression.level == 0 || layout.colorType == PngLayout::kPalette
                           ? PngRowFilter::Mode::kNone
                           : PngRowFilter::Mode::kAdaptive;
  // Every frame indexes the one palette.
  const std::vector<uint8_t> palette = PaletteData(image, layout);
  const std::vector<uint8_t> transparency = TransparencyData(image, layout, palette.size() / 3);

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
  if (!WriteImageData(chunks, image, layout, compression, options.interlace, nullptr)) {
    return false;
  }
  Bitmap pixels;
  Bitmap converted;
  for (uint32_t index = first; index < info.frameCount; ++index) {
    if (!frames.Frame(index, frame, &pixels)) {
      why = frames.Error();
      return false;
    }
    const Bitmap* written = FrameAsWritten(image, pixels, converted);
    if (written == nullptr) {
      why = "frame " + std::to_string(index) + " cannot take the default image's kind";
      return false;
    }
    if (!WriteFrameControl(chunks, frame, sequence) ||
        !WriteImageData(chunks, *written, layout, compression, options.interlace, &sequence)) {
      return false;
    }
  }
  return WriteMetadataChunks(chunks, metadata, ChunkPlace::kAfterIdat, layout, palette) &&
         chunks.Chunk("IEND", nullptr, 0) && chunks.Finish();
}
