// The read-back of an animated PNG, one frame at a time.
#include "image/png/apng_read_back.h"

#include <cstring>
#include <string>

#include "base/file.h"
#include "image/animation.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/png/apng_writer.h"
#include "image/png/png_row_check.h"
#include "image/read/apng_reader.h"
#include "image/read/image_readers.h"
#include "image/read/png_chunk_walk.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// True when an fcTL chunk's data says `frame`'s placement, delay and operations.
bool SaysFrame(const std::vector<uint8_t>& data, const AnimationFrame& frame) {
  const uint8_t* d = data.data();
  return data.size() == 26 && Be32(d + 4) == frame.width && Be32(d + 8) == frame.height &&
         Be32(d + 12) == frame.x && Be32(d + 16) == frame.y &&
         Be16(d + 20) == frame.delayNumerator && Be16(d + 22) == frame.delayDenominator &&
         d[24] == frame.dispose && d[25] == frame.blend;
}

// The walk's state: which image the data now read belongs to, and what it must show.
class FrameChecker {
 public:
  FrameChecker(const Bitmap& image, AnimationSource& encoded)
      : image_(image), encoded_(encoded), info_(encoded.Info()) {}

  ReadBackResult Chunk(const PngChunkHeader& chunk, std::vector<uint8_t>& data);
  // After IEND: every frame arrived with its data.
  bool Whole() const {
    return idatDone_ && !awaitingData_ && run_ == Run::kNone && next_ == info_.frameCount;
  }

  std::vector<uint8_t> header;
  std::vector<uint8_t> palette;
  std::vector<uint8_t> transparency;

 private:
  enum class Run { kNone, kDefault, kFrame };

  ReadBackResult FinishRun();
  ReadBackResult FrameControl(const std::vector<uint8_t>& data);

  const Bitmap& image_;
  AnimationSource& encoded_;
  const AnimationInfo& info_;
  bool animated_ = false;
  bool idatDone_ = false;
  bool awaitingData_ = false;  // an fcTL whose data has not come yet
  Run run_ = Run::kNone;
  uint32_t next_ = 0;                // the index of the next fcTL
  uint32_t sequence_ = 0;            // the next sequence number
  std::vector<uint8_t> compressed_;  // the zlib stream of the run being read
  Bitmap source_;                    // the frame the run was written from
  Bitmap converted_;
  Bitmap decoded_;
};

ReadBackResult FrameChecker::FrameControl(const std::vector<uint8_t>& data) {
  AnimationFrame from;
  if (!animated_ || awaitingData_ || next_ >= info_.frameCount || data.size() != 26 ||
      Be32(data.data()) != sequence_++ || (next_ > 0 && !idatDone_) ||
      (next_ == 0 && idatDone_ == info_.defaultIsFirstFrame)) {
    return ReadBackResult::kUnreadable;
  }
  const bool isDefault = next_ == 0 && info_.defaultIsFirstFrame;
  // The frame the data that follows was written from, held until the data has been compared.
  if (!encoded_.Frame(next_, from, isDefault ? nullptr : &source_)) {
    return ReadBackResult::kUnreadable;
  }
  ++next_;
  awaitingData_ = true;
  return SaysFrame(data, from) ? ReadBackResult::kSame : ReadBackResult::kPixelsDiffer;
}

ReadBackResult FrameChecker::FinishRun() {
  const Run run = run_;
  run_ = Run::kNone;
  if (run == Run::kNone) {
    return ReadBackResult::kSame;
  }
  const Bitmap* expected = &image_;
  if (run == Run::kFrame) {
    expected = FrameAsWritten(image_, source_, converted_);
    if (expected == nullptr) {
      return ReadBackResult::kPixelsDiffer;
    }
  }
  PngImageKind kind;
  kind.header = &header;
  kind.palette = &palette;
  kind.transparency = &transparency;
  ReadBackResult result = ReadBackResult::kSame;
  switch (CheckImageRows(kind, compressed_, *expected)) {
    case PngRowCheck::kSame:
      break;
    case PngRowCheck::kDiffer:
      result = ReadBackResult::kPixelsDiffer;
      break;
    case PngRowCheck::kNotChecked:
      if (!DecodeApngFrame(header, palette, transparency, static_cast<uint32_t>(expected->Width()),
                           static_cast<uint32_t>(expected->Height()), compressed_, decoded_)) {
        result = ReadBackResult::kUnreadable;
      } else if (!SamePixels(*expected, decoded_)) {
        result = ReadBackResult::kPixelsDiffer;
      }
      decoded_.Clear();
      break;
  }
  compressed_.clear();
  source_.Clear();
  converted_.Clear();
  return result;
}

ReadBackResult FrameChecker::Chunk(const PngChunkHeader& chunk, std::vector<uint8_t>& data) {
  const bool idat = chunk.Is("IDAT");
  const bool fdat = chunk.Is("fdAT");
  if ((run_ == Run::kDefault && !idat) || (run_ == Run::kFrame && !fdat)) {
    const ReadBackResult finished = FinishRun();
    if (finished != ReadBackResult::kSame) {
      return finished;
    }
  }
  if (chunk.Is("IHDR")) {
    if (!header.empty() || data.size() != 13 || Be32(data.data()) != uint32_t(image_.Width()) ||
        Be32(data.data() + 4) != uint32_t(image_.Height())) {
      return ReadBackResult::kUnreadable;
    }
    header = data;
  } else if (header.empty()) {
    return ReadBackResult::kUnreadable;  // IHDR comes first
  } else if (chunk.Is("PLTE")) {
    palette = data;
  } else if (chunk.Is("tRNS")) {
    transparency = data;
  } else if (chunk.Is("acTL")) {
    if (animated_ || idatDone_ || run_ != Run::kNone || data.size() != 8) {
      return ReadBackResult::kUnreadable;
    }
    animated_ = true;
    if (Be32(data.data()) != info_.frameCount || Be32(data.data() + 4) != info_.loops) {
      return ReadBackResult::kPixelsDiffer;
    }
  } else if (chunk.Is("fcTL")) {
    return FrameControl(data);
  } else if (idat) {
    // The default image: after frame 0's fcTL when it is that frame, before any fcTL otherwise.
    if (idatDone_ && run_ != Run::kDefault) {
      return ReadBackResult::kUnreadable;
    }
    if (run_ == Run::kNone) {
      if (info_.defaultIsFirstFrame != awaitingData_) {
        return ReadBackResult::kUnreadable;
      }
      run_ = Run::kDefault;
      idatDone_ = true;
      awaitingData_ = false;
    }
    compressed_.insert(compressed_.end(), data.begin(), data.end());
  } else if (fdat) {
    if (data.size() < 4 || Be32(data.data()) != sequence_++ || !idatDone_ ||
        (run_ == Run::kNone && !awaitingData_)) {
      return ReadBackResult::kUnreadable;
    }
    run_ = Run::kFrame;
    awaitingData_ = false;
    compressed_.insert(compressed_.end(), data.begin() + 4, data.end());
  }
  return ReadBackResult::kSame;
}

}  // namespace

ReadBackResult ReadBackApng(kiv::File& file, const Bitmap& image,
                            const std::vector<PngChunk>& carried) {
  uint8_t signature[8];
  image_readers::SeekTo(file, 0);
  if (file.Read(sizeof signature, signature) != sizeof signature ||
      std::memcmp(signature, kSignature, sizeof signature) != 0) {
    return ReadBackResult::kUnreadable;
  }
  FrameChecker checker(image, *image.Animation());
  PngChunkWalker walker(file);
  PngChunkHeader chunk;
  std::vector<uint8_t> data;
  size_t carriedAt = 0;
  bool sameChunks = true;
  while (walker.Next(chunk)) {
    if (!walker.ReadData(chunk, data)) {
      return ReadBackResult::kUnreadable;  // cut short, or a wrong CRC
    }
    // The ancillary chunks the writer carried; tRNS belongs to the pixels, and a frame's data
    // is compared as pixels.
    if (!chunk.Critical() && !chunk.Is("tRNS") && !chunk.Is("fdAT")) {
      sameChunks = sameChunks && carriedAt < carried.size() &&
                   std::memcmp(carried[carriedAt].type.data(), chunk.type.data(), 4) == 0 &&
                   carried[carriedAt].data == data;
      ++carriedAt;
    }
    const ReadBackResult result = checker.Chunk(chunk, data);
    if (result != ReadBackResult::kSame) {
      return result;
    }
    if (chunk.Is("IEND")) {
      if (chunk.offset + chunk.length + 4 != file.size() || !checker.Whole()) {
        return ReadBackResult::kUnreadable;
      }
      return sameChunks && carriedAt == carried.size() ? ReadBackResult::kSame
                                                       : ReadBackResult::kChunksDiffer;
    }
  }
  return ReadBackResult::kUnreadable;  // a damaged header, or no IEND
}
