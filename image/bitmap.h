// Bitmap: the program's one in-memory image, its readers and its PNG writer.
//
// Layout. Whatever the source, a Bitmap holds the pixels as a Windows device-independent
// bitmap does:
//   - rows are stored bottom-up: stored row 0 is the bottom row of the picture;
//   - every stored row is `Stride()` bytes, the row rounded up to whole 32-bit words:
//     Stride() == ((Width() * BitCount() + 31) / 32) * 4;
//   - BitCount() is 1, 2, 4 or 8 (indices into Palette(), sub-byte pixels packed from the most
//     significant bit), 16 (little-endian 5-5-5: red bits 10-14, green 5-9, blue 0-4, bit 15
//     ignored), 24 (blue, green, red) or 32 (blue, green, red, alpha; alpha 255 is opaque);
//   - an indexed image may give its entries an alpha (PaletteAlpha(), 255 opaque; an index past
//     its end is opaque), as a PNG's tRNS chunk does;
//   - a Wide() image has 16-bit samples, each a little-endian 16-bit word (0 to 65535, 65535 the
//     brightest or opaque), in these orders by BitCount(): 16 grey; 32 grey, alpha; 48 blue,
//     green, red; 64 blue, green, red, alpha. Rows are bottom-up and padded as above;
//   - a grey image is an indexed image of 1, 2, 4 or 8 bits whose palette is the grey ramp of its
//     depth (entry i is i * 255 / (2^bits - 1) in each channel), a 32-bit image whose blue,
//     green and red are equal in every pixel, or a Wide() image of 16 or 32 bits. Grey() says
//     that the first two are to be written as grey (a grey source); a palette that only looks
//     grey stays a palette.
// The PNG writer keeps the kind of colour the image holds: see image/png/png_scanlines.h.
//
// Threads. A Bitmap belongs to one thread at a time. The readers and the writer share no state,
// so any number of threads may each load, convert and save their own Bitmap at once.
//
// Errors. Nothing here throws: every operation reports failure by its result, including
// allocation failure and images larger than kMaxPixelStoreBytes. After a failed Load the
// Bitmap is empty (Width() == Height() == 0, no pixels, no palette).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/file_error.h"
#include "base/file_identity.h"
#include "image/animation.h"
#include "image/metadata.h"
#include "image/pending_rows.h"
#include "image/png/png_chunk.h"

namespace kiv {
class File;
}
struct PngEncodeOptions;

// A rectangle in stored-row coordinates: `top` and `bottom` are stored-row indices (0 is the
// bottom row of the picture), `right` and `bottom` are exclusive.
struct BitmapRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// What Bitmap::Load does beyond decoding the pixels.
struct BitmapLoadOptions {
  // Turn a JPEG upright by its EXIF Orientation (2 to 8); false keeps the stored orientation.
  bool autoOrient = true;
  // A JPEG stored upright in colour may leave its rows to be decoded later: Load then returns
  // once the image is allocated and its chunks known, with Pending() set. See FinishRows.
  bool deferRows = false;
};

// What the last load learned beyond the pixels: why it failed, or what the image lacks of its
// source although it loaded.
struct BitmapLoadNotes {
  enum class Failure {
    kNone,
    kOpen,      // the file could not be opened (openError says why)
    kNotImage,  // the content is no image kind the readers know (detail names what it is)
    kCorrupt,   // a damaged file, or a variant the readers do not decode (detail says which)
    kTooLarge,  // its pixel store would exceed kMaxPixelStoreBytes, or memory ran out
  };
  Failure failure = Failure::kNone;
  kiv::FileError openError = kiv::FileError::kNone;
  // kCorrupt: a few English words from the decoder; kNotImage: what the content is, as
  // "an empty file" or "a Photoshop document"
  std::string detail;
  // The source has samples of more than 8 bits, rounded to 8 bits: its PNG holds less than the
  // file. The readers that can keep 16-bit samples do (Bitmap::Wide); a conversion that rounds
  // them, or a reader that cannot keep them, sets it. sampleBits: their width (0 when 16).
  bool samplesRounded = false;
  uint32_t sampleBits = 0;
  // A source of several pages (a TIFF) or frames (an animated GIF or WebP): how many. The image
  // holds the first page, or the first frame as shown, alone. 0 or 1: all of it.
  uint32_t pages = 0;
  uint32_t frames = 0;
  // The source is a PNG, and its image data is Adam7-interlaced.
  bool png = false;
  bool interlaced = false;
  // The file ends before its image data does; the missing part is black (BMP) or as the JPEG
  // decoder fills it.
  bool truncated = false;
  uint64_t bytesPresent = 0;   // truncated: the bytes the file has
  uint64_t bytesExpected = 0;  // truncated: the bytes its header promises; 0 when not known
};

// What Bitmap::SavePng checks before the PNG it wrote takes the target's place.
struct BitmapSaveChecks {
  // Leave the target as it is (SaveResult::kLarger) when the PNG has more bytes than this.
  uint64_t largestBytes = UINT64_MAX;
  // Flush the PNG to the storage device, read it back from the disk and check that it holds the
  // image's pixels and the chunks written (ReadBackPng in image/png/png_read_back.h).
  bool readBack = false;
};

class Bitmap {
 public:
  // One colour-table entry, in the byte order of the pixel store.
  struct PaletteEntry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
  };

  // The largest pixel store any image may have. A source whose header declares more fails to
  // read before anything is allocated, and Create refuses it.
  //
  // The memory one file takes is bounded by stores of this size: a reader holds one store (a
  // JPEG turned upright by its EXIF orientation is placed upright row by row as it is decoded,
  // in that one store, bounded at its upright size), and the conversion holds at most two, the
  // loaded image and its 24-bit copy. A read-back check of the written PNG holds one more. A JPEG
  // reader also holds the file's bytes, at most this size, and an ICC profile, at most
  // colour_chunks::kMaxIccProfileBytes.
  static constexpr uint64_t kMaxPixelStoreBytes = uint64_t{1} << 30;  // 1 GiB

  // What a load does beyond decoding the pixels.
  using LoadOptions = BitmapLoadOptions;
  using LoadNotes = BitmapLoadNotes;

  // How SavePng treats a file already standing at the target path.
  enum class SaveMode {
    kReplace,    // the finished PNG replaces it (a read-only attribute is cleared first)
    kCreateNew,  // the target must not exist; if it does, nothing is written
  };

  enum class SaveResult {
    kSaved,            // the complete PNG stands at the target path
    kFailed,           // nothing was written: encoding, a write, flush, close or move failed
    kTargetExists,     // kCreateNew only: a file already stands at the target, left untouched
    kLarger,           // SaveChecks::largestBytes: the PNG came out larger; nothing was written
    kReadBackDiffers,  // SaveChecks::readBack: the file read back is not what was encoded;
                       // nothing was written
  };

  using SaveChecks = BitmapSaveChecks;

  // The size of one sample of a direct-colour image.
  enum class Samples {
    k8Bit,   // the layouts of a device-independent bitmap
    k16Bit,  // Wide(): 16-bit grey, grey+alpha, blue-green-red or blue-green-red-alpha
  };

  Bitmap() = default;
  virtual ~Bitmap() = default;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  Bitmap(Bitmap&&) = default;
  Bitmap& operator=(Bitmap&&) = default;

  // Makes an image of the given size and bit count with every pixel byte 0, an empty palette,
  // not grey. Returns false (and leaves the Bitmap empty) when width or height is not positive,
  // bitCount is not one IsSupportedBitCount accepts for `samples`, the store would exceed
  // kMaxPixelStoreBytes, or the allocation fails.
  bool Create(int32_t width, int32_t height, uint32_t bitCount, Samples samples = Samples::k8Bit);

  // Opens the file at `path` (a full path) and decodes it by content, whatever its extension:
  // BMP, then PNG, then JPEG. Returns false when the file cannot be opened or read, or its
  // content is none of these formats or is damaged beyond use. Never writes any file.
  // What the source says of its colour and size goes into Ancillary() (see colour_chunks.h);
  // a colour profile that does not fit is left out, never a reason to fail.
  bool Load(const std::wstring& path, const LoadOptions& options = LoadOptions());

  // What the last Load learned: why it failed, or what the loaded image lacks of its source.
  // Clear and Create leave it; the next Load starts it afresh.
  const LoadNotes& Notes() const { return notes_; }
  LoadNotes& Notes() { return notes_; }

  // The same decoding over an already opened stream, read from its start.
  bool Load(kiv::File& stream, const LoadOptions& options = LoadOptions());

  // The same decoding over bytes in memory.
  bool LoadFromMemory(const std::vector<uint8_t>& bytes,
                      const LoadOptions& options = LoadOptions());

  // Converts the pixels of `rect` of `source` into `target`, which must already be created with
  // the rectangle's width and height. Stored row rect.top + i of the source goes to stored row i
  // of the target. Supported: any source of 1, 2, 4, 8, 16, 24 or 32 bits into a 24-bit target
  // (alpha dropped) or a 32-bit target (alpha 255 unless the source has alpha), and a 16-bit
  // source into a 16-bit target, and any source into a target of its own format. A Wide()
  // source's samples are rounded to 8 bits ((v * 255 + 32767) / 65535); an indexed source gives
  // a 32-bit target the alpha of its PaletteAlpha(). A palette index past the palette's end
  // yields black.
  // Returns false, changing nothing, for any other pair or a rectangle outside either image.
  static bool CopyRect(const BitmapRect& rect, Bitmap& target, const Bitmap& source);

  // Writes the image as a PNG file holding IHDR, the Ancillary() chunks, PLTE (when the image
  // has a palette), IDAT and IEND (see image/png_encode.h). `level` 0-9 is the deflate level
  // (0 stores, 9 compresses best); a negative level means 6, a larger one 9. `interlace` writes
  // Adam7.
  // The PNG is written to a temporary file in the target's folder and moved over the target
  // only when complete; on any failure the temporary is removed, nothing partial is left and
  // whatever stood at the target is untouched. Returns true when the PNG is in place.
  bool SavePng(const std::wstring& path, int32_t level, bool interlace) const;

  // As above, with the treatment of an existing target chosen by `mode`. With `written`, a
  // saved PNG's stamp (identity, size, time: base/file_identity.h) goes there, taken by the
  // safe writer from the file it moved into place; it stays empty when the system would not
  // tell.
  SaveResult SavePng(const std::wstring& path, int32_t level, bool interlace, SaveMode mode,
                     std::optional<kiv::FileStamp>* written = nullptr) const;

  // As above, with every choice of the encoder (image/png_encode.h). When the result is kFailed
  // and `error` is not null, *error tells why the file system refused (kNone when the image could
  // not be encoded). `written` as above.
  SaveResult SavePng(const std::wstring& path, const PngEncodeOptions& options, SaveMode mode,
                     kiv::FileError* error = nullptr,
                     std::optional<kiv::FileStamp>* written = nullptr,
                     const SaveChecks& checks = SaveChecks()) const;

  // Encodes the PNG into `out` (replacing its contents) instead of a file. Returns false, with
  // `out` empty, when the image cannot be encoded.
  bool EncodePng(std::vector<uint8_t>& out, int32_t level, bool interlace) const;

  // Writes the PNG through an open stream (a disk file or a byte vector). Returns false when the
  // image cannot be encoded or a write to the stream came up short.
  bool WritePng(kiv::File& stream, int32_t level, bool interlace) const;
  bool WritePng(kiv::File& stream, const PngEncodeOptions& options) const;

  // Empties the image: no pixels, no palette, no ancillary chunks, every dimension 0.
  // REQUIRES: no other thread is producing its pending rows.
  void Clear();

  // The rows a Load with deferRows left to decode, or null when every row is in place. The PNG
  // writer decodes them as it compresses (image/png_encode.h); FinishRows does so otherwise.
  PendingRows* Pending() const { return pending_.get(); }
  // Decodes the rows still pending, if any, and notes what the decoding learned (a truncated
  // file) in Notes(). Returns false, the Bitmap then empty and Notes() saying why as after a
  // failed Load, when the data is damaged beyond use. Call it before using the pixels, and after
  // a PNG write, whatever the write's result.
  // REQUIRES: no other thread is producing the pending rows.
  bool FinishRows();
  // For a reader: the rows it leaves to decode into this Bitmap's store.
  void SetPending(std::unique_ptr<PendingRows> rows) { pending_ = std::move(rows); }

  int32_t Width() const { return width_; }
  // True when the samples are 16 bits (Samples::k16Bit).
  bool Wide() const { return wide_; }
  // True when the image is to be written as grey (see the layout above): a Wide() image of 16
  // or 32 bits, or one a reader marked grey by SetGreyPalette or SetGrey.
  bool Grey() const { return grey_ || (wide_ && bitCount_ <= 32); }
  // Marks a 32-bit image whose blue, green and red are equal in every pixel as grey with alpha.
  // REQUIRES: BitCount() == 32 and every pixel is grey.
  void SetGrey() { grey_ = true; }
  int32_t Height() const { return height_; }
  uint32_t Stride() const { return stride_; }
  uint32_t BitCount() const { return bitCount_; }
  bool Empty() const { return pixels_.empty(); }

  // The pixel store, Stride() * Height() bytes, bottom row first.
  const std::vector<uint8_t>& Pixels() const { return pixels_; }
  std::vector<uint8_t>& Pixels() { return pixels_; }

  // REQUIRES: 0 <= storedRow < Height(). Stored row 0 is the bottom row of the picture.
  const uint8_t* Row(int32_t storedRow) const {
    return pixels_.data() + static_cast<size_t>(storedRow) * stride_;
  }
  uint8_t* Row(int32_t storedRow) {
    return pixels_.data() + static_cast<size_t>(storedRow) * stride_;
  }

  // The colour table; empty for direct-colour images.
  const std::vector<PaletteEntry>& Palette() const { return palette_; }
  std::vector<PaletteEntry>& Palette() { return palette_; }

  // The alpha of each palette entry, 255 opaque; entries past its end are opaque. Empty for an
  // opaque image.
  const std::vector<uint8_t>& PaletteAlpha() const { return paletteAlpha_; }
  std::vector<uint8_t>& PaletteAlpha() { return paletteAlpha_; }

  // Ancillary chunks taken from the source for the PNG (colour profile, colour space,
  // resolution), in the order the writer puts them: after IHDR, before PLTE and IDAT. Empty
  // when the source had none or they are not to be written. Create and Clear empty it, so a
  // reader adds them once the image is created.
  const std::vector<PngChunk>& Ancillary() const { return ancillary_; }
  std::vector<PngChunk>& Ancillary() { return ancillary_; }

  // What the source says beyond pixels and colour (EXIF, XMP, text, ...) for the PNG, and what
  // of it the PNG cannot hold (image/metadata.h). Create and Clear empty it.
  const ImageMetadata& Metadata() const { return metadata_; }
  ImageMetadata& Metadata() { return metadata_; }

  // The frames of an animated source, or null for a still image. The Bitmap's own pixels are the
  // animation's default image; its PNG is then an animated PNG (png/apng_writer.h). Create and
  // Clear drop it.
  AnimationSource* Animation() const { return animation_.get(); }
  void SetAnimation(std::unique_ptr<AnimationSource> frames) { animation_ = std::move(frames); }
  std::unique_ptr<AnimationSource> TakeAnimation() { return std::move(animation_); }

  // Sets the palette to the grey ramp of the image's depth (2^bits entries, entry i is
  // i * 255 / (2^bits - 1) in each channel) and marks the image grey: it is written as grey.
  // REQUIRES: an indexed image (BitCount() of 1, 2, 4 or 8).
  void SetGreyPalette();

  // True for the bit counts a Bitmap can hold: 1, 2, 4, 8, 16, 24 and 32 of 8-bit samples; 16,
  // 32, 48 and 64 of 16-bit samples.
  static bool IsSupportedBitCount(uint32_t bitCount, Samples samples = Samples::k8Bit);

  // The stride of a row of `width` pixels at `bitCount` bits, computed in 64 bits so that no
  // width below 2^32 overflows it.
  static uint64_t StrideFor(uint64_t width, uint32_t bitCount);

 private:
  std::vector<uint8_t> pixels_;
  std::vector<PaletteEntry> palette_;
  std::vector<uint8_t> paletteAlpha_;
  std::vector<PngChunk> ancillary_;
  ImageMetadata metadata_;
  std::unique_ptr<AnimationSource> animation_;
  std::unique_ptr<PendingRows> pending_;  // writes into pixels_
  LoadNotes notes_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint32_t stride_ = 0;
  uint32_t bitCount_ = 0;
  bool wide_ = false;
  bool grey_ = false;
};
