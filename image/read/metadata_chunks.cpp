#include "image/read/metadata_chunks.h"

#include <cstring>
#include <string>

#include "image/exif_orientation.h"
#include "image/metadata.h"

namespace metadata_chunks {
namespace {

constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

PngChunk Chunk(const char* type) {
  PngChunk chunk;
  std::memcpy(chunk.type.data(), type, 4);
  return chunk;
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
    exif::MarkUpright(chunk.data.data(), chunk.data.size());
  }
  chunks.push_back(std::move(chunk));
  return true;
}

bool AddXmp(const uint8_t* data, size_t size, std::vector<PngChunk>& chunks) {
  if (size == 0 || size > kMaxMetadataBytes || std::memchr(data, 0, size) != nullptr) {
    return false;
  }
  chunks.push_back(metadata::MakeInternationalText(
      metadata::kXmpKeyword, std::string(reinterpret_cast<const char*>(data), size)));
  return true;
}

void CarryExif(const uint8_t* data, size_t size, bool upright, ImageMetadata& metadata) {
  if (size >= sizeof kExifHeader && std::memcmp(data, kExifHeader, sizeof kExifHeader) == 0) {
    data += sizeof kExifHeader;
    size -= sizeof kExifHeader;
  }
  if (size < 8 || (std::memcmp(data, "II*\0", 4) != 0 && std::memcmp(data, "MM\0*", 4) != 0)) {
    metadata.LeftOut("a damaged EXIF block");
    return;
  }
  metadata::AddExif(std::vector<uint8_t>(data, data + size), upright, metadata);
}

void CarryXmp(const uint8_t* data, size_t size, ImageMetadata& metadata) {
  while (size > 0 && data[size - 1] == 0) {
    --size;
  }
  if (size == 0) {
    return;
  }
  if (std::memchr(data, 0, size) != nullptr) {
    metadata.LeftOut("an XMP packet holding a NUL byte");
    return;
  }
  metadata::AddXmp(std::string(reinterpret_cast<const char*>(data), size), metadata);
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
  const std::string comment(words.begin(), words.end());
  chunks.push_back(IsLatin1Printable(words.data(), words.size())
                       ? metadata::MakeText("Comment", comment)
                       : metadata::MakeInternationalText("Comment", comment));
  return true;
}

}  // namespace metadata_chunks
