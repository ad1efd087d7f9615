#include "image/read/gif_animation.h"

#include <algorithm>
#include <string>
#include <utility>

#include "image/read/gif_image.h"

namespace gif_animation {
namespace {

class GifFrames final : public AnimationSource {
 public:
  GifFrames(std::vector<uint8_t> data, std::vector<ImageRecord> images, int32_t width,
            int32_t height, uint32_t loops, const Bitmap& kind)
      : data_(std::move(data)),
        images_(std::move(images)),
        width_(width),
        height_(height),
        bitCount_(kind.BitCount()),
        palette_(kind.Palette()) {
    info_.frameCount = static_cast<uint32_t>(images_.size());
    info_.loops = loops;
    info_.defaultIsFirstFrame = true;
  }

  const AnimationInfo& Info() const override { return info_; }

  bool Frame(uint32_t index, AnimationFrame& frame, Bitmap* pixels) override {
    error_.clear();
    if (index >= images_.size()) {
      error_ = "no such frame";
      return false;
    }
    const ImageRecord& image = images_[index];
    frame = Placement(index);
    if (pixels == nullptr) {
      return true;
    }
    if (!pixels->Create(static_cast<int32_t>(frame.width), static_cast<int32_t>(frame.height),
                        bitCount_)) {
      error_ = "frame " + std::to_string(index) + " is too large";
      return false;
    }
    pixels->Palette() = palette_;
    if (OffScreen(image)) {
      return true;  // one transparent pixel
    }
    gif_image::Input input{data_.data(), data_.size(), 0};
    gif_image::GifHandle gif = gif_image::Open(input);
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    bool ok = gif != nullptr;
    if (ok) {
      input.at = image.offset;
      ok = DGifGetRecordType(gif.get(), &record) == GIF_OK && record == IMAGE_DESC_RECORD_TYPE &&
           DGifGetImageDesc(gif.get()) == GIF_OK && gif_image::TableOf(gif.get()) != nullptr;
    }
    if (ok) {
      const gif_image::Lines lines =
          gif_image::DecodeLines(gif.get(), image.transparent, pixels,
                                 static_cast<int32_t>(frame.x), static_cast<int32_t>(frame.y));
      ok = lines.done == lines.total && lines.maxIndex < 256 &&
           (bitCount_ != 8 || static_cast<size_t>(lines.maxIndex) < palette_.size());
    }
    if (!ok) {
      error_ = "frame " + std::to_string(index) + " is damaged";
      return false;
    }
    return true;
  }

  std::string Error() const override { return error_; }

 private:
  bool OffScreen(const ImageRecord& image) const {
    return image.left >= width_ || image.top >= height_;
  }

  AnimationFrame Placement(uint32_t index) const {
    const ImageRecord& image = images_[index];
    AnimationFrame frame;
    frame.delayNumerator = image.delay;
    frame.delayDenominator = 100;
    frame.dispose = image.disposal == 2   ? AnimationFrame::kDisposeBackground
                    : image.disposal == 3 ? AnimationFrame::kDisposePrevious
                                          : AnimationFrame::kDisposeNone;
    frame.blend = image.transparent >= 0 && bitCount_ == 32 ? AnimationFrame::kBlendOver
                                                            : AnimationFrame::kBlendSource;
    if (index == 0) {
      frame.width = static_cast<uint32_t>(width_);
      frame.height = static_cast<uint32_t>(height_);
      frame.blend = AnimationFrame::kBlendSource;
    } else if (OffScreen(image)) {
      frame.width = 1;
      frame.height = 1;
      frame.dispose = AnimationFrame::kDisposeNone;
      frame.blend = AnimationFrame::kBlendOver;
    } else {
      frame.x = static_cast<uint32_t>(image.left);
      frame.y = static_cast<uint32_t>(image.top);
      frame.width = static_cast<uint32_t>(std::min(image.width, width_ - image.left));
      frame.height = static_cast<uint32_t>(std::min(image.height, height_ - image.top));
    }
    return frame;
  }

  std::vector<uint8_t> data_;
  std::vector<ImageRecord> images_;
  int32_t width_;
  int32_t height_;
  uint32_t bitCount_;
  std::vector<Bitmap::PaletteEntry> palette_;
  AnimationInfo info_;
  std::string error_;
};

}  // namespace

std::unique_ptr<AnimationSource> MakeGifFrames(std::vector<uint8_t> data,
                                               std::vector<ImageRecord> images, int32_t width,
                                               int32_t height, uint32_t loops, const Bitmap& kind) {
  return std::make_unique<GifFrames>(std::move(data), std::move(images), width, height, loops,
                                     kind);
}

}  // namespace gif_animation
