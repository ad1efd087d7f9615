// The JPEG reader, through libjpeg's decompressor over the file's bytes in memory.
//
// Results: grey becomes 8-bit indexed with the grey ramp; YCbCr and RGB become 24-bit
// blue-green-red; CMYK and YCCK become 24-bit blue-green-red by the ink product (Adobe's
// inverted CMYK, marked by its APP14 segment, included). A file whose data ends early decodes
// with the missing part as libjpeg fills it (a warning, not an error), unless the file is far too
// small for the size its header declares.
//
// libjpeg reports errors through error_exit, which jumps back here by longjmp. Everything that
// can jump lives in DecodeJpeg, which holds no object with a destructor; the decompressor is
// owned by JpegGuard in the caller's frame and destroyed there.
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <vector>

#include "base/file.h"
#include "engine/bitmap.h"
#include "engine/image_readers.h"

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

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is a pointer to this
  jmp_buf jump;
};

void JumpOnError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  longjmp(errors->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

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
  }
  JpegGuard(const JpegGuard&) = delete;
  JpegGuard& operator=(const JpegGuard&) = delete;

  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  bool created = false;
};

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

// Decodes the JPEG in `data` into `image`. Every libjpeg error lands at the setjmp below and
// returns false; no local here has a destructor. `line` is scratch owned by the caller.
bool DecodeJpeg(JpegGuard& guard, const uint8_t* data, size_t size, std::vector<uint8_t>& line,
                Bitmap& image) {
  j_decompress_ptr cinfo = &guard.cinfo;
  cinfo->err = jpeg_std_error(&guard.errors.base);
  guard.errors.base.error_exit = JumpOnError;
  guard.errors.base.output_message = IgnoreMessage;
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
  jpeg_read_header(cinfo, TRUE);

  bool cmyk = false;
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
      cmyk = true;
      break;
    default:
      return false;
  }
  if (cinfo->image_width == 0 || cinfo->image_height == 0 ||
      Bitmap::StrideFor(cinfo->image_width, bitCount) * cinfo->image_height >
          Bitmap::kMaxPixelStoreBytes ||
      !PlausibleForSize(*cinfo, size)) {
    return false;
  }
  jpeg_start_decompress(cinfo);
  const int expected = bitCount == 8 ? 1 : (cmyk ? 4 : 3);
  if (cinfo->output_components != expected) {
    return false;
  }
  if (!image.Create(static_cast<int32_t>(cinfo->output_width),
                    static_cast<int32_t>(cinfo->output_height), bitCount)) {
    return false;
  }
  if (cmyk) {
    line.resize(static_cast<size_t>(cinfo->output_width) * 4);
  }
  const bool inverted = cinfo->saw_Adobe_marker != 0;
  const int32_t height = image.Height();
  while (cinfo->output_scanline < cinfo->output_height) {
    // The first scanline is the top row: the last stored row.
    uint8_t* row = image.Row(height - 1 - static_cast<int32_t>(cinfo->output_scanline));
    JSAMPROW target = cmyk ? line.data() : row;
    if (jpeg_read_scanlines(cinfo, &target, 1) != 1) {
      return false;
    }
    if (cmyk) {
      CmykToBgr(line.data(), row, cinfo->output_width, inverted);
    }
  }
  jpeg_finish_decompress(cinfo);
  if (bitCount == 8) {
    image.SetGreyPalette();
  }
  return true;
}

}  // namespace

bool ReadJpeg(kiv::File& stream, Bitmap& image) {
  image.Clear();
  // Every JPEG starts with the start-of-image marker; anything else is refused before the file
  // is read into memory.
  const uint64_t size = stream.size();
  uint8_t start[2] = {};
  if (size < 2 || size > Bitmap::kMaxPixelStoreBytes || stream.Read(2, start) != 2 ||
      start[0] != 0xFF || start[1] != 0xD8) {
    return false;
  }
  std::vector<uint8_t> data(static_cast<size_t>(size));
  SeekTo(stream, 0);
  const uint32_t got = stream.Read(static_cast<uint32_t>(size), data.data());
  data.resize(got);

  JpegGuard guard;
  std::vector<uint8_t> line;
  return DecodeJpeg(guard, data.data(), data.size(), line, image);
}

}  // namespace image_readers
