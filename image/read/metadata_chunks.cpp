#include "image/read/metadata_chunks.h"

#include <cstring>

namespace metadata_chunks {
namespace {

constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

PngChunk Chunk(const char* type) {
  PngChunk chunk;
  std::memcpy(chunk.type.data(), type, 4);
  return chunk;
}

uint32_t Read16(const uint8_t* p, bool big) {
  return big ? (uint32_t{p[0]} << 8) | p[1] : (uint32_t{p[1]} << 8) | p[0];
}

uint32_t Read32(const uint8_t* p, bool big) {
  return big ? (Read16(p, true) << 16) | Read16(p + 2, true)
             : (Read16(p + 2, false) << 16) | Read16(p, false);
}

// Sets the Orientation entry of the first image directory of the TIFF structure `tiff` to 1,
// when it is there as one SHORT. Reads and writes only within tiff[0, size).
void SetUpright(std::vector<uint8_t>& tiff) {
  const size_t size = tiff.size();
  const bool big = tiff[0] == 'M';
  const uint64_t directory = Read32(tiff.data() + 4, big);
  if (directory + 2 > size) {
    return;
  }
  const uint32_t entries = Read16(tiff.data() + directory, big);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t at = directory + 2 + uint64_t{i} * 12;
    if (at + 12 > size) {
      return;
    }
    uint8_t* entry = tiff.data() + at;
    if (Read16(entry, big) == kOrientationTag && Read16(entry + 2, big) == kShortType &&
        Read32(entry + 4, big) == 1) {
      entry[8] = big ? 0 : 1;
      entry[9] = big ? 1 : 0;
      return;
    }
  }
}

bool IsLatin1Printable(const uint8_t* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t c = text[i];
    if ((c < 0x20 && c != '\n') || (c >= 0x7F && c < 0xA0)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool AddExif(const uint8_t* data, size_t size, bool upright, std::vector<PngChunk>& chunks) {
  if (size >= sizeof kExifHeader && std::memcmp(data, kExifHeader, sizeof kExifHeader) == 0) {
    data += sizeof kExifHeader;
    size -= sizeof kExifHeader;
  }
  if (size < 8 || size > kMaxMetadataBytes ||
      (std::memcmp(data, "II*\0", 4) != 0 && std::memcmp(data, "MM\0*", 4) != 0)) {
    return false;
  }
  PngChunk chunk = Chunk("eXIf");
  chunk.data.assign(data, data + size);
  if (upright) {
    SetUpright(chunk.data);
  }
  chunks.push_back(std::move(chunk));
  return true;
}

bool AddXmp(const uint8_t* data, size_t size, std::vector<PngChunk>& chunks) {
  if (size == 0 || size > kMaxMetadataBytes || std::memchr(data, 0, size) != nullptr) {
    return false;
  }
  // Keyword, NUL, compression flag 0, method 0, empty language tag and translated keyword.
  static const char kKeyword[] = "XML:com.adobe.xmp";
  PngChunk chunk = Chunk("iTXt");
  chunk.data.assign(kKeyword, kKeyword + sizeof kKeyword);
  chunk.data.insert(chunk.data.end(), {0, 0, 0, 0});
  chunk.data.insert(chunk.data.end(), data, data + size);
  chunks.push_back(std::move(chunk));
  return true;
}

bool AddComment(const uint8_t* text, size_t size, std::vector<PngChunk>& chunks) {
  if (size == 0) {
    return false;
  }
  const void* nul = std::memchr(text, 0, size);
  if (nul != nullptr) {
    size = static_cast<size_t>(static_cast<const uint8_t*>(nul) - text);
  }
  std::vector<uint8_t> words;
  words.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    // A PNG text keeps its line ends as single line feeds.
    if (text[i] == '\r') {
      if (i + 1 < size && text[i + 1] == '\n') {
        continue;
      }
      words.push_back('\n');
    } else {
      words.push_back(text[i]);
    }
  }
  if (words.empty() || words.size() > kMaxMetadataBytes) {
    return false;
  }
  static const char kKeyword[] = "Comment";
  const bool latin1 = IsLatin1Printable(words.data(), words.size());
  PngChunk chunk = Chunk(latin1 ? "tEXt" : "iTXt");
  chunk.data.assign(kKeyword, kKeyword + sizeof kKeyword);
  if (!latin1) {
    chunk.data.insert(chunk.data.end(), {0, 0, 0, 0});
  }
  chunk.data.insert(chunk.data.end(), words.begin(), words.end());
  chunks.push_back(std::move(chunk));
  return true;
}

}  // namespace metadata_chunks
