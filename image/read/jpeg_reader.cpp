// The JPEG reader, through libjpeg's decompressor over the file's bytes in memory.
//
// Results: grey becomes 8-bit indexed with the grey ramp; YCbCr and RGB become 24-bit
// blue-green-red; CMYK and YCCK become 24-bit blue-green-red by the ink product (Adobe's
// inverted CMYK, marked by its APP14 segment, included). A file whose data ends early decodes
// with the missing part as libjpeg fills it (a warning, not an error, noted as truncated in the
// image's notes), unless the file is far too small for the size its header declares.
//
// A JPEG whose EXIF Orientation is 2 to 8 is turned upright while it is decoded (unless the
// load keeps the stored orientation). An ICC profile in APP2 segments goes into the image as
// iCCP when it is an RGB profile of a colour (YCbCr or RGB) file; a JFIF density in dots per
// inch or per centimetre becomes pHYs. Its EXIF, XMP and comments go into the image's metadata
// (jpeg_metadata.h), the EXIF Orientation rewritten to upright when the pixels were turned.
//
// A colour or grey file stored upright is decoded straight into the pixel store, at once or,
// when the load defers its rows, later as the image's PendingRows (the PNG writer then
// compresses its top while its bottom is decoded).
//
// libjpeg reports errors through error_exit, which jumps back here by longjmp. Everything that
// can jump lives in StartJpeg, DecodePlaced and StraightRows::Decode, which hold no object with a
// destructor; the decompressor is owned by a JpegGuard on the heap, destroyed by its owner.
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>
// jerror.h after jpeglib.h, which it needs.
#include <jerror.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/colour_chunks.h"
#include "image/exif_orientation.h"
#include "image/read/image_readers.h"
#include "image/read/jpeg_metadata.h"
#include "image/pending_rows.h"
#include "image/upright.h"

namespace image_readers {
namespace {

// A progressive file with more scans than this is refused: real files have a dozen, and a
// crafted one with thousands makes decoding take minutes.
constexpr int kMaxScans = 500;
// Working memory libjpeg may take beyond the pixel store (a progressive image keeps every
// coefficient); `long` is 32 bits on Windows.
constexpr long kMaxDecoderMemory =
    static_cast<long>(std::min<uint64_t>(LONG_MAX, 2 * Bitmap::kMaxPixelStoreBytes));
// The most 8x8 blocks a file can code per byte. A Huffman-coded scan spends at least one bit on
// every block of its components (the block's DC difference); an adaptive arithmetic coder can
// spend less on flat blocks, so it gets a wide margin. Every component is coded by some scan, so
// the component with the fewest blocks bounds what the file's size can hold. A header declaring
// more belongs to a cut-off or crafted file: decoding it would only make up pixels, for a time that
// grows with the declared size rather than with the file's.
constexpr uint64_t kMaxBlocksPerByteHuffman = 8;
constexpr uint64_t kMaxBlocksPerByteArithmetic = 8 * 64;
// The longest marker segment: everything an APP1 (EXIF) or APP2 (ICC) segment holds is kept.
constexpr unsigned int kMaxMarkerBytes = 0xFFFF;
constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
// JFIF density units.
constexpr UINT8 kDotsPerInch = 1;
constexpr UINT8 kDotsPerCm = 2;

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is a pointer to this
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];  // the words of the error that ended the decoding
  bool endedEarly;                // the data ran out before the image did
};

void JumpOnError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  longjmp(errors->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Counts warnings as libjpeg does, printing nothing, and notes the one of data that ends early.
void NoteWarning(j_common_ptr cinfo, int level) {
  if (level < 0) {
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
      reinterpret_cast<ErrorManager*>(cinfo->err)->endedEarly = true;
    }
    ++cinfo->err->num_warnings;
  }
}

// True when the file's `size` bytes could hold the blocks its header declares.
// REQUIRES: jpeg_read_header has succeeded (the block counts are set).
bool PlausibleForSize(const jpeg_decompress_struct& cinfo, size_t size) {
  uint64_t fewest = UINT64_MAX;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& component = cinfo.comp_info[c];
    fewest = std::min<uint64_t>(
        fewest, uint64_t{component.width_in_blocks} * uint64_t{component.height_in_blocks});
  }
  const uint64_t perByte =
      cinfo.arith_code ? kMaxBlocksPerByteArithmetic : kMaxBlocksPerByteHuffman;
  return fewest <= uint64_t{size} * perByte;
}

void LimitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > kMaxScans) {
      (*cinfo->err->error_exit)(cinfo);
    }
  }
}

struct JpegGuard {
  JpegGuard() = default;
  ~JpegGuard() {
    if (created) {
      jpeg_destroy_decompress(&cinfo);
    }
    std::free(icc);
  }
  JpegGuard(const JpegGuard&) = delete;
  JpegGuard& operator=(const JpegGuard&) = delete;

  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  bool created = false;
  JOCTET* icc = nullptr;  // the reassembled ICC profile, from malloc
  unsigned int iccBytes = 0;
  int orientation = exif::kUpright;
  bool cmyk = false;
};

// The Orientation of the first EXIF segment among the saved markers; upright when none.
int FindOrientation(j_decompress_ptr cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= sizeof kExifHeader &&
        std::memcmp(m->data, kExifHeader, sizeof kExifHeader) == 0) {
      return exif::Orientation(m->data, m->data_length);
    }
  }
  return exif::kUpright;
}

inline uint8_t InkProduct(unsigned a, unsigned b) {
  return static_cast<uint8_t>((a * b + 127) / 255);
}

// Converts one scanline of CMYK samples to blue-green-red. Adobe's files store each ink
// inverted (255 = no ink); others store the ink amount.
void CmykToBgr(const uint8_t* cmyk, uint8_t* bgr, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    unsigned c = cmyk[0];
    unsigned m = cmyk[1];
    unsigned y = cmyk[2];
    unsigned k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[0] = InkProduct(y, k);
    bgr[1] = InkProduct(m, k);
    bgr[2] = InkProduct(c, k);
  }
}

// Reads the header of the JPEG in `data` and makes `image` of its upright size, with the grey
// palette of a grey file and its resolution chunk; starts the decompressor. Keeps the ICC
// profile in the guard when the file is in colour. Every libjpeg error lands at the setjmp below
// and returns false; no local here has a destructor.
bool StartJpeg(JpegGuard& guard, const uint8_t* data, size_t size, bool autoOrient, Bitmap& image) {
  j_decompress_ptr cinfo = &guard.cinfo;
  cinfo->err = jpeg_std_error(&guard.errors.base);
  guard.errors.base.error_exit = JumpOnError;
  guard.errors.base.output_message = IgnoreMessage;
  guard.errors.base.emit_message = NoteWarning;
  if (setjmp(guard.errors.jump)) {
    return false;
  }
  guard.created = true;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  guard.progress.progress_monitor = LimitScans;
  cinfo->progress = &guard.progress;
  // An empty buffer is refused by the memory source with JERR_INPUT_EMPTY.
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, kMaxMarkerBytes);
  jpeg_save_markers(cinfo, JPEG_APP0 + 2, kMaxMarkerBytes);
  jpeg_save_markers(cinfo, JPEG_COM, kMaxMarkerBytes);
  jpeg_read_header(cinfo, TRUE);
  guard.orientation = autoOrient ? FindOrientation(cinfo) : exif::kUpright;

  uint32_t bitCount = 24;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      bitCount = 8;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo->out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      guard.cmyk = true;
      break;
    default:
      return false;
  }
  // The store holds the upright picture, whose rows are the stored columns when it is turned
  // a quarter.
  const bool swap = upright::SwapsSides(guard.orientation);
  const JDIMENSION uprightWidth = swap ? cinfo->image_height : cinfo->image_width;
  const JDIMENSION uprightHeight = swap ? cinfo->image_width : cinfo->image_height;
  if (cinfo->image_width == 0 || cinfo->image_height == 0) {
    return false;
  }
  if (Bitmap::StrideFor(uprightWidth, bitCount) * uprightHeight > Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  if (!PlausibleForSize(*cinfo, size)) {
    image.Notes().detail = "far smaller than the image its header declares";
    return false;
  }
  // A profile describes colour only for a colour file: a grey file is written as a palette PNG
  // and a CMYK one is turned into RGB, and neither can carry its profile.
  if (!guard.cmyk && bitCount == 24 && !jpeg_read_icc_profile(cinfo, &guard.icc, &guard.iccBytes)) {
    guard.icc = nullptr;
    guard.iccBytes = 0;
  }
  jpeg_start_decompress(cinfo);
  const int expected = bitCount == 8 ? 1 : (guard.cmyk ? 4 : 3);
  if (cinfo->output_components != expected || cinfo->output_width != cinfo->image_width ||
      cinfo->output_height != cinfo->image_height ||
      !image.Create(static_cast<int32_t>(uprightWidth), static_cast<int32_t>(uprightHeight),
                    bitCount)) {
    return false;
  }
  if (bitCount == 8) {
    image.SetGreyPalette();
  }
  if (cinfo->saw_JFIF_marker &&
      (cinfo->density_unit == kDotsPerInch || cinfo->density_unit == kDotsPerCm) &&
      cinfo->X_density != 0 && cinfo->Y_density != 0) {
    const bool dpcm = cinfo->density_unit == kDotsPerCm;
    uint32_t x = colour_chunks::PixelsPerMetre(cinfo->X_density, dpcm);
    uint32_t y = colour_chunks::PixelsPerMetre(cinfo->Y_density, dpcm);
    if (swap) {
      std::swap(x, y);
    }
    image.Ancillary().push_back(colour_chunks::MakePhys(x, y, true));
  }
  return true;
}

// Decodes the scanlines of a CMYK file or of one turned upright through `line` (and `bgr` for
// CMYK), each to its upright place in `image`. `line` and `bgr` are scratch owned by the caller.
// Returns false on any libjpeg error; no local here has a destructor.
bool DecodePlaced(JpegGuard& guard, std::vector<uint8_t>& line, std::vector<uint8_t>& bgr,
                  Bitmap& image) {
  j_decompress_ptr cinfo = &guard.cinfo;
  if (setjmp(guard.errors.jump)) {
    return false;
  }
  const JDIMENSION width = cinfo->output_width;
  const JDIMENSION height = cinfo->output_height;
  const auto components = static_cast<uint32_t>(cinfo->output_components);
  const uint32_t pixelBytes = image.BitCount() / 8;
  line.resize(static_cast<size_t>(width) * components);
  if (guard.cmyk) {
    bgr.resize(static_cast<size_t>(width) * 3);
  }
  const bool inverted = cinfo->saw_Adobe_marker != 0;
  while (cinfo->output_scanline < height) {
    const JDIMENSION y = cinfo->output_scanline;
    JSAMPROW target = line.data();
    if (jpeg_read_scanlines(cinfo, &target, 1) != 1) {
      return false;
    }
    if (guard.cmyk) {
      CmykToBgr(line.data(), bgr.data(), width, inverted);
    }
    upright::PlaceRow(guard.cmyk ? bgr.data() : line.data(), y, width, height, pixelBytes,
                      guard.orientation, image);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

// The scanlines of a file stored upright in grey or colour, decoded straight into the store
// (the first scanline is the top row: the last stored row), now or later.
class StraightRows final : public PendingRows {
 public:
  StraightRows(std::vector<uint8_t> data, std::unique_ptr<JpegGuard> guard, Bitmap& image)
      : data_(std::move(data)),
        guard_(std::move(guard)),
        top_(image.Row(image.Height() - 1)),
        stride_(image.Stride()),
        height_(static_cast<uint32_t>(image.Height())) {}

 private:
  bool DecodeRows(uint32_t rows, bool* finished) override {
    const bool ok = Decode(std::min(rows, height_));
    *finished = ok && complete_;
    endedEarly_ = guard_->errors.endedEarly;
    bytesPresent_ = data_.size();
    if (!ok) {
      failureDetail_ = guard_->errors.message;
    }
    return ok;
  }

  // Every libjpeg error lands at the setjmp below; no local here has a destructor.
  bool Decode(uint32_t rows) {
    j_decompress_ptr cinfo = &guard_->cinfo;
    if (setjmp(guard_->errors.jump)) {
      return false;
    }
    while (cinfo->output_scanline < rows) {
      JSAMPROW target = top_ - static_cast<ptrdiff_t>(cinfo->output_scanline) * stride_;
      if (jpeg_read_scanlines(cinfo, &target, 1) != 1) {
        return false;
      }
      Publish(cinfo->output_scanline);
    }
    if (cinfo->output_scanline == height_) {
      jpeg_finish_decompress(cinfo);
      complete_ = true;
    }
    return true;
  }

  std::vector<uint8_t> data_;  // the file, which the decompressor reads
  std::unique_ptr<JpegGuard> guard_;
  uint8_t* top_;  // the top row of the store
  ptrdiff_t stride_;
  uint32_t height_;
  bool complete_ = false;  // every row decoded and the decompressor finished
};

}  // namespace

bool ReadJpeg(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options) {
  image.Clear();
  // Every JPEG starts with the start-of-image marker; anything else is refused before the file
  // is read into memory.
  const uint64_t size = stream.size();
  uint8_t start[2] = {};
  if (size < 2 || stream.Read(2, start) != 2 || start[0] != 0xFF || start[1] != 0xD8) {
    return ReadOtherKinds(stream, image, options);
  }
  if (size > Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  std::vector<uint8_t> data(static_cast<size_t>(size));
  SeekTo(stream, 0);
  const uint32_t got = stream.Read(static_cast<uint32_t>(size), data.data());
  data.resize(got);

  auto guard = std::make_unique<JpegGuard>();
  if (!StartJpeg(*guard, data.data(), data.size(), options.autoOrient, image)) {
    if (image.Notes().detail.empty()) {
      image.Notes().detail = guard->errors.message;
    }
    return false;
  }
  std::vector<JpegSegment> segments;
  for (jpeg_saved_marker_ptr m = guard->cinfo.marker_list; m != nullptr; m = m->next) {
    segments.push_back(JpegSegment{m->marker, m->data, m->data_length});
  }
  CarryJpegMetadata(segments, guard->orientation != exif::kUpright, image.Metadata());
  // The profile comes first among the chunks, before the resolution.
  if (guard->icc != nullptr && guard->iccBytes <= colour_chunks::kMaxIccProfileBytes) {
    std::vector<PngChunk> chunks;
    if (colour_chunks::AddIccProfile(std::vector<uint8_t>(guard->icc, guard->icc + guard->iccBytes),
                                     chunks)) {
      image.Ancillary().insert(image.Ancillary().begin(), std::move(chunks.front()));
    }
  }
  if (guard->cmyk || guard->orientation != exif::kUpright) {
    std::vector<uint8_t> line;
    std::vector<uint8_t> bgr;
    if (!DecodePlaced(*guard, line, bgr, image)) {
      image.Notes().detail = guard->errors.message;
      return false;
    }
    if (guard->errors.endedEarly) {
      image.Notes().truncated = true;
      image.Notes().bytesPresent = data.size();
    }
    return true;
  }
  image.SetPending(std::make_unique<StraightRows>(std::move(data), std::move(guard), image));
  return options.deferRows || image.FinishRows();
}

}  // namespace image_readers
