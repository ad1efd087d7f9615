#include "image/metadata.h"

#include "image/exif_orientation.h"

#include <algorithm>
#include <cstring>
#include <utility>

bool ImageMetadata::Fits(uint64_t bytes) const {
  return bytes <= kMaxBlockBytes && bytes <= kMaxTotalBytes - bytes_;
}

bool ImageMetadata::AddChunk(PngChunk chunk, ChunkPlace place) {
  if (!Fits(chunk.data.size())) {
    LeftOut("'" + std::string(chunk.type.data(), 4) + "' too large to carry");
    return false;
  }
  bytes_ += chunk.data.size();
  chunks_.push_back(CarriedChunk{std::move(chunk), place});
  return true;
}

void ImageMetadata::LeftOut(const std::string& what) {
  if (std::find(leftOut_.begin(), leftOut_.end(), what) == leftOut_.end()) {
    leftOut_.push_back(what);
  }
}

void ImageMetadata::Clear() {
  leftOut_.clear();
  chunks_.clear();
  bytes_ = 0;
  background.reset();
  significantBits.reset();
}

std::string ImageMetadata::LeftOutText() const {
  std::string text;
  for (const std::string& note : leftOut_) {
    text += (text.empty() ? "" : "; ") + note;
  }
  return text;
}

namespace metadata {
namespace {

PngChunk Chunk(const char* type) {
  PngChunk chunk;
  std::memcpy(chunk.type.data(), type, 4);
  return chunk;
}

void Append(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

PngChunk MakeText(const std::string& keyword, const std::string& latin1) {
  PngChunk chunk = Chunk("tEXt");
  Append(chunk.data, keyword);
  chunk.data.push_back(0);
  Append(chunk.data, latin1);
  return chunk;
}

PngChunk MakeInternationalText(const std::string& keyword, const std::string& utf8) {
  PngChunk chunk = Chunk("iTXt");
  Append(chunk.data, keyword);
  // Keyword end, not compressed, compression method, empty language, empty translated keyword.
  chunk.data.insert(chunk.data.end(), {0, 0, 0, 0, 0});
  Append(chunk.data, utf8);
  return chunk;
}

void AddExif(std::vector<uint8_t> tiff, bool turnedUpright, ImageMetadata& out) {
  if (turnedUpright) {
    exif::MarkUpright(tiff.data(), tiff.size());
  }
  PngChunk chunk = Chunk("eXIf");
  chunk.data = std::move(tiff);
  out.AddChunk(std::move(chunk), ChunkPlace::kBeforePlte);
}

void AddXmp(const std::string& packet, ImageMetadata& out) {
  out.AddChunk(MakeInternationalText(kXmpKeyword, packet), ChunkPlace::kBeforePlte);
}

bool IsUtf8(const uint8_t* bytes, size_t size) {
  size_t i = 0;
  while (i < size) {
    const uint8_t lead = bytes[i];
    size_t follow = 0;
    uint32_t value = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if ((lead & 0xE0) == 0xC0) {
      follow = 1;
      value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      follow = 2;
      value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      follow = 3;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (size - i <= follow) {
      return false;
    }
    for (size_t k = 1; k <= follow; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) {
        return false;
      }
      value = value << 6 | (bytes[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode's end are not UTF-8.
    static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[follow] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += follow + 1;
  }
  return true;
}

PngChunk CommentChunk(const uint8_t* data, size_t size) {
  while (size > 0 && data[size - 1] == 0) {
    --size;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii && IsUtf8(data, size)) {
    return MakeInternationalText("Comment", text);
  }
  return MakeText("Comment", text);
}

}  // namespace metadata
