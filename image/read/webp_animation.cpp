#include "image/read/webp_animation.h"

#include <webp/demux.h>

#include <cstring>
#include <utility>

#include "image/bitmap.h"

namespace webp_animation {
namespace {

struct AnimDeleter {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
using AnimDecoder = std::unique_ptr<WebPAnimDecoder, AnimDeleter>;

// A duration in milliseconds as a delay fraction whose fields fit 16 bits.
void SetDelay(uint32_t milliseconds, AnimationFrame& frame) {
  uint32_t denominator = 1000;
  uint32_t numerator = milliseconds;
  while (numerator > UINT16_MAX && denominator > 1) {
    numerator = (numerator + 5) / 10;
    denominator /= 10;
  }
  frame.delayNumerator = static_cast<uint16_t>(numerator > UINT16_MAX ? UINT16_MAX : numerator);
  frame.delayDenominator = static_cast<uint16_t>(denominator);
}

class WebpFrames final : public AnimationSource {
 public:
  explicit WebpFrames(std::vector<uint8_t> data) : data_(std::move(data)) {}

  // Starts the decoder and reads every frame's duration; false with `why` set when it cannot.
  bool Open(std::string& why) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
      why = "the WebP decoder could not start";
      return false;
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData webp{data_.data(), data_.size()};
    decoder_.reset(WebPAnimDecoderNew(&webp, &options));
    WebPAnimInfo info;
    if (!decoder_ || !WebPAnimDecoderGetInfo(decoder_.get(), &info) || info.frame_count == 0) {
      why = "a broken WebP animation";
      return false;
    }
    width_ = info.canvas_width;
    height_ = info.canvas_height;
    info_.frameCount = info.frame_count;
    info_.loops = info.loop_count;
    info_.defaultIsFirstFrame = true;
    const WebPDemuxer* demux = WebPAnimDecoderGetDemuxer(decoder_.get());
    durations_.reserve(info.frame_count);
    WebPIterator frame;
    for (uint32_t i = 1; i <= info.frame_count; ++i) {
      if (!WebPDemuxGetFrame(demux, static_cast<int>(i), &frame)) {
        why = "a broken WebP animation frame";
        return false;
      }
      durations_.push_back(static_cast<uint32_t>(frame.duration > 0 ? frame.duration : 0));
      WebPDemuxReleaseIterator(&frame);
    }
    return true;
  }

  const AnimationInfo& Info() const override { return info_; }

  bool Frame(uint32_t index, AnimationFrame& frame, Bitmap* pixels) override {
    error_.clear();
    if (index >= info_.frameCount) {
      error_ = "no such frame";
      return false;
    }
    frame = AnimationFrame();
    frame.width = width_;
    frame.height = height_;
    SetDelay(durations_[index], frame);
    if (pixels == nullptr) {
      return true;
    }
    if (index < next_) {
      WebPAnimDecoderReset(decoder_.get());
      next_ = 0;
    }
    uint8_t* canvas = nullptr;
    while (next_ <= index) {
      int timestamp = 0;
      if (!WebPAnimDecoderGetNext(decoder_.get(), &canvas, &timestamp)) {
        // The decoder cannot go on from here: the next call starts it over.
        WebPAnimDecoderReset(decoder_.get());
        next_ = 0;
        error_ = "frame " + std::to_string(index) + " is damaged";
        return false;
      }
      ++next_;
    }
    if (!pixels->Create(static_cast<int32_t>(width_), static_cast<int32_t>(height_), 32)) {
      error_ = "frame " + std::to_string(index) + " is too large";
      return false;
    }
    const size_t rowBytes = size_t{width_} * 4;
    const int32_t rows = pixels->Height();
    for (int32_t y = 0; y < rows; ++y) {
      std::memcpy(pixels->Row(rows - 1 - y), canvas + rowBytes * static_cast<size_t>(y), rowBytes);
    }
    return true;
  }

  std::string Error() const override { return error_; }

 private:
  std::vector<uint8_t> data_;  // read by the decoder: declared before it, so it outlives it
  AnimDecoder decoder_;
  uint32_t next_ = 0;  // the frame the decoder gives next
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<uint32_t> durations_;
  AnimationInfo info_;
  std::string error_;
};

}  // namespace

std::unique_ptr<AnimationSource> OpenWebpFrames(std::vector<uint8_t> data, std::string& why) {
  auto frames = std::make_unique<WebpFrames>(std::move(data));
  if (!frames->Open(why)) {
    return nullptr;
  }
  return frames;
}

}  // namespace webp_animation
