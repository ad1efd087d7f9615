// The PNG reader, through libpng.
//
// Results by source, each keeping its kind of colour and its samples unchanged:
//   palette 1/2/4/8 bits        indexed of that depth, its tRNS as PaletteAlpha()
//   grey 1/2/4/8 bits           indexed of that depth with the grey ramp, Grey(); a tRNS grey
//                               makes that entry transparent
//   grey+alpha 8                32-bit blue-green-red-alpha, Grey()
//   RGB 8, RGBA 8               24-bit, 32-bit (RGB with a tRNS colour: 32-bit)
//   16-bit grey, grey+alpha,    Wide() 16, 32, 48, 64 bits (grey or RGB with a tRNS colour
//   RGB, RGBA                   take an alpha channel: 32 and 64 bits)
// Interlaced sources are read through all passes; the notes say the source was a PNG and
// whether it was interlaced.
//
// The colour and size chunks before the image data (iCCP, sRGB, gAMA, cHRM, pHYs) are carried
// into the image byte for byte: the first chunk of each type, when it is well formed. An iCCP is
// carried only for a colour source (RGB, RGBA, palette) whose profile is a usable RGB profile
// (its chunk made anew when too short for libpng to read, see colour_chunks::AddIccpChunk); with
// it, an sRGB chunk is left out, as a PNG holds only one of the two.
//
// The other chunks that stay true after the conversion (text, EXIF, time, background, ...) are
// found by a walk over the file's chunks, see png_metadata.h; an animated PNG's frames too, see
// apng_reader.h.
//
// libpng reports errors by longjmp. Everything that can jump lives in DecodePng, which holds no
// object with a destructor; the libpng structures are owned by a PngStructs in the caller's
// frame, so a jump neither leaks nor skips a destructor.
#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/colour_chunks.h"
#include "image/read/image_readers.h"
#include "image/read/apng_reader.h"
#include "image/read/png_metadata.h"
#include "image/png/png_structs.h"

namespace image_readers {
namespace {

// Ancillary chunks are held to this size each; a larger one is skipped.
constexpr png_alloc_size_t kMaxChunkBytes = 4u << 20;
// The carried chunks one file keeps, all together, at most; a chunk past it is dropped.
constexpr size_t kMaxCarriedBytes = 4u << 20;
// How many of the chunks kept below libpng holds at once; later ones are dropped unread. A PNG has
// at most one of each of the five kinds, so this leaves room for repeats while the memory held
// stays below kMaxCachedChunks * kMaxChunkBytes, however long the file.
constexpr png_uint_32 kMaxCachedChunks = 32;

// The chunks carried to the output, kept by libpng as they are stored (within kMaxChunkBytes).
constexpr png_byte kCarriedChunks[] = "iCCP\0sRGB\0gAMA\0cHRM\0pHYs";
constexpr int kCarriedChunkCount = 5;
// Chunks of any length that nothing here uses. Handled as libpng would, it allocates a buffer of
// the length a chunk declares before reading it, whatever the bound set by
// png_set_chunk_malloc_max, so a file of a few bytes declaring a 2 GiB sPLT would take 2 GiB;
// routed as unknown chunks they are read within kMaxChunkBytes and dropped (KeepFirstCarried).
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0eXIf\0pCAL\0sCAL";
constexpr int kSkippedChunkCount = 7;

// What KeepFirstCarried has let libpng keep of one file so far.
struct CarriedBudget {
  bool met[kCarriedChunkCount] = {};
  size_t bytes = 0;
};

// libpng's question for each chunk routed as unknown: keeps (0) the first chunk of each carried
// type while the file's carried chunks stay within kMaxCarriedBytes, and drops (1) every other
// ancillary chunk, so that what libpng holds of one file stays a few megabytes whatever the file
// declares. A critical chunk is left to libpng, which rejects the file.
int KeepFirstCarried(png_structp png, png_unknown_chunkp chunk) {
  auto* budget = static_cast<CarriedBudget*>(png_get_user_chunk_ptr(png));
  if ((chunk->name[0] & 0x20) == 0) {
    return 0;
  }
  for (int i = 0; i < kCarriedChunkCount; ++i) {
    if (std::memcmp(chunk->name, kCarriedChunks + 5 * i, 4) == 0) {
      if (budget->met[i] || chunk->size > kMaxCarriedBytes - budget->bytes) {
        budget->met[i] = true;
        return 1;
      }
      budget->met[i] = true;
      budget->bytes += chunk->size;
      return 0;
    }
  }
  return 1;
}

bool IsType(const PngChunk& chunk, const char* type) {
  return std::memcmp(chunk.type.data(), type, 4) == 0;
}

// Puts the first chunk of each carried type into the image, in file order, when it is well
// formed. A later chunk of a type already met is never looked at: a PNG holds at most one of
// each, and checking every copy would let a small file of repeated profiles make the reader
// inflate megabytes for each one. Calls nothing in libpng that can raise an error.
void CarryChunks(png_structp png, png_infop info, int colorType, Bitmap& image) {
  png_unknown_chunkp unknowns = nullptr;
  const int count = png_get_unknown_chunks(png, info, &unknowns);
  const bool colour = (colorType & PNG_COLOR_MASK_COLOR) != 0;
  std::vector<PngChunk>& chunks = image.Ancillary();
  std::vector<std::array<char, 4>> met;
  for (int i = 0; i < count; ++i) {
    PngChunk chunk;
    std::memcpy(chunk.type.data(), unknowns[i].name, 4);
    if (std::find(met.begin(), met.end(), chunk.type) != met.end()) {
      continue;
    }
    met.push_back(chunk.type);
    if (IsType(chunk, "iCCP") && !colour) {
      continue;
    }
    chunk.data.assign(unknowns[i].data, unknowns[i].data + unknowns[i].size);
    if (IsType(chunk, "iCCP")) {
      colour_chunks::AddIccpChunk(std::move(chunk.data), chunks);
    } else if (colour_chunks::IsCarriedChunkUsable(chunk)) {
      chunks.push_back(std::move(chunk));
    }
  }
  const bool profile = std::any_of(chunks.begin(), chunks.end(),
                                   [](const PngChunk& c) { return IsType(c, "iCCP"); });
  if (profile) {
    chunks.erase(std::remove_if(chunks.begin(), chunks.end(),
                                [](const PngChunk& c) { return IsType(c, "sRGB"); }),
                 chunks.end());
  }
}

// Fills libpng's request from the stream. Data that ends early is an error: a truncated file
// never decodes as if the missing bytes were there.
void ReadFromStream(png_structp png, png_bytep data, size_t length) {
  auto* stream = static_cast<kiv::File*>(png_get_io_ptr(png));
  while (length > 0) {
    const auto chunk = static_cast<uint32_t>(std::min<size_t>(length, size_t{1} << 30));
    const uint32_t got = stream->Read(chunk, data);
    if (got == 0) {
      png_error(png, "unexpected end of data");
    }
    data += got;
    length -= got;
  }
}

// Decodes the PNG whose structures `png` and `info` read from. Every libpng error lands at
// the setjmp below and returns false; no local here has a destructor.
bool DecodePng(png_structp png, png_infop info, Bitmap& image) {
  CarriedBudget budget;
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_set_read_user_chunk_fn(png, &budget, &KeepFirstCarried);
  // The pixel store bound is checked below; these keep libpng's own allocations in check.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kCarriedChunks, kCarriedChunkCount);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);

  png_read_info(png, info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int depth = 0;
  int colorType = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  const bool wide = depth > 8;
  // Sources whose transparency is a palette entry's or one grey sample's keep it beside their
  // indices; the others take an alpha channel.
  const bool indexed =
      colorType == PNG_COLOR_TYPE_PALETTE || (colorType == PNG_COLOR_TYPE_GRAY && !wide);
  const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || (transparency && !indexed);
  const bool colour = (colorType & PNG_COLOR_MASK_COLOR) != 0;

  uint32_t bitCount = 0;
  if (indexed) {
    bitCount = static_cast<uint32_t>(depth);
  } else {
    bitCount = (colour ? 3u : 1u) + (alpha ? 1u : 0u);
    bitCount *= wide ? 16u : 8u;
    if (!wide && !colour) {
      bitCount = 32;  // 8-bit grey+alpha is held as blue-green-red-alpha
    }
  }
  if (colorType != PNG_COLOR_TYPE_PALETTE && colorType != PNG_COLOR_TYPE_GRAY &&
      colorType != PNG_COLOR_TYPE_GRAY_ALPHA && colorType != PNG_COLOR_TYPE_RGB &&
      colorType != PNG_COLOR_TYPE_RGB_ALPHA) {
    return false;
  }
  if (width == 0 || height == 0 || width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX) {
    return false;
  }
  if (Bitmap::StrideFor(width, bitCount) * height > Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }

  if (transparency && !indexed) {
    png_set_tRNS_to_alpha(png);
  }
  if (wide) {
    png_set_swap(png);  // the store's 16-bit samples are little-endian
  } else if (!colour && alpha) {
    png_set_gray_to_rgb(png);
  }
  if (!indexed) {
    png_set_bgr(png);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  // The rows libpng delivers must be exactly the rows of the image chosen above.
  if (png_get_rowbytes(png, info) != (static_cast<uint64_t>(width) * bitCount + 7) / 8) {
    return false;
  }

  if (!image.Create(static_cast<int32_t>(width), static_cast<int32_t>(height), bitCount,
                    wide ? Bitmap::Samples::k16Bit : Bitmap::Samples::k8Bit)) {
    return false;
  }
  image.Notes().png = true;
  image.Notes().interlaced = passes > 1;
  png_bytep trnsAlpha = nullptr;
  int trnsCount = 0;
  png_color_16p trnsColour = nullptr;
  if (transparency) {
    png_get_tRNS(png, info, &trnsAlpha, &trnsCount, &trnsColour);
  }
  if (colorType == PNG_COLOR_TYPE_GRAY && indexed) {
    image.SetGreyPalette();
    if (trnsColour != nullptr && trnsColour->gray < image.Palette().size()) {
      image.PaletteAlpha().assign(image.Palette().size(), 255);
      image.PaletteAlpha()[trnsColour->gray] = 0;
    }
  } else if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp colors = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &colors, &count) == 0 || count <= 0) {
      return false;
    }
    image.Palette().resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      image.Palette()[i] = Bitmap::PaletteEntry{colors[i].blue, colors[i].green, colors[i].red, 0};
    }
    if (trnsAlpha != nullptr && trnsCount > 0) {
      image.PaletteAlpha().assign(trnsAlpha, trnsAlpha + std::min(trnsCount, count));
    }
  } else if (!colour && alpha && !wide) {
    image.SetGrey();
  }

  CarryChunks(png, info, colorType, image);

  // Picture row y (top first) is stored row height - 1 - y.
  const int32_t rows = image.Height();
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t y = 0; y < rows; ++y) {
      png_read_row(png, image.Row(rows - 1 - y), nullptr);
    }
  }
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

bool ReadPng(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options) {
  image.Clear();
  png_byte signature[8] = {};
  const uint32_t got = stream.Read(sizeof signature, signature);
  SeekTo(stream, 0);
  if (got != sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
    return ReadJpeg(stream, image, options);
  }

  PngStructs structs(PngStructs::Kind::kRead);
  if (!structs.ok()) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  png_set_read_fn(structs.png(), &stream, ReadFromStream);
  if (DecodePng(structs.png(), structs.info(), image)) {
    CarryPngMetadata(stream, image.Metadata());
    image.SetAnimation(ReadApngFrames(stream, image.Metadata()));
    return true;
  }
  image.Notes().detail = structs.ErrorText();
  return false;
}

}  // namespace image_readers
