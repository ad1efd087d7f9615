#include "image/read/content_kind.h"

#include <cstring>
#include <string_view>

namespace content_kind {
namespace {

bool StartsWith(const uint8_t* head, size_t size, const char* magic, size_t length, size_t at = 0) {
  return size >= at + length && std::memcmp(head + at, magic, length) == 0;
}

// The ISO media file brands that libheif reads: HEIF stills and sequences (HEVC) and AVIF.
bool IsHeifBrand(const uint8_t* brand) {
  static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc",
                                        "hevx", "mif1", "msf1", "avif", "avis"};
  for (const char* b : kBrands) {
    if (std::memcmp(brand, b, 4) == 0) {
      return true;
    }
  }
  return false;
}

// An ISO media file ("ftyp" box first) whose major or compatible brands include an image one.
bool IsHeif(const uint8_t* head, size_t size) {
  if (!StartsWith(head, size, "ftyp", 4, 4) || size < 16) {
    return false;
  }
  const uint32_t box = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) |
                       (uint32_t{head[2]} << 8) | uint32_t{head[3]};
  if (box < 16) {
    return false;
  }
  const size_t end = box < size ? box : size;
  if (IsHeifBrand(head + 8)) {
    return true;
  }
  for (size_t at = 16; at + 4 <= end; at += 4) {
    if (IsHeifBrand(head + at)) {
      return true;
    }
  }
  return false;
}

// Text in ASCII or UTF-8: no control byte but tab, line ends and form feed, and every byte
// above 0x7F in a well-formed UTF-8 sequence (one cut off at the end of `head` counts).
bool IsText(const uint8_t* head, size_t size) {
  size_t i = 0;
  if (StartsWith(head, size, "\xEF\xBB\xBF", 3)) {
    i = 3;
  }
  while (i < size) {
    const uint8_t c = head[i];
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') {
        return false;
      }
      ++i;
      continue;
    }
    const size_t follow = (c & 0xE0) == 0xC0   ? 1
                          : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3
                                               : 0;
    if (follow == 0 || c == 0xC0 || c == 0xC1) {
      return false;
    }
    for (size_t k = 1; k <= follow && i + k < size; ++k) {
      if ((head[i + k] & 0xC0) != 0x80) {
        return false;
      }
    }
    i += follow + 1;
  }
  return true;
}

struct Named {
  const char* magic;
  size_t length;
  size_t at;
  const char* name;
};

// Kinds known by a fixed mark at a fixed place.
constexpr Named kNamed[] = {
    {"8BPS", 4, 0, "a Photoshop document"},
    {"%PDF", 4, 0, "a PDF document"},
    {"%!PS", 4, 0, "a PostScript document"},
    {"PK\x03\x04", 4, 0, "a ZIP archive"},
    {"\x1F\x8B", 2, 0, "a gzip archive"},
    {"Rar!", 4, 0, "a RAR archive"},
    {"7z\xBC\xAF\x27\x1C", 6, 0, "a 7-Zip archive"},
    {"\xD0\xCF\x11\xE0", 4, 0, "an Office document"},
    {"ID3", 3, 0, "an MP3 audio file"},
    {"OggS", 4, 0, "an Ogg media file"},
    {"fLaC", 4, 0, "a FLAC audio file"},
    {"WAVE", 4, 8, "a WAV audio file"},
    {"AVI ", 4, 8, "an AVI video"},
    {"ftyp", 4, 4, "a video or other media file"},
    {"\x1A\x45\xDF\xA3", 4, 0, "a Matroska or WebM video"},
    {"MZ", 2, 0, "a Windows program"},
    {"\x7F"
     "ELF",
     4, 0, "a Linux program"},
    {"\x00\x00\x01\x00", 4, 0, "an icon file"},
    {"\x00\x00\x00\x0CjP  ", 8, 0, "a JPEG 2000 image"},
    {"\x00\x00\x00\x0CJXL ", 8, 0, "a JPEG XL image"},
    {"\xFF\x0A", 2, 0, "a JPEG XL image"},
    {"qoif", 4, 0, "a QOI image"},
    {"DDS ", 4, 0, "a DDS texture"},
    {"gimp xcf", 8, 0, "a GIMP image"},
    {"#?RADIANCE", 10, 0, "a Radiance HDR image"},
    {"\x76\x2F\x31\x01", 4, 0, "an OpenEXR image"},
    {"SQLite format 3", 15, 0, "an SQLite database"},
};

}  // namespace

Kind KindOf(const uint8_t* head, size_t size) {
  if (StartsWith(head, size, "BM", 2)) {
    return Kind::kBmp;
  }
  if (StartsWith(head, size, "\x89PNG\r\n\x1A\n", 8)) {
    return Kind::kPng;
  }
  if (StartsWith(head, size, "\xFF\xD8", 2)) {
    return Kind::kJpeg;
  }
  if (StartsWith(head, size, "RIFF", 4) && StartsWith(head, size, "WEBP", 4, 8)) {
    return Kind::kWebp;
  }
  if (StartsWith(head, size, "GIF87a", 6) || StartsWith(head, size, "GIF89a", 6)) {
    return Kind::kGif;
  }
  // Classic TIFF and BigTIFF (version 43, 8-byte offsets) alike.
  if (StartsWith(head, size, "II*\x00", 4) || StartsWith(head, size, "MM\x00*", 4) ||
      StartsWith(head, size, "II+\x00", 4) || StartsWith(head, size, "MM\x00+", 4)) {
    return Kind::kTiff;
  }
  if (IsHeif(head, size)) {
    return Kind::kHeif;
  }
  return Kind::kOther;
}

const char* NameOfOther(const uint8_t* head, size_t size) {
  if (size == 0) {
    return "an empty file";
  }
  for (const Named& named : kNamed) {
    if (StartsWith(head, size, named.magic, named.length, named.at)) {
      return named.name;
    }
  }
  const std::string_view text(reinterpret_cast<const char*>(head), size);
  if (IsText(head, size) && text.find("<svg") != std::string_view::npos) {
    return "an SVG drawing";
  }
  if (IsText(head, size)) {
    return "a text file";
  }
  return "not an image of a kind read here";
}

}  // namespace content_kind
