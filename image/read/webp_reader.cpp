// The WebP reader, through libwebp's decoder, its demuxer for the metadata chunks and its
// animation decoder.
//
// Results: a file with alpha becomes 32-bit blue-green-red-alpha, one without 24-bit
// blue-green-red, lossy and lossless alike. An animation of more than one frame becomes its
// first frame as shown on its canvas (32-bit), the default image, and an AnimationSource of
// every frame (webp_animation.h). The ICCP chunk goes into the image as
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
#include <string>
#include <utility>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/colour_chunks.h"
#include "image/read/image_readers.h"
#include "image/read/metadata_chunks.h"
#include "image/read/webp_animation.h"

namespace image_readers {
namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct IdecDeleter {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

bool Fail(Bitmap& image, const char* detail) {
  image.Notes().detail = detail;
  return false;
}

// The ICC profile, EXIF block and XMP packet of a file with an extended header.
void CarryChunks(const WebPData& webp, std::vector<PngChunk>& chunks) {
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&webp, &state));
  if (!demux) {
    return;
  }
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

// An animation: its first frame, composed on its canvas, into `image`, and its frames. A file
// of one frame is a still image. A later frame that does not decode leaves the first frame
// alone, noted with the frame count.
bool DecodeAnimation(std::vector<uint8_t>& data, Bitmap& image) {
  std::string why;
  uint32_t damaged = 0;
  std::unique_ptr<AnimationSource> frames =
      webp_animation::OpenWebpFrames(std::move(data), why, damaged);
  AnimationFrame first;
  if (frames == nullptr || !frames->Frame(0, first, &image)) {
    image.Notes().detail = frames == nullptr ? why : frames->Error();
    return false;
  }
  const uint32_t count = frames->Info().frameCount;
  if (damaged < count) {
    image.Notes().frames = count;
    image.Metadata().LeftOut("animation (frame " + std::to_string(damaged) +
                             " is damaged): only its first frame is written");
  } else if (count > 1) {
    image.SetAnimation(std::move(frames));
  }
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
  std::vector<PngChunk> chunks;
  CarryChunks(WebPData{data.data(), data.size()}, chunks);
  if (features.has_animation) {
    if (!DecodeAnimation(data, image)) {
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
  image.Ancillary() = std::move(chunks);
  return true;
}

}  // namespace image_readers
