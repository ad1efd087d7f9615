// The GIF reader (87a and 89a), through giflib's record-by-record decoder over the file's bytes
// in memory.
//
// Results: a still image that covers the whole screen and has no transparent colour becomes an
// 8-bit indexed image with its colour table; any other becomes 32-bit blue-green-red-alpha, the
// screen transparent where the image leaves it uncovered or marks it transparent. Interlaced
// images are put in their rows' order. Comments met before the end of the first image become a
// "Comment" text chunk.
//
// An animation (more than one image) becomes the first frame as the default image and an
// AnimationSource of every frame (gif_animation.h), its loop count from the NETSCAPE2.0 (or
// ANIMEXTS1.0) application extension. That count says how often the animation repeats after
// it has played once, as browsers play it, so a count of n plays n + 1 times; 0 repeats
// forever; a file without the extension plays once. The default image stays 8-bit indexed only
// when every image shares the first one's colour table and none has a transparent colour;
// otherwise the frames differ in colours and all of them are 32-bit. Every later image is
// decoded once here to be sure it is whole; one that is damaged (noted as truncated), or
// kMaxCountedFrames images or more, leave the animation out: the first frame is written, the
// notes count the frames, and the source is kept.
//
// A first image whose data ends early keeps the rows it has, the rest transparent or colour 0,
// and is noted as truncated; one that ends before its first row fails. A file damaged past its
// first image converts that image, noted as truncated. The screen's pixel store is checked
// against Bitmap::kMaxPixelStoreBytes before anything is allocated for it.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/read/gif_animation.h"
#include "image/read/gif_image.h"
#include "image/read/image_readers.h"
#include "image/read/metadata_chunks.h"

namespace image_readers {
namespace {

// giflib keeps a small record of every image it meets; counting stops here so that a file of
// millions of tiny frames takes no more memory than a few hundred kilobytes.
constexpr uint32_t kMaxCountedFrames = 10000;

constexpr uint8_t kDisposalMask = 7;

bool Fail(Bitmap& image, const char* detail) {
  image.Notes().detail = detail;
  return false;
}

// What the records said beyond the images.
struct FileNotes {
  gif_animation::ImageRecord control;  // the graphic control for the next image
  std::vector<uint8_t> comment;        // comments before the end of the first image
  uint32_t loops = 1;                  // in plays: 1 when the file never says
};

// Decodes the first image, whose descriptor giflib has just read, onto the screen. Returns
// false (notes set) when not a row of it could be read.
bool DecodeFirst(GifFileType* gif, int transparent, Bitmap& image) {
  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = gif_image::TableOf(gif);
  if (map == nullptr) {
    return Fail(image, "a GIF image without a colour table");
  }
  const bool covers =
      desc.Left == 0 && desc.Top == 0 && desc.Width == gif->SWidth && desc.Height == gif->SHeight;
  const bool indexed = covers && transparent < 0;
  if (!image.Create(gif->SWidth, gif->SHeight, indexed ? 8 : 32)) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  const gif_image::Lines lines = gif_image::DecodeLines(gif, transparent, &image, 0, 0);
  if (lines.done == 0 && lines.total != 0) {
    return Fail(image, "the GIF image data ends early or is damaged");
  }
  if (lines.done < lines.total) {
    image.Notes().truncated = true;
  }
  if (indexed) {
    // An index past the table's end shows black.
    const int entries = std::max(map->ColorCount, lines.maxIndex + 1);
    image.Palette().resize(static_cast<size_t>(entries));
    for (int i = 0; i < map->ColorCount; ++i) {
      const GifColorType& c = map->Colors[i];
      image.Palette()[static_cast<size_t>(i)] = Bitmap::PaletteEntry{c.Blue, c.Green, c.Red, 0};
    }
  }
  return true;
}

// Reads the blocks of an extension, keeping a graphic control's fields for the next image, the
// loop count, and a comment's bytes before the first image. False when the data is damaged.
bool ReadExtension(GifFileType* gif, bool beforeFirst, FileNotes& notes) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
    return false;
  }
  const bool comment = beforeFirst && code == COMMENT_EXT_FUNC_CODE;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    notes.control.transparent = (block[1] & 1) != 0 ? block[4] : -1;
    notes.control.disposal = static_cast<uint8_t>((block[1] >> 2) & kDisposalMask);
    notes.control.delay = static_cast<uint16_t>(block[2] | block[3] << 8);
  }
  const bool application = code == APPLICATION_EXT_FUNC_CODE && block != nullptr &&
                           block[0] == 11 &&
                           (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                            std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
  bool first = true;
  while (block != nullptr) {
    if (comment && notes.comment.size() < metadata_chunks::kMaxMetadataBytes) {
      notes.comment.insert(notes.comment.end(), block + 1, block + 1 + block[0]);
    }
    if (application && !first && block[0] >= 3 && block[1] == 1) {
      const unsigned repeats = block[2] | block[3] << 8;
      notes.loops = repeats == 0 ? 0 : repeats + 1;
    }
    first = false;
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
      return false;
    }
  }
  return true;
}

// Decodes a later image only to check it; false when it is damaged. `maxIndex` grows to the
// largest colour index it uses.
bool CheckImage(GifFileType* gif, int& maxIndex) {
  if (gif_image::TableOf(gif) == nullptr) {
    return false;
  }
  const gif_image::Lines lines = gif_image::DecodeLines(gif, -1, nullptr, 0, 0);
  maxIndex = std::max(maxIndex, lines.maxIndex);
  return lines.done == lines.total;
}

// Makes the 8-bit `image` 32-bit, its pixels as they show.
bool Widen(Bitmap& image) {
  Bitmap wide;
  if (!wide.Create(image.Width(), image.Height(), 32) ||
      !Bitmap::CopyRect(BitmapRect{0, 0, image.Width(), image.Height()}, wide, image)) {
    return false;
  }
  const BitmapLoadNotes notes = image.Notes();
  image = std::move(wide);
  image.Notes() = notes;
  return true;
}

}  // namespace

bool ReadGif(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions&) {
  image.Clear();
  std::vector<uint8_t> data;
  if (!ReadWholeStream(stream, data, image)) {
    return false;
  }
  gif_image::Input input{data.data(), data.size(), 0};
  gif_image::GifHandle gif = gif_image::Open(input);
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
  FileNotes notes;
  std::vector<gif_animation::ImageRecord> images;
  std::vector<GifColorType> firstTable;
  bool damaged = false;
  bool shared = true;  // every image has the first one's colour table and no transparent colour
  int maxIndex = 0;
  while (images.size() < kMaxCountedFrames) {
    const size_t offset = input.at;
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) != GIF_OK) {
      damaged = true;
      break;
    }
    if (record == TERMINATE_RECORD_TYPE) {
      break;
    }
    if (record == EXTENSION_RECORD_TYPE) {
      if (!ReadExtension(gif.get(), images.empty(), notes)) {
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
    gif_animation::ImageRecord imageRecord = notes.control;
    notes.control = gif_animation::ImageRecord();
    imageRecord.offset = offset;
    imageRecord.left = gif->Image.Left;
    imageRecord.top = gif->Image.Top;
    imageRecord.width = gif->Image.Width;
    imageRecord.height = gif->Image.Height;
    images.push_back(imageRecord);
    if (images.size() == 1) {
      if (!DecodeFirst(gif.get(), imageRecord.transparent, image)) {
        return false;
      }
      const ColorMapObject* table = gif_image::TableOf(gif.get());
      firstTable.assign(table->Colors, table->Colors + table->ColorCount);
      if (image.Notes().truncated) {
        break;
      }
      continue;
    }
    if (!CheckImage(gif.get(), maxIndex)) {
      damaged = true;
      break;
    }
    const ColorMapObject* table = gif_image::TableOf(gif.get());
    shared = shared && imageRecord.transparent < 0 &&
             table->ColorCount == static_cast<int>(firstTable.size()) &&
             std::memcmp(table->Colors, firstTable.data(),
                         sizeof(GifColorType) * firstTable.size()) == 0 &&
             imageRecord.left < gif->SWidth && imageRecord.top < gif->SHeight;
  }
  if (images.empty()) {
    return Fail(image, damaged ? "a damaged GIF file" : "a GIF file without an image");
  }
  const bool whole = !damaged && !image.Notes().truncated;
  if (damaged) {
    image.Notes().truncated = true;
  }
  if (image.Notes().truncated) {
    image.Notes().bytesPresent = data.size();
  }
  if (images.size() > 1 && whole && images.size() < kMaxCountedFrames) {
    if (image.BitCount() == 8 && shared) {
      // Every frame indexes the one palette: it reaches the largest index any of them uses.
      const size_t entries = static_cast<size_t>(maxIndex) + 1;
      if (image.Palette().size() < entries) {
        image.Palette().resize(entries);
      }
    } else if (image.BitCount() == 8 && !Widen(image)) {
      image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
      return false;
    }
    const int32_t width = gif->SWidth;
    const int32_t height = gif->SHeight;
    gif.reset();
    image.SetAnimation(gif_animation::MakeGifFrames(std::move(data), std::move(images), width,
                                                    height, notes.loops, image));
  } else if (images.size() > 1) {
    // The first frame alone, noted: the source is kept.
    image.Notes().frames = static_cast<uint32_t>(images.size());
    if (images.size() >= kMaxCountedFrames) {
      image.Metadata().LeftOut("animation (more than " + std::to_string(kMaxCountedFrames - 1) +
                               " frames): only its first frame is written");
    }
  }
  metadata_chunks::AddComment(notes.comment.data(), notes.comment.size(), image.Ancillary());
  return true;
}

}  // namespace image_readers
