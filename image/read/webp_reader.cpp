// The WebP reader, through libwebp's decoder, its demuxer for the metadata chunks and its
// animation decoder.
//
// Results: a file with alpha becomes 32-bit blue-green-red-alpha, one without 24-bit
// blue-green-red, lossy and lossless alike. An animation becomes its first frame as shown on
// its canvas (32-bit), the notes counting its frames. The ICCP chunk goes into the image as
// iCCP when it is a usable RGB profile, the EXIF chunk as eXIf, the XMP chunk as iTXt.
//
// A still file whose data ends early decodes as far as its data goes, the rows below left
// black (transparent with alpha), and is noted as truncated; one that ends before its first
// row fails. The canvas's pixel store is checked against Bitmap::kMaxPixelStoreBytes before
// anything is decoded or allocated for it.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/colour_chunks.h"
#include "image/read/image_readers.h"
#include "image/read/metadata_chunks.h"

namespace image_readers {
namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct AnimDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
struct IdecDeleter {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

bool Fail(Bitmap& image, const char* detail) {
  image.Notes().detail = detail;
  return false;
}

// The ICC profile, EXIF block and XMP packet of a file with an extended header.
void CarryChunks(const WebPData& webp, Bitmap& image) {
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&webp, &state));
  if (!demux) {
    return;
  }
  std::vector<PngChunk>& chunks = image.Ancillary();
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
    if (chunk.chunk.size <= colour_chunks::kMaxIccProfileBytes) {
      colour_chunks::AddIccProfile(
          std::vector<uint8_t>(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size), chunks);
    }
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
    metadata_chunks::AddExif(chunk.chunk.bytes, chunk.chunk.size, false, chunks);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  if (WebPDemuxGetChunk(demux.get(), "XMP ", 1, &chunk)) {
    metadata_chunks::AddXmp(chunk.chunk.bytes, chunk.chunk.size, chunks);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
}

// The first frame of an animation, composed on its canvas.
bool DecodeFirstFrame(const WebPData& webp, Bitmap& image) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) {
    return Fail(image, "the WebP decoder could not start");
  }
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(WebPAnimDecoderNew(&webp, &options));
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info)) {
    return Fail(image, "a broken WebP animation");
  }
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
    return Fail(image, "a broken WebP animation frame");
  }
  if (!image.Create(static_cast<int32_t>(info.canvas_width),
                    static_cast<int32_t>(info.canvas_height), 32)) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  const size_t rowBytes = size_t{info.canvas_width} * 4;
  const int32_t rows = image.Height();
  for (int32_t y = 0; y < rows; ++y) {
    std::memcpy(image.Row(rows - 1 - y), canvas + rowBytes * static_cast<size_t>(y), rowBytes);
  }
  image.Notes().frames = info.frame_count;
  return true;
}

// A still image, decoded straight into the pixel store, bottom row first.
bool DecodeStill(const std::vector<uint8_t>& data, WebPDecoderConfig& config, Bitmap& image) {
  config.options.flip = 1;
  config.options.use_threads = 0;
  config.output.colorspace = image.BitCount() == 32 ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = image.Pixels().data();
  config.output.u.RGBA.stride = static_cast<int>(image.Stride());
  config.output.u.RGBA.size = image.Pixels().size();
  std::unique_ptr<WebPIDecoder, IdecDeleter> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) {
    return Fail(image, "the WebP decoder could not start");
  }
  const VP8StatusCode status = WebPIUpdate(decoder.get(), data.data(), data.size());
  if (status == VP8_STATUS_OK) {
    return true;
  }
  int lastRow = 0;
  if (status == VP8_STATUS_SUSPENDED &&
      WebPIDecGetRGB(decoder.get(), &lastRow, nullptr, nullptr, nullptr) != nullptr &&
      lastRow > 0) {
    image.Notes().truncated = true;
    image.Notes().bytesPresent = data.size();
    return true;
  }
  return Fail(image, status == VP8_STATUS_SUSPENDED ? "the WebP data ends early"
                                                    : "damaged WebP image data");
}

}  // namespace

bool ReadWebp(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions&) {
  image.Clear();
  std::vector<uint8_t> data;
  if (!ReadWholeStream(stream, data, image)) {
    return false;
  }
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) {
    return Fail(image, "the WebP decoder could not start");
  }
  const VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &config.input);
  if (status != VP8_STATUS_OK) {
    return Fail(image, status == VP8_STATUS_NOT_ENOUGH_DATA ? "the WebP header ends early"
                                                            : "not a valid WebP header");
  }
  const WebPBitstreamFeatures& features = config.input;
  const uint32_t bitCount = features.has_alpha || features.has_animation ? 32 : 24;
  if (features.width <= 0 || features.height <= 0) {
    return Fail(image, "a WebP image without pixels");
  }
  // The animation decoder keeps a second canvas: both are bounded by the one limit.
  if (Bitmap::StrideFor(static_cast<uint64_t>(features.width), bitCount) *
          static_cast<uint64_t>(features.height) >
      Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  const WebPData webp{data.data(), data.size()};
  if (features.has_animation) {
    if (!DecodeFirstFrame(webp, image)) {
      return false;
    }
  } else {
    if (!image.Create(features.width, features.height, bitCount)) {
      image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
      return false;
    }
    if (!DecodeStill(data, config, image)) {
      return false;
    }
  }
  CarryChunks(webp, image);
  return true;
}

}  // namespace image_readers
