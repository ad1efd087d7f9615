// The BMP reader: Windows and OS/2 bitmaps, uncompressed, RLE8, RLE4 and bit fields.
//
// Accepted information headers: OS/2 1.x core (12 bytes, 3-byte colour table entries), OS/2 2.x
// (16 or 64 bytes), BITMAPINFOHEADER (40) and its V2, V3, V4 and V5 successors (52, 56, 108,
// 124). A header outside these, a width or height of 0, a bit count other than 1, 2, 4, 8, 16,
// 24 or 32, more than 256 colours for an indexed image, a compression this reader does not
// decode (JPEG or PNG inside a BMP, OS/2 Huffman or RLE24, anything unknown) or masks that make
// no sense fail to read, and so does a file with hardly any of its uncompressed pixel data.
// Everything else decodes to the pixels the file describes; pixel data that ends early leaves
// the missing pixels 0 and is noted in the image's notes as truncated.
//
// Alpha. A plain 32-bit BMP is opaque: its fourth byte is often left over garbage. A header that
// names an alpha channel means it: bit fields (V3, V4 or V5 header) or BI_ALPHABITFIELDS with a
// non-zero alpha mask give a 32-bit image with that alpha, unless every pixel's alpha is 0,
// which a writer that filled the mask but not the channel leaves: such an image is opaque.
//
// What the header says of colour and size goes into the image's chunks: pixels per metre become
// pHYs; a V4 or V5 header declaring sRGB (or the system's colour space, which is sRGB) becomes
// sRGB, with a V5 header's rendering intent; a V5 header's embedded profile becomes iCCP when it
// is a usable RGB profile lying within the file.
#include <algorithm>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/read/bmp_rle.h"
#include "image/byte_order.h"
#include "image/colour_chunks.h"
#include "image/pixels.h"
#include "image/read/image_readers.h"

namespace image_readers {
namespace {

constexpr uint32_t kCompressionRgb = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;
constexpr uint32_t kCompressionAlphaBitFields = 6;

// Pixel data that ends early decodes with the missing pixels 0, but a file holding less than
// 1/kMinPresentShare of its declared uncompressed pixel data is refused: nearly all it would show
// is made up, for work that grows with the declared size rather than with the file's.
constexpr uint64_t kMinPresentShare = 64;

// Colour spaces of V4 and V5 headers, and a V5 header's rendering intents.
constexpr uint32_t kColourSpaceSrgb = 0x73524742;      // 'sRGB'
constexpr uint32_t kColourSpaceWindows = 0x57696E20;   // 'Win '
constexpr uint32_t kColourSpaceEmbedded = 0x4D424544;  // 'MBED'
constexpr uint32_t kIntentBusiness = 1;                // saturation
constexpr uint32_t kIntentGraphics = 2;                // relative colorimetric
constexpr uint32_t kIntentAbsoluteColorimetric = 8;    // absolute colorimetric
constexpr uint8_t kPngIntentPerceptual = 0;
constexpr uint8_t kPngIntentRelative = 1;
constexpr uint8_t kPngIntentSaturation = 2;
constexpr uint8_t kPngIntentAbsolute = 3;

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kLargestInfoHeader = 124;

// One colour field of a bit-field pixel: where it is and how wide.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

// Fills `channel` from `mask`. False when the mask's bits are not one contiguous run.
bool MakeChannel(uint32_t mask, Channel& channel) {
  channel = Channel{};
  channel.mask = mask;
  if (mask == 0) {
    return true;
  }
  while (((mask >> channel.shift) & 1u) == 0) {
    ++channel.shift;
  }
  const uint64_t run = static_cast<uint64_t>(mask) >> channel.shift;
  while (((run >> channel.bits) & 1u) != 0) {
    ++channel.bits;
  }
  return run == (uint64_t{1} << channel.bits) - 1;
}

// The channel's value as 8 bits, scaled by rounding so that a full field is 255 whatever its
// width: (value * 255 + max / 2) / max, in 64 bits for fields up to 32 bits wide.
uint8_t Expand(uint32_t pixel, const Channel& channel) {
  if (channel.bits == 0) {
    return 0;
  }
  const uint64_t value = (pixel & channel.mask) >> channel.shift;
  return pixels::ScaleTo8(value, (uint64_t{1} << channel.bits) - 1);
}

struct BmpInfo {
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // positive: rows stored bottom-up
  bool topDown = false;
  uint32_t bitCount = 0;
  uint32_t compression = kCompressionRgb;
  uint32_t colorsUsed = 0;
  uint32_t paletteEntryBytes = 4;
  bool os2 = false;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  uint32_t maskBytesAfterHeader = 0;
  int32_t pixelsPerMetreX = 0;
  int32_t pixelsPerMetreY = 0;
  uint32_t colourSpace = 0;    // V4 and V5
  uint32_t intent = 0;         // V5
  uint32_t profileOffset = 0;  // V5: from the start of the information header
  uint32_t profileBytes = 0;   // V5
};

// Reads and checks the information header. False for a header this reader cannot make sense of.
bool ReadInfoHeader(kiv::File& stream, BmpInfo& info) {
  uint8_t header[kLargestInfoHeader] = {};
  if (stream.Read(4, header) != 4) {
    return false;
  }
  info.headerSize = Le32(header);
  switch (info.headerSize) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
      break;
    default:
      return false;
  }
  // A short header reads as zeros and fails the checks below.
  stream.Read(info.headerSize - 4, header + 4);

  if (info.headerSize == 12) {
    info.width = Le16(header + 4);
    info.height = Le16(header + 6);
    info.bitCount = Le16(header + 10);
    info.paletteEntryBytes = 3;
  } else {
    info.width = static_cast<int32_t>(Le32(header + 4));
    info.height = static_cast<int32_t>(Le32(header + 8));
    info.bitCount = Le16(header + 14);
    if (info.headerSize >= 40) {
      info.compression = Le32(header + 16);
      info.pixelsPerMetreX = static_cast<int32_t>(Le32(header + 24));
      info.pixelsPerMetreY = static_cast<int32_t>(Le32(header + 28));
      info.colorsUsed = Le32(header + 32);
    }
  }
  if (info.headerSize >= 108) {
    info.colourSpace = Le32(header + 56);
  }
  if (info.headerSize >= 124) {
    info.intent = Le32(header + 108);
    info.profileOffset = Le32(header + 112);
    info.profileBytes = Le32(header + 116);
  }
  info.os2 = info.headerSize == 16 || info.headerSize == 64;
  if (info.headerSize >= 52) {
    info.masks[0] = Le32(header + 40);
    info.masks[1] = Le32(header + 44);
    info.masks[2] = Le32(header + 48);
  }
  if (info.headerSize >= 56) {
    info.masks[3] = Le32(header + 52);
  }

  if (info.width <= 0 || info.height == 0) {
    return false;
  }
  if (info.height < 0) {
    info.topDown = true;
    info.height = -info.height;  // int64: -INT32_MIN does not overflow
  }
  switch (info.bitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 24:
      break;
    case 16:
    case 32:
      if (info.headerSize == 12) {
        return false;
      }
      break;
    default:
      return false;
  }
  if (info.bitCount <= 8 && info.colorsUsed > 256) {
    return false;
  }
  switch (info.compression) {
    case kCompressionRgb:
      return true;
    case kCompressionRle8:
      return info.bitCount == 8 && !info.topDown;
    case kCompressionRle4:
      return info.bitCount == 4 && !info.topDown;
    case kCompressionBitFields:
    case kCompressionAlphaBitFields:
      // For OS/2 2.x headers 3 means Huffman coding, which is not decoded.
      if (info.os2 || (info.bitCount != 16 && info.bitCount != 32)) {
        return false;
      }
      if (info.headerSize == 40) {
        // The masks follow the header.
        info.maskBytesAfterHeader = info.compression == kCompressionAlphaBitFields ? 16 : 12;
        uint8_t masks[16] = {};
        stream.Read(info.maskBytesAfterHeader, masks);
        for (int i = 0; i < 4; ++i) {
          info.masks[i] = Le32(masks + 4 * i);
        }
      }
      return true;
    default:
      return false;
  }
}

// Reads the colour table of `count` entries at the stream's position.
void ReadPalette(kiv::File& stream, const BmpInfo& info, uint32_t count, Bitmap& image) {
  std::vector<uint8_t> raw(static_cast<size_t>(count) * info.paletteEntryBytes, 0);
  if (!raw.empty()) {
    stream.Read(static_cast<uint32_t>(raw.size()), raw.data());
  }
  auto& palette = image.Palette();
  palette.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + static_cast<size_t>(i) * info.paletteEntryBytes;
    palette[i] = Bitmap::PaletteEntry{p[0], p[1], p[2], 0};
  }
}

// Reads up to `bytes` into `destination` in calls of at most 2^30 bytes.
void ReadInto(kiv::File& stream, uint8_t* destination, uint64_t bytes) {
  while (bytes > 0) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(bytes, uint64_t{1} << 30));
    const uint32_t got = stream.Read(chunk, destination);
    if (got == 0) {
      return;
    }
    destination += got;
    bytes -= got;
  }
}

void FlipRows(Bitmap& image) {
  const int32_t height = image.Height();
  const uint32_t stride = image.Stride();
  for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(image.Row(top), image.Row(top) + stride, image.Row(bottom));
  }
}

// True when any pixel of the 32-bit image is not fully transparent.
bool HasVisibleAlpha(const Bitmap& image) {
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.Row(y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      if (row[4 * x + 3] != 0) {
        return true;
      }
    }
  }
  return false;
}

void MakeOpaque(Bitmap& image) {
  for (int32_t y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.Row(y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      row[4 * x + 3] = 255;
    }
  }
}

bool IsMaskSet(const BmpInfo& info, uint32_t red, uint32_t green, uint32_t blue) {
  return info.masks[0] == red && info.masks[1] == green && info.masks[2] == blue;
}

// Checks the bit-field masks: contiguous, within the pixel, not overlapping, not all zero.
bool MakeChannels(const BmpInfo& info, Channel channels[3]) {
  const uint64_t pixelBits = info.bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  uint32_t seen = 0;
  for (int i = 0; i < 3; ++i) {
    if (!MakeChannel(info.masks[i], channels[i]) || info.masks[i] > pixelBits ||
        (seen & info.masks[i]) != 0) {
      return false;
    }
    seen |= info.masks[i];
  }
  return seen != 0;
}

// True when the header names an alpha channel that can be used: a non-zero alpha mask of bit
// fields, one contiguous run within the pixel that overlaps no colour. A mask that makes no sense
// is passed over and the image stays opaque, as it was read before masks were looked at.
bool CarriesAlpha(const BmpInfo& info) {
  const bool named = info.compression == kCompressionAlphaBitFields ||
                     (info.compression == kCompressionBitFields && info.headerSize >= 56);
  const uint32_t mask = info.masks[3];
  Channel channel;
  return named && mask != 0 && MakeChannel(mask, channel) &&
         (info.bitCount == 32 || mask <= 0xFFFFu) &&
         (mask & (info.masks[0] | info.masks[1] | info.masks[2])) == 0;
}

// Decodes bit-field pixels whose masks differ from the plain layouts: 16-bit pixels become a
// 24-bit image, 32-bit pixels (and 16-bit ones with alpha) a 32-bit one, opaque unless `alpha`.
// Rows are read one at a time.
bool ReadMaskedPixels(kiv::File& stream, const BmpInfo& info, bool alpha, Bitmap& image) {
  Channel channels[3];
  if (!MakeChannels(info, channels)) {
    image.Notes().detail = "bit-field masks that make no sense";
    return false;
  }
  Channel alphaChannel;
  MakeChannel(alpha ? info.masks[3] : 0, alphaChannel);
  const uint64_t sourceStride = Bitmap::StrideFor(static_cast<uint64_t>(info.width), info.bitCount);
  const uint32_t outBits = info.bitCount == 16 && !alpha ? 24 : 32;
  if (!image.Create(static_cast<int32_t>(info.width), static_cast<int32_t>(info.height), outBits)) {
    return false;
  }
  std::vector<uint8_t> source(static_cast<size_t>(sourceStride));
  const int32_t height = image.Height();
  const int32_t width = image.Width();
  const int bytesIn = static_cast<int>(info.bitCount / 8);
  const int bytesOut = static_cast<int>(outBits / 8);
  for (int32_t i = 0; i < height; ++i) {
    // Rows past the end of the data decode from zeros: black, and opaque like every other pixel.
    std::fill(source.begin(), source.end(), 0);
    stream.Read(static_cast<uint32_t>(source.size()), source.data());
    uint8_t* out = image.Row(info.topDown ? height - 1 - i : i);
    const uint8_t* in = source.data();
    for (int32_t x = 0; x < width; ++x, in += bytesIn, out += bytesOut) {
      const uint32_t pixel = bytesIn == 2 ? Le16(in) : Le32(in);
      out[0] = Expand(pixel, channels[2]);
      out[1] = Expand(pixel, channels[1]);
      out[2] = Expand(pixel, channels[0]);
      if (bytesOut == 4) {
        out[3] = alpha ? Expand(pixel, alphaChannel) : 255;
      }
    }
  }
  return true;
}

}  // namespace

void SeekTo(kiv::File& stream, uint64_t offset) {
  stream.Seek(static_cast<int64_t>(offset) - static_cast<int64_t>(stream.position()));
}

namespace {

uint8_t PngIntent(uint32_t intent) {
  switch (intent) {
    case kIntentBusiness:
      return kPngIntentSaturation;
    case kIntentGraphics:
      return kPngIntentRelative;
    case kIntentAbsoluteColorimetric:
      return kPngIntentAbsolute;
    default:
      return kPngIntentPerceptual;
  }
}

// Adds the chunks the header describes to the decoded image.
void AddChunks(kiv::File& stream, const BmpInfo& info, Bitmap& image) {
  std::vector<PngChunk>& chunks = image.Ancillary();
  if (info.colourSpace == kColourSpaceSrgb || info.colourSpace == kColourSpaceWindows) {
    chunks.push_back(colour_chunks::MakeSrgb(info.headerSize >= 124 ? PngIntent(info.intent)
                                                                    : kPngIntentPerceptual));
  } else if (info.colourSpace == kColourSpaceEmbedded && info.headerSize >= 124 &&
             info.profileBytes <= colour_chunks::kMaxIccProfileBytes) {
    const uint64_t start = uint64_t{kFileHeaderBytes} + info.profileOffset;
    if (start <= stream.size() && info.profileBytes <= stream.size() - start) {
      std::vector<uint8_t> profile(info.profileBytes);
      SeekTo(stream, start);
      if (stream.Read(info.profileBytes, profile.data()) == info.profileBytes) {
        colour_chunks::AddIccProfile(profile, chunks);
      }
    }
  }
  if (info.pixelsPerMetreX > 0 && info.pixelsPerMetreY > 0) {
    chunks.push_back(colour_chunks::MakePhys(static_cast<uint32_t>(info.pixelsPerMetreX),
                                             static_cast<uint32_t>(info.pixelsPerMetreY), true));
  }
}

// Decodes the pixels the information header describes into `image`.
bool DecodePixels(kiv::File& stream, uint32_t pixelOffset, const BmpInfo& info, Bitmap& image) {
  // Bit fields equal to the plain layouts are read as such; others are decoded through masks.
  const bool alpha = CarriesAlpha(info);
  bool masked = false;
  if (info.compression == kCompressionBitFields || info.compression == kCompressionAlphaBitFields) {
    masked = info.bitCount == 16 ? alpha || !IsMaskSet(info, 0x7C00, 0x03E0, 0x001F)
                                 : !IsMaskSet(info, 0xFF0000, 0x00FF00, 0x0000FF) ||
                                       (alpha && info.masks[3] != 0xFF000000u);
  }

  // The source rows and the image built from them must both stay within the bound.
  const uint64_t sourceStride = Bitmap::StrideFor(static_cast<uint64_t>(info.width), info.bitCount);
  const uint64_t height = static_cast<uint64_t>(info.height);
  const uint32_t maskedBits = info.bitCount == 16 && !alpha ? 24 : 32;
  if (sourceStride * height > Bitmap::kMaxPixelStoreBytes ||
      (masked && Bitmap::StrideFor(static_cast<uint64_t>(info.width), maskedBits) * height >
                     Bitmap::kMaxPixelStoreBytes)) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }

  // The colour table follows the header (and the masks of a 40-byte header). Direct-colour
  // images may carry one as a suggestion; one longer than a PNG palette can hold is skipped.
  uint32_t paletteCount = 0;
  if (info.bitCount <= 8) {
    paletteCount = info.colorsUsed != 0 ? info.colorsUsed : (1u << info.bitCount);
  } else if (info.colorsUsed <= 256) {
    paletteCount = info.colorsUsed;
  }
  const uint64_t paletteStart = kFileHeaderBytes + info.headerSize + info.maskBytesAfterHeader;
  std::vector<Bitmap::PaletteEntry> palette;
  if (paletteCount > 0) {
    SeekTo(stream, paletteStart);
    ReadPalette(stream, info, paletteCount, image);
    palette.swap(image.Palette());
  }
  // Without a data offset the pixels follow the whole table, skipped entries included.
  const uint64_t tableEntries = info.bitCount <= 8 ? paletteCount : info.colorsUsed;
  const uint64_t dataStart =
      pixelOffset != 0 ? pixelOffset : paletteStart + tableEntries * info.paletteEntryBytes;
  SeekTo(stream, dataStart);

  const bool rle = info.compression == kCompressionRle8 || info.compression == kCompressionRle4;
  const uint64_t present = stream.size() > dataStart ? stream.size() - dataStart : 0;
  if (!rle && present * kMinPresentShare < sourceStride * height) {
    image.Notes().detail = "holds hardly any of its pixel data";
    return false;
  }
  if (!rle && present < sourceStride * height) {
    image.Notes().truncated = true;
    image.Notes().bytesPresent = stream.size();
    image.Notes().bytesExpected = dataStart + sourceStride * height;
  }
  if (masked) {
    if (!ReadMaskedPixels(stream, info, alpha, image)) {
      return false;
    }
    image.Palette().swap(palette);
    if (alpha && !HasVisibleAlpha(image)) {
      MakeOpaque(image);
    }
    return true;
  }
  if (!image.Create(static_cast<int32_t>(info.width), static_cast<int32_t>(info.height),
                    info.bitCount)) {
    return false;
  }
  image.Palette().swap(palette);
  if (rle) {
    if (!DecodeBmpRle(stream, info.compression == kCompressionRle4, image)) {
      image.Notes().truncated = true;
      image.Notes().bytesPresent = stream.size();
    }
    return true;
  }
  ReadInto(stream, image.Pixels().data(), image.Pixels().size());
  if (info.topDown) {
    FlipRows(image);
  }
  if (info.bitCount == 32 && (!alpha || !HasVisibleAlpha(image))) {
    MakeOpaque(image);
  }
  return true;
}

}  // namespace

bool ReadBmp(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options) {
  image.Clear();
  uint8_t fileHeader[kFileHeaderBytes] = {};
  const uint32_t got = stream.Read(kFileHeaderBytes, fileHeader);
  if (got < 2 || fileHeader[0] != 'B' || fileHeader[1] != 'M') {
    SeekTo(stream, 0);
    return ReadPng(stream, image, options);
  }
  const uint32_t pixelOffset = Le32(fileHeader + 10);

  BmpInfo info;
  if (!ReadInfoHeader(stream, info)) {
    image.Notes().detail = "a BMP header this reader does not decode";
    return false;
  }
  if (!DecodePixels(stream, pixelOffset, info, image)) {
    return false;
  }
  AddChunks(stream, info, image);
  return true;
}

}  // namespace image_readers
