#include "image/read/webp_animation.h"

#include <webp/demux.h>

#include <algorithm>
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

struct Box {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

// The smallest rectangle holding every pixel of `canvas` that differs from `previous` (both
// `width` x `height`, 4 bytes a pixel); one pixel at the top-left corner when none does.
Box ChangedBox(const uint8_t* previous, const uint8_t* canvas, uint32_t width, uint32_t height) {
  const size_t rowBytes = size_t{width} * 4;
  uint32_t left = width;
  uint32_t right = 0;
  uint32_t top = height;
  uint32_t bottom = 0;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* a = previous + rowBytes * y;
    const uint8_t* b = canvas + rowBytes * y;
    if (std::memcmp(a, b, rowBytes) == 0) {
      continue;
    }
    top = std::min(top, y);
    bottom = y + 1;
    for (uint32_t x = 0; x < width; ++x) {
      if (std::memcmp(a + 4 * size_t{x}, b + 4 * size_t{x}, 4) != 0) {
        left = std::min(left, x);
        right = std::max(right, x + 1);
      }
    }
  }
  if (bottom == 0) {
    return Box{0, 0, 1, 1};
  }
  return Box{left, top, right - left, bottom - top};
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

  // Decodes every frame once, finding what each changes; returns the first frame that does not
  // decode, or the frame count.
  uint32_t Scan() {
    const size_t bytes = size_t{width_} * 4 * height_;
    std::vector<uint8_t> previous;
    boxes_.clear();
    for (uint32_t index = 0; index < info_.frameCount; ++index) {
      uint8_t* canvas = nullptr;
      int timestamp = 0;
      if (!WebPAnimDecoderGetNext(decoder_.get(), &canvas, &timestamp)) {
        break;
      }
      boxes_.push_back(index == 0 ? Box{0, 0, width_, height_}
                                  : ChangedBox(previous.data(), canvas, width_, height_));
      previous.assign(canvas, canvas + bytes);
    }
    WebPAnimDecoderReset(decoder_.get());
    next_ = 0;
    return static_cast<uint32_t>(boxes_.size());
  }

  const AnimationInfo& Info() const override { return info_; }

  bool Frame(uint32_t index, AnimationFrame& frame, Bitmap* pixels) override {
    error_.clear();
    if (index >= boxes_.size()) {
      error_ = index < info_.frameCount ? "frame " + std::to_string(index) + " is damaged"
                                        : "no such frame";
      return false;
    }
    const Box& box = boxes_[index];
    frame = AnimationFrame();
    frame.x = box.x;
    frame.y = box.y;
    frame.width = box.width;
    frame.height = box.height;
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
    if (!pixels->Create(static_cast<int32_t>(box.width), static_cast<int32_t>(box.height), 32)) {
      error_ = "frame " + std::to_string(index) + " is too large";
      return false;
    }
    const size_t canvasRow = size_t{width_} * 4;
    const size_t rowBytes = size_t{box.width} * 4;
    const int32_t rows = pixels->Height();
    for (int32_t y = 0; y < rows; ++y) {
      const uint8_t* from =
          canvas + canvasRow * (box.y + static_cast<size_t>(y)) + 4 * size_t{box.x};
      std::memcpy(pixels->Row(rows - 1 - y), from, rowBytes);
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
  std::vector<Box> boxes_;  // of the frames that decode, in order
  AnimationInfo info_;
  std::string error_;
};

}  // namespace

std::unique_ptr<AnimationSource> OpenWebpFrames(std::vector<uint8_t> data, std::string& why,
                                                uint32_t& damaged) {
  auto frames = std::make_unique<WebpFrames>(std::move(data));
  if (!frames->Open(why)) {
    return nullptr;
  }
  damaged = frames->Scan();
  if (damaged == 0) {
    why = "a broken WebP animation frame";
    return nullptr;
  }
  return frames;
}

}  // namespace webp_animation
