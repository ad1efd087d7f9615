#include "image/read/apng_reader.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/metadata.h"
#include "image/png/png_chunk_writer.h"
#include "image/read/png_chunk_walk.h"

namespace {

constexpr size_t kHeaderBytes = 13;
constexpr size_t kAnimationControlBytes = 8;
constexpr size_t kFrameControlBytes = 26;

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

struct StoredFrame {
  AnimationFrame placement;
  std::vector<uint8_t> data;  // the frame's zlib stream
};

class ApngFrames final : public AnimationSource {
 public:
  ApngFrames(AnimationInfo info, std::vector<uint8_t> header, std::vector<uint8_t> palette,
             std::vector<uint8_t> transparency, std::vector<StoredFrame> frames)
      : info_(info),
        header_(std::move(header)),
        palette_(std::move(palette)),
        transparency_(std::move(transparency)),
        frames_(std::move(frames)) {}

  const AnimationInfo& Info() const override { return info_; }

  bool Frame(uint32_t index, AnimationFrame& frame, Bitmap* pixels) override {
    error_.clear();
    if (index >= frames_.size()) {
      error_ = "no such frame";
      return false;
    }
    const StoredFrame& stored = frames_[index];
    frame = stored.placement;
    if (pixels == nullptr) {
      return true;
    }
    if (!DecodeApngFrame(header_, palette_, transparency_, frame.width, frame.height, stored.data,
                         *pixels)) {
      error_ = "frame " + std::to_string(index) + " is damaged";
      if (!pixels->Notes().detail.empty()) {
        error_ += ": " + pixels->Notes().detail;
      }
      return false;
    }
    return true;
  }

  std::string Error() const override { return error_; }

 private:
  AnimationInfo info_;
  std::vector<uint8_t> header_;  // the file's IHDR data
  std::vector<uint8_t> palette_;
  std::vector<uint8_t> transparency_;
  std::vector<StoredFrame> frames_;
  std::string error_;
};

// Reads an fcTL chunk's data into `frame`; false when a field is out of range for `canvas`.
bool ReadFrameControl(const std::vector<uint8_t>& data, uint32_t canvasWidth, uint32_t canvasHeight,
                      AnimationFrame& frame) {
  if (data.size() != kFrameControlBytes) {
    return false;
  }
  frame.width = Be32(&data[4]);
  frame.height = Be32(&data[8]);
  frame.x = Be32(&data[12]);
  frame.y = Be32(&data[16]);
  frame.delayNumerator = Be16(&data[20]);
  frame.delayDenominator = Be16(&data[22]);
  frame.dispose = data[24];
  frame.blend = data[25];
  return frame.width > 0 && frame.height > 0 && frame.x <= canvasWidth &&
         frame.width <= canvasWidth - frame.x && frame.y <= canvasHeight &&
         frame.height <= canvasHeight - frame.y &&
         frame.dispose <= AnimationFrame::kDisposePrevious &&
         frame.blend <= AnimationFrame::kBlendOver;
}

// Walks the file; an empty `why` with a null result means not animated.
std::unique_ptr<AnimationSource> Walk(kiv::File& stream, std::string& why) {
  PngChunkWalker walker(stream);
  PngChunkHeader chunk;
  std::vector<uint8_t> header;
  std::vector<uint8_t> palette;
  std::vector<uint8_t> transparency;
  std::vector<uint8_t> data;
  std::vector<StoredFrame> frames;
  AnimationInfo info;
  bool animated = false;
  bool idatSeen = false;
  bool inIdat = false;  // in the IDAT run of a default image that is frame 0
  uint32_t sequence = 0;
  uint64_t stored = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  auto read = [&](std::vector<uint8_t>& into) {
    if (!walker.ReadData(chunk, into)) {
      why = "a damaged chunk";
      return false;
    }
    return true;
  };
  // Adds `length` bytes from `from` to the last frame's data, within the limit.
  auto store = [&](const uint8_t* from, size_t length) {
    if (frames.empty() || length > Bitmap::kMaxPixelStoreBytes - stored) {
      why = frames.empty() ? "frame data before its frame control" : "too large to carry";
      return false;
    }
    stored += length;
    frames.back().data.insert(frames.back().data.end(), from, from + length);
    return true;
  };
  while (walker.Next(chunk)) {
    const bool idat = chunk.Is("IDAT");
    inIdat = inIdat && idat;
    if (chunk.Is("IHDR")) {
      if (!read(header) || header.size() != kHeaderBytes) {
        return nullptr;
      }
      width = Be32(header.data());
      height = Be32(header.data() + 4);
    } else if (chunk.Is("PLTE")) {
      if (!read(palette)) {
        return nullptr;
      }
    } else if (chunk.Is("tRNS")) {
      if (!read(transparency)) {
        return nullptr;
      }
    } else if (chunk.Is("acTL") && !idatSeen && !animated) {
      if (!read(data) || data.size() != kAnimationControlBytes || Be32(data.data()) == 0) {
        why = why.empty() ? "an invalid animation control" : why;
        return nullptr;
      }
      animated = true;
      info.frameCount = Be32(data.data());
      info.loops = Be32(data.data() + 4);
    } else if (!animated) {
      idatSeen = idatSeen || idat;
      continue;
    } else if (chunk.Is("fcTL")) {
      StoredFrame frame;
      if (!read(data) || Be32(data.data()) != sequence++ || frames.size() >= info.frameCount ||
          !ReadFrameControl(data, width, height, frame.placement)) {
        why = why.empty() ? "an invalid frame control" : why;
        return nullptr;
      }
      if (!idatSeen) {
        info.defaultIsFirstFrame = true;
        inIdat = true;
        if (frame.placement.x != 0 || frame.placement.y != 0 || frame.placement.width != width ||
            frame.placement.height != height) {
          why = "a first frame other than the canvas";
          return nullptr;
        }
      }
      frames.push_back(std::move(frame));
    } else if (idat) {
      idatSeen = true;
      if (info.defaultIsFirstFrame && frames.size() == 1 &&
          (inIdat || frames.back().data.empty())) {
        inIdat = true;
        if (!read(data) || !store(data.data(), data.size())) {
          return nullptr;
        }
      }
    } else if (chunk.Is("fdAT")) {
      if (!read(data) || data.size() < 4 || Be32(data.data()) != sequence++ ||
          (info.defaultIsFirstFrame && frames.size() == 1) ||
          !store(data.data() + 4, data.size() - 4)) {
        why = why.empty() ? "invalid frame data" : why;
        return nullptr;
      }
    }
  }
  if (!animated) {
    return nullptr;
  }
  if (frames.size() != info.frameCount || header.empty()) {
    why = "frames missing";
    return nullptr;
  }
  for (const StoredFrame& frame : frames) {
    if (frame.data.empty()) {
      why = "a frame without data";
      return nullptr;
    }
  }
  return std::make_unique<ApngFrames>(info, std::move(header), std::move(palette),
                                      std::move(transparency), std::move(frames));
}

}  // namespace

bool DecodeApngFrame(const std::vector<uint8_t>& header, const std::vector<uint8_t>& palette,
                     const std::vector<uint8_t>& transparency, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& data, Bitmap& pixels) {
  if (header.size() != kHeaderBytes) {
    return false;
  }
  // The frame as a PNG of its own: the file's header at the frame's size, its palette and
  // transparency, the frame's data.
  std::vector<uint8_t> png;
  kiv::File stream;
  stream.AttachVector(png);
  PngChunkWriter chunks(stream);
  std::vector<uint8_t> sized = header;
  PutBe32(sized.data(), width);
  PutBe32(sized.data() + 4, height);
  bool ok = chunks.Signature() && chunks.Chunk("IHDR", sized.data(), sized.size());
  if (ok && !palette.empty()) {
    ok = chunks.Chunk("PLTE", palette.data(), palette.size());
  }
  if (ok && !transparency.empty()) {
    ok = chunks.Chunk("tRNS", transparency.data(), transparency.size());
  }
  ok = ok && chunks.Chunk("IDAT", data.data(), data.size()) && chunks.Chunk("IEND", nullptr, 0) &&
       chunks.Finish();
  stream.Close();
  return ok && pixels.LoadFromMemory(png) && pixels.Width() == static_cast<int32_t>(width) &&
         pixels.Height() == static_cast<int32_t>(height) && !pixels.Notes().truncated;
}

std::unique_ptr<AnimationSource> ReadApngFrames(kiv::File& stream, ImageMetadata& notes) {
  std::string why;
  std::unique_ptr<AnimationSource> frames;
  try {
    frames = Walk(stream, why);
  } catch (const std::bad_alloc&) {
    why = "too large to carry";
  }
  if (frames == nullptr && !why.empty()) {
    notes.LeftOut("animation (" + why + "): only its default image is written");
  }
  return frames;
}
