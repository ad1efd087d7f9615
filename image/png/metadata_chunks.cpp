#include "image/png/metadata_chunks.h"

#include <algorithm>

#include "image/png/png_chunk_writer.h"
#include "image/png/png_scanlines.h"

namespace {

// A 16-bit sample at `depth` bits, rounded.
uint16_t FromSixteen(uint32_t value, int depth) {
  const uint32_t top = (1u << depth) - 1;
  return static_cast<uint16_t>((value * top + 32767) / 65535);
}

void PutBe16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

bool Grey(const PngLayout& layout) {
  return layout.colorType == PngLayout::kGrey || layout.colorType == PngLayout::kGreyAlpha;
}

bool HasAlpha(const PngLayout& layout) {
  return layout.colorType == PngLayout::kGreyAlpha || layout.colorType == PngLayout::kRgba;
}

}  // namespace

std::vector<uint8_t> SignificantBitsData(const SignificantBits& bits, const PngLayout& layout) {
  const int sampleDepth = layout.colorType == PngLayout::kPalette ? 8 : layout.depth;
  auto clamp = [sampleDepth](int value) {
    return static_cast<uint8_t>(std::clamp(value, 1, sampleDepth));
  };
  std::vector<uint8_t> data;
  if (Grey(layout)) {
    data.push_back(clamp(std::max({bits.red, bits.green, bits.blue})));
  } else {
    data = {clamp(bits.red), clamp(bits.green), clamp(bits.blue)};
  }
  if (HasAlpha(layout)) {
    data.push_back(clamp(bits.alpha == 0 ? sampleDepth : bits.alpha));
  }
  return data;
}

std::vector<uint8_t> BackgroundData(const BackgroundColour& colour, const PngLayout& layout,
                                    const std::vector<uint8_t>& plte) {
  std::vector<uint8_t> data;
  if (layout.colorType == PngLayout::kPalette) {
    const uint8_t r = static_cast<uint8_t>(FromSixteen(colour.red, 8));
    const uint8_t g = static_cast<uint8_t>(FromSixteen(colour.green, 8));
    const uint8_t b = static_cast<uint8_t>(FromSixteen(colour.blue, 8));
    for (size_t i = 0; i + 2 < plte.size(); i += 3) {
      if (plte[i] == r && plte[i + 1] == g && plte[i + 2] == b) {
        data.push_back(static_cast<uint8_t>(i / 3));
        break;
      }
    }
  } else if (Grey(layout)) {
    // Rec. 601 luminance, in thousandths.
    const uint32_t grey =
        (299u * colour.red + 587u * colour.green + 114u * colour.blue + 500) / 1000;
    PutBe16(data, FromSixteen(grey, layout.depth));
  } else {
    PutBe16(data, FromSixteen(colour.red, layout.depth));
    PutBe16(data, FromSixteen(colour.green, layout.depth));
    PutBe16(data, FromSixteen(colour.blue, layout.depth));
  }
  return data;
}

bool WriteMetadataChunks(PngChunkWriter& chunks, const ImageMetadata& metadata, ChunkPlace place,
                         const PngLayout& layout, const std::vector<uint8_t>& plte) {
  if (place == ChunkPlace::kBeforePlte && metadata.significantBits) {
    const std::vector<uint8_t> data = SignificantBitsData(*metadata.significantBits, layout);
    if (!chunks.Chunk("sBIT", data.data(), data.size())) {
      return false;
    }
  }
  if (place == ChunkPlace::kBeforeIdat && metadata.background) {
    const std::vector<uint8_t> data = BackgroundData(*metadata.background, layout, plte);
    if (!data.empty() && !chunks.Chunk("bKGD", data.data(), data.size())) {
      return false;
    }
  }
  for (const CarriedChunk& carried : metadata.Chunks()) {
    if (carried.place == place &&
        !chunks.Chunk(carried.chunk.type.data(), carried.chunk.data.data(),
                      carried.chunk.data.size())) {
      return false;
    }
  }
  return true;
}
