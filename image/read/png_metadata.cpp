#include "image/read/png_metadata.h"

#include <string>
#include <vector>

#include "image/metadata.h"
#include "image/read/png_chunk_walk.h"

namespace {

// The chunks the pixel reader and the colour chunks take care of.
constexpr const char* kPixelReaderChunks[] = {"iCCP", "sRGB", "gAMA", "cHRM", "pHYs", "tRNS"};
// Carried byte for byte.
constexpr const char* kTextChunks[] = {"tEXt", "zTXt", "iTXt", "tIME", "eXIf"};
// An animation's chunks, read by the animation reader (apng_reader.h).
constexpr const char* kAnimationChunks[] = {"acTL", "fcTL", "fdAT"};

constexpr int kPalette = 3;

template <size_t N>
bool IsOneOf(const PngChunkHeader& header, const char* const (&names)[N]) {
  for (const char* name : names) {
    if (header.Is(name)) {
      return true;
    }
  }
  return false;
}

std::string Named(const PngChunkHeader& header) {
  return "'" + std::string(header.type.data(), 4) + "'";
}

// A sample of `depth` bits at 16 bits.
uint16_t To16(uint32_t value, int depth) {
  const uint32_t top = (1u << depth) - 1;
  return static_cast<uint16_t>((value * 65535u + top / 2) / top);
}

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// The background of a bKGD chunk's `data` in a source of `colourType` and `depth`.
bool ReadBackground(const std::vector<uint8_t>& data, int colourType, int depth,
                    const std::vector<uint8_t>& palette, BackgroundColour& out) {
  const uint32_t top = (1u << depth) - 1;
  if (colourType == kPalette) {
    if (data.size() != 1 || size_t{data[0]} * 3 + 3 > palette.size()) {
      return false;
    }
    const uint8_t* entry = &palette[size_t{data[0]} * 3];
    out = BackgroundColour{To16(entry[0], 8), To16(entry[1], 8), To16(entry[2], 8)};
    return true;
  }
  if ((colourType & 2) == 0) {
    if (data.size() != 2 || Be16(data.data()) > top) {
      return false;
    }
    const uint16_t grey = To16(Be16(data.data()), depth);
    out = BackgroundColour{grey, grey, grey};
    return true;
  }
  if (data.size() != 6 || Be16(&data[0]) > top || Be16(&data[2]) > top || Be16(&data[4]) > top) {
    return false;
  }
  out = BackgroundColour{To16(Be16(&data[0]), depth), To16(Be16(&data[2]), depth),
                         To16(Be16(&data[4]), depth)};
  return true;
}

// The significant bits of an sBIT chunk's `data` in a source of `colourType` and `depth`.
bool ReadSignificantBits(const std::vector<uint8_t>& data, int colourType, int depth,
                         SignificantBits& out) {
  const bool colour = (colourType & 2) != 0;
  const bool alpha = (colourType & 4) != 0;
  const size_t expected = (colour ? 3u : 1u) + (alpha ? 1u : 0u);
  const int sampleDepth = colourType == kPalette ? 8 : depth;
  if (data.size() != expected) {
    return false;
  }
  for (uint8_t bits : data) {
    if (bits == 0 || bits > sampleDepth) {
      return false;
    }
  }
  out.red = data[0];
  out.green = colour ? data[1] : data[0];
  out.blue = colour ? data[2] : data[0];
  out.alpha = alpha ? data.back() : 0;
  return true;
}

}  // namespace

void CarryPngMetadata(kiv::File& stream, ImageMetadata& out) {
  PngChunkWalker walker(stream);
  PngChunkHeader header;
  int colourType = 0;
  int depth = 8;
  std::vector<uint8_t> palette;
  ChunkPlace place = ChunkPlace::kBeforePlte;
  std::vector<uint8_t> data;
  while (walker.Next(header)) {
    if (header.Is("IHDR")) {
      if (walker.ReadData(header, data) && data.size() == 13) {
        depth = data[8];
        colourType = data[9];
      }
      continue;
    }
    if (header.Is("PLTE")) {
      walker.ReadData(header, palette);
      place = ChunkPlace::kBeforeIdat;
      continue;
    }
    if (header.Is("IDAT")) {
      place = ChunkPlace::kAfterIdat;
      continue;
    }
    if (header.Critical() || IsOneOf(header, kPixelReaderChunks) ||
        IsOneOf(header, kAnimationChunks)) {
      continue;
    }
    const bool known = IsOneOf(header, kTextChunks) || header.Is("bKGD") || header.Is("sBIT");
    if (!known && !header.SafeToCopy()) {
      out.LeftOut("chunk " + Named(header) + " is not safe to copy");
      continue;
    }
    if (!out.Fits(header.length)) {
      out.LeftOut(Named(header) + " too large to carry");
      continue;
    }
    if (!walker.ReadData(header, data)) {
      out.LeftOut("damaged chunk " + Named(header));
      continue;
    }
    PngChunk chunk;
    chunk.type = header.type;
    if (header.Is("bKGD")) {
      BackgroundColour background;
      if (!ReadBackground(data, colourType, depth, palette, background)) {
        out.LeftOut("invalid 'bKGD'");
      } else if (!out.background) {
        out.background = background;
      }
    } else if (header.Is("sBIT")) {
      SignificantBits bits;
      if (!ReadSignificantBits(data, colourType, depth, bits)) {
        out.LeftOut("invalid 'sBIT'");
      } else if (!out.significantBits) {
        out.significantBits = bits;
      }
    } else {
      chunk.data = std::move(data);
      const bool beforeIdat = header.Is("eXIf") && place == ChunkPlace::kAfterIdat;
      out.AddChunk(std::move(chunk), beforeIdat ? ChunkPlace::kBeforeIdat : place);
      data = std::vector<uint8_t>();
    }
  }
}
