// The TIFF reader, over the file's bytes in memory.
//
// Results: a page of unsigned grey, RGB or CMYK samples of 9 to 16 bits, with or without alpha,
// keeps them at 16 bits, and a palette page keeps its colour map's 16-bit colours (tiff_wide.h),
// as does a CMYK page of 8 bits its alpha. Other pages go through libtiff's RGBA interface: one
// grey sample per pixel (white or black as zero) without alpha becomes 8-bit indexed with the grey
// ramp; a source with alpha, associated or not, becomes 32-bit blue-green-red-alpha with
// unassociated alpha; anything else (RGB, palette, CMYK, YCbCr; strips or tiles; no
// compression, LZW, deflate, PackBits or JPEG) becomes 24-bit blue-green-red. libtiff gives
// YCbCr only of 8-bit samples: a deeper YCbCr page fails to read. The Orientation tag is applied as
// the picture is placed (unless the load keeps the stored orientation). A file of several pages
// gives its first, the notes counting the pages. The ICC profile goes into the image as iCCP for a
// colour source; the page's EXIF, made a block of its own (tiff_exif.h) whose Orientation says how
// the written pixels stand, as eXIf (a BigTIFF's rebuilt as a classic TIFF structure); the XMP
// packet as iTXt. A block the PNG cannot hold (too large, damaged, a BigTIFF's EXIF with values
// past 32 bits) is noted as left out.
//
// Rows are decoded a strip or a row of tiles at a time into a band beside the pixel store. A
// band that fails to decode (data that ends early or is damaged) leaves its rows black, and the
// image is noted as truncated; a file of which no band decodes fails. The pixel store and the
// band are checked against Bitmap::kMaxPixelStoreBytes before either is allocated, and libtiff
// allocates no block larger than that.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/colour_chunks.h"
#include "image/exif_orientation.h"
#include "image/metadata.h"
#include "image/read/image_readers.h"
#include "image/read/metadata_chunks.h"
#include "image/read/tiff_exif.h"
#include "image/read/tiff_wide.h"
#include "image/upright.h"

namespace image_readers {
namespace {

// libtiff walks a file's directories to count them; counting stops here.
constexpr tdir_t kMaxCountedPages = 65535;

struct Memory {
  const uint8_t* data;
  uint64_t size;
  uint64_t at;
  std::string error;  // the first error libtiff reported
};

tmsize_t ReadMemory(thandle_t handle, void* out, tmsize_t count) {
  auto* memory = static_cast<Memory*>(handle);
  if (count <= 0 || memory->at >= memory->size) {
    return 0;
  }
  const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), memory->size - memory->at);
  std::memcpy(out, memory->data + memory->at, static_cast<size_t>(n));
  memory->at += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteNothing(thandle_t, void*, tmsize_t) {
  return 0;
}

toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
  auto* memory = static_cast<Memory*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) {
    base = memory->at;
  } else if (whence == SEEK_END) {
    base = memory->size;
  }
  // libtiff passes a negative distance as its two's complement.
  memory->at = base + offset;
  return memory->at;
}

int CloseNothing(thandle_t) {
  return 0;
}

toff_t SizeOfMemory(thandle_t handle) {
  return static_cast<Memory*>(handle)->size;
}

int MapNothing(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

int KeepFirstError(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* memory = static_cast<Memory*>(user);
  if (memory->error.empty()) {
    char words[200];
    std::vsnprintf(words, sizeof words, format, args);
    memory->error = words;
  }
  return 1;
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
// Ends an RGBA image's use of the file.
struct RgbaEnd {
  TIFFRGBAImage* rgba;
  ~RgbaEnd() { TIFFRGBAImageEnd(rgba); }
};

bool Fail(Bitmap& image, const Memory& memory, const char* detail) {
  image.Notes().detail = memory.error.empty() ? detail : memory.error;
  return false;
}

// The colour of a premultiplied sample at the opacity `alpha`, as an unassociated sample.
inline uint8_t Unpremultiply(uint32_t value, uint32_t alpha) {
  return alpha == 0
             ? 0
             : static_cast<uint8_t>(std::min<uint32_t>(255, (value * 255 + alpha / 2) / alpha));
}

// Turns a band row of packed ABGR words into the image's layout at `line`.
void ToLayout(const uint32_t* band, uint32_t width, uint32_t bytes, uint8_t* line) {
  for (uint32_t x = 0; x < width; ++x) {
    const uint32_t p = band[x];
    const uint32_t a = TIFFGetA(p);
    if (bytes == 1) {
      line[x] = static_cast<uint8_t>(TIFFGetR(p));
    } else if (bytes == 3) {
      line[3 * x] = static_cast<uint8_t>(TIFFGetB(p));
      line[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(p));
      line[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(p));
    } else {
      line[4 * x] = Unpremultiply(TIFFGetB(p), a);
      line[4 * x + 1] = Unpremultiply(TIFFGetG(p), a);
      line[4 * x + 2] = Unpremultiply(TIFFGetR(p), a);
      line[4 * x + 3] = static_cast<uint8_t>(a);
    }
  }
}

// The page's EXIF as a block of its own (tiff_exif.h), its Orientation `stated`.
void CarryExif(TIFF* tiff, const Memory& memory, uint16_t stated, ImageMetadata& metadata) {
  std::vector<uint8_t> block;
  switch (tiff_exif::MakeBlock(memory.data, memory.size, TIFFCurrentDirOffset(tiff), stated,
                               ImageMetadata::kMaxBlockBytes, block)) {
    case tiff_exif::Result::kMade:
      metadata::AddExif(std::move(block), false, metadata);
      break;
    case tiff_exif::Result::kDamaged:
      metadata.LeftOut("a damaged EXIF block");
      break;
    case tiff_exif::Result::kTooLarge:
      metadata.LeftOut("'eXIf' too large to carry");
      break;
    case tiff_exif::Result::kUnfit:
      metadata.LeftOut("the EXIF of a BigTIFF file (values past 32 bits)");
      break;
    case tiff_exif::Result::kNone:
      break;
  }
}

// The page's colour profile (for a colour page), EXIF and XMP, for the PNG.
void CarryChunks(TIFF* tiff, const Memory& memory, bool colour, uint16_t stated, Bitmap& image) {
  uint32_t count = 0;
  void* data = nullptr;
  if (colour && TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &count, &data) == 1 && data != nullptr &&
      count <= colour_chunks::kMaxIccProfileBytes) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    colour_chunks::AddIccProfile(std::vector<uint8_t>(bytes, bytes + count), image.Ancillary());
  }
  CarryExif(tiff, memory, stated, image.Metadata());
  if (TIFFGetField(tiff, TIFFTAG_XMLPACKET, &count, &data) == 1 && data != nullptr) {
    metadata_chunks::CarryXmp(static_cast<const uint8_t*>(data), count, image.Metadata());
  }
}

// The page's bands decoded: fails when none did, notes the image as truncated when some did not.
bool EndBands(uint32_t bands, uint32_t failedBands, const Memory& memory, Bitmap& image) {
  if (failedBands == bands) {
    return Fail(image, memory, "damaged TIFF image data");
  }
  if (failedBands > 0) {
    image.Notes().truncated = true;
    image.Notes().bytesPresent = memory.size;
  }
  return true;
}

// A page decoded by tiff_wide.h.
bool DecodeWidePage(TIFF* tiff, Memory& memory, int orientation, uint16_t stated, Bitmap& image) {
  tiff_wide::PageOutcome outcome;
  if (!tiff_wide::ReadPage(tiff, orientation, image, outcome)) {
    if (outcome.tooLarge) {
      image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
      return false;
    }
    return Fail(image, memory, "a TIFF page without pixels");
  }
  if (!EndBands(outcome.bands, outcome.failedBands, memory, image)) {
    return false;
  }
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  CarryChunks(tiff, memory, photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_PALETTE,
              stated, image);
  return true;
}

bool DecodeFirstPage(TIFF* tiff, Memory& memory, const Bitmap::LoadOptions& options,
                     Bitmap& image) {
  uint16_t stored = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &stored);
  if (stored < 1 || stored > 8) {
    stored = exif::kUpright;
  }
  // How the rows are placed, and what the EXIF copy then says of the pixels.
  const int orientation = options.autoOrient ? stored : exif::kUpright;
  const uint16_t stated = options.autoOrient ? exif::kUpright : stored;
  if (tiff_wide::Applies(tiff)) {
    return DecodeWidePage(tiff, memory, orientation, stated, image);
  }
  char words[1024] = {};
  if (TIFFRGBAImageOK(tiff, words) != 1) {
    image.Notes().detail = words[0] != 0 ? words : "a TIFF variant that is not read";
    return false;
  }
  TIFFRGBAImage rgba{};
  if (TIFFRGBAImageBegin(&rgba, tiff, 0, words) != 1) {
    image.Notes().detail = words[0] != 0 ? words : "a TIFF variant that is not read";
    return false;
  }
  RgbaEnd end{&rgba};
  const uint32_t width = rgba.width;
  const uint32_t height = rgba.height;
  uint16_t samples = 1;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  // One grey sample with an extra sample libtiff takes as alpha is read with alpha, not as grey.
  const bool grey =
      rgba.alpha == 0 && samples == 1 &&
      (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
  const uint32_t bytes = rgba.alpha != 0 ? 4 : grey ? 1 : 3;
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) {
    return Fail(image, memory, "a TIFF page without pixels");
  }
  // TIFF orientations are numbered as EXIF's.
  const bool swap = upright::SwapsSides(orientation);
  const uint32_t outWidth = swap ? height : width;
  const uint32_t outHeight = swap ? width : height;
  uint32_t bandRows = 0;
  if (TIFFIsTiled(tiff)) {
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &bandRows);
  } else {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &bandRows);
  }
  bandRows = std::max<uint32_t>(1, std::min(bandRows, height));
  if (Bitmap::StrideFor(outWidth, 8 * bytes) * outHeight > Bitmap::kMaxPixelStoreBytes ||
      uint64_t{width} * 4 * bandRows > Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  if (!image.Create(static_cast<int32_t>(outWidth), static_cast<int32_t>(outHeight), 8 * bytes)) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  if (grey) {
    image.SetGreyPalette();
  }
  uint16_t bits = 8;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  if (bits > 8) {
    image.Notes().samplesRounded = true;
    image.Notes().sampleBits = bits == 16 ? 0 : bits;
  }
  // The rows come as stored; they are put upright as they are placed.
  rgba.req_orientation = rgba.orientation;
  std::vector<uint32_t> band(static_cast<size_t>(width) * bandRows);
  std::vector<uint8_t> line(static_cast<size_t>(width) * bytes);
  uint32_t failedBands = 0;
  for (uint32_t top = 0; top < height; top += bandRows) {
    const uint32_t rows = std::min(bandRows, height - top);
    rgba.row_offset = static_cast<int>(top);
    rgba.col_offset = 0;
    std::fill(band.begin(), band.end(), 0u);
    if (TIFFRGBAImageGet(&rgba, band.data(), width, rows) != 1) {
      ++failedBands;
    }
    for (uint32_t y = 0; y < rows; ++y) {
      ToLayout(band.data() + static_cast<size_t>(y) * width, width, bytes, line.data());
      upright::PlaceRow(line.data(), top + y, width, height, bytes, orientation, image);
    }
  }
  if (!EndBands((height + bandRows - 1) / bandRows, failedBands, memory, image)) {
    return false;
  }
  CarryChunks(tiff, memory, !grey && photometric != PHOTOMETRIC_SEPARATED, stated, image);
  return true;
}

}  // namespace

bool ReadTiff(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options) {
  image.Clear();
  std::vector<uint8_t> data;
  if (!ReadWholeStream(stream, data, image)) {
    return false;
  }
  Memory memory{data.data(), data.size(), 0, std::string()};
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> open(TIFFOpenOptionsAlloc());
  if (!open) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  TIFFOpenOptionsSetMaxSingleMemAlloc(open.get(),
                                      static_cast<tmsize_t>(Bitmap::kMaxPixelStoreBytes));
  TIFFOpenOptionsSetErrorHandlerExtR(open.get(), KeepFirstError, &memory);
  TIFFOpenOptionsSetWarningHandlerExtR(open.get(), IgnoreWarning, nullptr);
  std::unique_ptr<TIFF, TiffCloser> tiff(
      TIFFClientOpenExt("TIFF", "rm", &memory, ReadMemory, WriteNothing, SeekMemory, CloseNothing,
                        SizeOfMemory, MapNothing, UnmapNothing, open.get()));
  if (!tiff) {
    return Fail(image, memory, "a damaged TIFF header");
  }
  if (!DecodeFirstPage(tiff.get(), memory, options, image)) {
    return false;
  }
  tdir_t pages = 1;
  while (pages < kMaxCountedPages && TIFFReadDirectory(tiff.get()) == 1) {
    ++pages;
  }
  image.Notes().pages = pages;
  return true;
}

}  // namespace image_readers
