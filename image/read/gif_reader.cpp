// The GIF reader (87a and 89a), through giflib's record-by-record decoder over the file's bytes
// in memory.
//
// Results: a first image that covers the whole screen and has no transparent colour becomes an
// 8-bit indexed image with its colour table; any other becomes 32-bit blue-green-red-alpha, the
// screen transparent where the image leaves it uncovered or marks it transparent. Interlaced
// images are put in their rows' order. An animation becomes its first frame, the notes counting
// its frames (counted up to kMaxCountedFrames; later ones are not looked at); the later frames'
// data is passed over without being decoded. Comments met before the end of the first image
// become a "Comment" text chunk.
//
// A first image whose data ends early keeps the rows it has, the rest transparent or colour 0,
// and is noted as truncated; one that ends before its first row fails. A file damaged past its
// first image converts that image, noted as truncated. The screen's pixel store is checked
// against Bitmap::kMaxPixelStoreBytes before anything is allocated for it.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/read/image_readers.h"
#include "image/read/metadata_chunks.h"

namespace image_readers {
namespace {

// giflib keeps a small record of every image it meets; counting stops here so that a file of
// millions of tiny frames takes no more memory than a few hundred kilobytes.
constexpr uint32_t kMaxCountedFrames = 10000;

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at;
};

int ReadInput(GifFileType* gif, GifByteType* out, int count) {
  auto* input = static_cast<Input*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(count > 0 ? count : 0), input->size - input->at);
  std::memcpy(out, input->data + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

bool Fail(Bitmap& image, const char* detail) {
  image.Notes().detail = detail;
  return false;
}

// The picture rows of an image's lines in the order they are stored: Adam's four passes for an
// interlaced one.
std::vector<int32_t> LineOrder(int32_t height, bool interlaced) {
  std::vector<int32_t> order;
  order.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int32_t y = 0; y < height; ++y) {
      order.push_back(y);
    }
    return order;
  }
  static const int32_t kStart[] = {0, 4, 2, 1};
  static const int32_t kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int32_t y = kStart[pass]; y < height; y += kStep[pass]) {
      order.push_back(y);
    }
  }
  return order;
}

// What the records before the first image said of it.
struct FirstImage {
  int transparent = -1;  // the transparent colour index, or -1
  std::vector<uint8_t> comment;
};

// Decodes the first image, whose descriptor giflib has just read, onto the screen. Returns
// false (notes set) when not a row of it could be read.
bool DecodeFirst(GifFileType* gif, const FirstImage& first, Bitmap& image) {
  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
  if (map == nullptr || map->Colors == nullptr || map->ColorCount <= 0) {
    return Fail(image, "a GIF image without a colour table");
  }
  const int32_t screenWidth = gif->SWidth;
  const int32_t screenHeight = gif->SHeight;
  const bool covers =
      desc.Left == 0 && desc.Top == 0 && desc.Width == screenWidth && desc.Height == screenHeight;
  const bool indexed = covers && first.transparent < 0;
  if (!image.Create(screenWidth, screenHeight, indexed ? 8 : 32)) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  // The part of the image on the screen.
  const int32_t left = std::min(desc.Left, screenWidth);
  const int32_t top = std::min(desc.Top, screenHeight);
  const int32_t width = std::max(0, std::min(desc.Width, screenWidth - left));
  std::vector<GifPixelType> line(static_cast<size_t>(std::max(desc.Width, 1)));
  int maxIndex = 0;
  const std::vector<int32_t> order = LineOrder(desc.Height, desc.Interlace);
  size_t done = 0;
  for (const int32_t y : order) {
    if (DGifGetLine(gif, line.data(), desc.Width) != GIF_OK) {
      break;
    }
    ++done;
    const int32_t row = top + y;
    if (row >= screenHeight) {
      continue;
    }
    uint8_t* out = image.Row(screenHeight - 1 - row);
    for (int32_t x = 0; x < width; ++x) {
      const int index = line[static_cast<size_t>(x)];
      maxIndex = std::max(maxIndex, index);
      if (indexed) {
        out[left + x] = static_cast<uint8_t>(index);
      } else if (index != first.transparent) {
        uint8_t* pixel = out + 4 * static_cast<size_t>(left + x);
        const GifColorType colour =
            index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
        pixel[0] = colour.Blue;
        pixel[1] = colour.Green;
        pixel[2] = colour.Red;
        pixel[3] = 255;
      }
    }
  }
  if (done == 0 && !order.empty()) {
    return Fail(image, "the GIF image data ends early or is damaged");
  }
  if (done < order.size()) {
    image.Notes().truncated = true;
  }
  if (indexed) {
    // An index past the table's end shows black.
    const int entries = std::max(map->ColorCount, maxIndex + 1);
    image.Palette().resize(static_cast<size_t>(entries));
    for (int i = 0; i < map->ColorCount; ++i) {
      const GifColorType& c = map->Colors[i];
      image.Palette()[static_cast<size_t>(i)] = Bitmap::PaletteEntry{c.Blue, c.Green, c.Red, 0};
    }
  }
  return true;
}

// Reads the blocks of an extension, keeping a graphic control's transparent index and a
// comment's bytes for the first image. False when the data is damaged.
bool ReadExtension(GifFileType* gif, bool beforeFirst, FirstImage& first) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
    return false;
  }
  const bool comment = beforeFirst && code == COMMENT_EXT_FUNC_CODE;
  if (beforeFirst && code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    first.transparent = (block[1] & 1) != 0 ? block[4] : -1;
  }
  while (block != nullptr) {
    if (comment && first.comment.size() < metadata_chunks::kMaxMetadataBytes) {
      first.comment.insert(first.comment.end(), block + 1, block + 1 + block[0]);
    }
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
      return false;
    }
  }
  return true;
}

// Passes over an image's data without decoding it. False when the data is damaged.
bool SkipImageData(GifFileType* gif) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) != GIF_OK) {
    return false;
  }
  while (block != nullptr) {
    if (DGifGetCodeNext(gif, &block) != GIF_OK) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadGif(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions&) {
  image.Clear();
  std::vector<uint8_t> data;
  if (!ReadWholeStream(stream, data, image)) {
    return false;
  }
  Input input{data.data(), data.size(), 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, ReadInput, &error));
  if (!gif) {
    return Fail(image, "a damaged GIF header");
  }
  if (gif->SWidth <= 0 || gif->SHeight <= 0) {
    return Fail(image, "a GIF screen without pixels");
  }
  if (Bitmap::StrideFor(static_cast<uint64_t>(gif->SWidth), 32) *
          static_cast<uint64_t>(gif->SHeight) >
      Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  FirstImage first;
  uint32_t frames = 0;
  bool damaged = false;
  while (frames < kMaxCountedFrames) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK) {
      damaged = true;
      break;
    }
    if (record == TERMINATE_RECORD_TYPE) {
      break;
    }
    if (record == EXTENSION_RECORD_TYPE) {
      if (!ReadExtension(gif.get(), frames == 0, first)) {
        damaged = true;
        break;
      }
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) != GIF_OK ||
        gif->Image.Width <= 0 || gif->Image.Height <= 0) {
      damaged = true;
      break;
    }
    ++frames;
    if (frames == 1) {
      if (!DecodeFirst(gif.get(), first, image)) {
        return false;
      }
      if (image.Notes().truncated) {
        break;
      }
    } else if (!SkipImageData(gif.get())) {
      damaged = true;
      break;
    }
  }
  if (frames == 0) {
    return Fail(image, damaged ? "a damaged GIF file" : "a GIF file without an image");
  }
  if (damaged) {
    image.Notes().truncated = true;
  }
  if (image.Notes().truncated) {
    image.Notes().bytesPresent = data.size();
  }
  image.Notes().frames = frames;
  metadata_chunks::AddComment(first.comment.data(), first.comment.size(), image.Ancillary());
  return true;
}

}  // namespace image_readers
