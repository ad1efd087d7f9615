#include "image/read/jpeg_metadata.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "image/byte_order.h"
#include "image/metadata.h"

namespace {

constexpr int kApp1 = 0xE1;
constexpr int kComment = 0xFE;
constexpr char kExifHeader[] = "Exif\0";  // with the array's own NUL: "Exif" and two zero bytes
constexpr char kXmpHeader[] = "http://ns.adobe.com/xap/1.0/";
constexpr char kExtensionHeader[] = "http://ns.adobe.com/xmp/extension/";
constexpr size_t kGuidBytes = 32;
constexpr char kGuidProperty[] = "xmpNote:HasExtendedXMP";
constexpr char kRdfEnd[] = "</rdf:RDF>";
constexpr char kRdfStart[] = "<rdf:RDF";

// True when the segment starts with `header` including its terminating NUL (`bytes` of it).
bool Starts(const JpegSegment& segment, const char* header, size_t bytes) {
  return segment.size >= bytes && std::memcmp(segment.data, header, bytes) == 0;
}

// The GUID the main packet names for its extension, empty when none.
std::string ExtensionGuid(const std::string& packet) {
  const size_t name = packet.find(kGuidProperty);
  if (name == std::string::npos) {
    return std::string();
  }
  // Attribute form name="GUID" or element form <name>GUID</name>.
  const size_t start = packet.find_first_of("\">", name + sizeof kGuidProperty - 1);
  if (start == std::string::npos || packet.size() - start - 1 < kGuidBytes) {
    return std::string();
  }
  return packet.substr(start + 1, kGuidBytes);
}

// The extension named `guid` put together from its pieces; false when a piece disagrees on the
// length, lies outside it, or some byte is missing.
bool JoinExtension(const std::vector<JpegSegment>& segments, const std::string& guid,
                   ImageMetadata& out, std::string& extension) {
  constexpr size_t kHeader = sizeof kExtensionHeader + kGuidBytes + 8;
  uint32_t length = 0;
  bool started = false;
  std::vector<bool> covered;
  for (const JpegSegment& segment : segments) {
    if (segment.marker != kApp1 || !Starts(segment, kExtensionHeader, sizeof kExtensionHeader) ||
        segment.size < kHeader ||
        std::memcmp(segment.data + sizeof kExtensionHeader, guid.data(), kGuidBytes) != 0) {
      continue;
    }
    const uint8_t* fields = segment.data + sizeof kExtensionHeader + kGuidBytes;
    const uint32_t full = Be32(fields);
    const uint32_t offset = Be32(fields + 4);
    const size_t piece = segment.size - kHeader;
    if (!started) {
      if (!out.Fits(full)) {
        out.LeftOut("extended XMP too large to carry");
        return false;
      }
      length = full;
      extension.assign(length, '\0');
      covered.assign(length, false);
      started = true;
    }
    if (full != length || offset > length || piece > length - offset) {
      break;
    }
    std::memcpy(&extension[offset], segment.data + kHeader, piece);
    std::fill(covered.begin() + offset, covered.begin() + offset + piece, true);
  }
  if (!started || std::find(covered.begin(), covered.end(), false) != covered.end()) {
    out.LeftOut("extended XMP incomplete");
    return false;
  }
  return true;
}

// Puts the descriptions of `extension` into `packet`, inside its rdf:RDF. False when either is
// not in that form.
bool Merge(std::string& packet, const std::string& extension) {
  const size_t start = extension.find(kRdfStart);
  const size_t open = start == std::string::npos ? start : extension.find('>', start);
  const size_t close = extension.rfind(kRdfEnd);
  const size_t into = packet.rfind(kRdfEnd);
  if (open == std::string::npos || close == std::string::npos || close < open ||
      into == std::string::npos) {
    return false;
  }
  packet.insert(into, extension, open + 1, close - open - 1);
  return true;
}

}  // namespace

void CarryJpegMetadata(const std::vector<JpegSegment>& segments, bool turnedUpright,
                       ImageMetadata& out) {
  bool exif = false;
  bool xmp = false;
  for (const JpegSegment& segment : segments) {
    if (segment.marker == kComment) {
      out.AddChunk(metadata::CommentChunk(segment.data, segment.size), ChunkPlace::kBeforePlte);
    } else if (segment.marker != kApp1) {
      continue;
    } else if (Starts(segment, kExifHeader, sizeof kExifHeader)) {
      if (exif) {
        out.LeftOut("a second EXIF block");
        continue;
      }
      exif = true;
      metadata::AddExif(
          std::vector<uint8_t>(segment.data + sizeof kExifHeader, segment.data + segment.size),
          turnedUpright, out);
    } else if (Starts(segment, kXmpHeader, sizeof kXmpHeader)) {
      if (xmp) {
        out.LeftOut("a second XMP packet");
        continue;
      }
      xmp = true;
      std::string packet(reinterpret_cast<const char*>(segment.data) + sizeof kXmpHeader,
                         segment.size - sizeof kXmpHeader);
      const std::string guid = ExtensionGuid(packet);
      std::string extension;
      if (!guid.empty() && JoinExtension(segments, guid, out, extension) &&
          !Merge(packet, extension)) {
        out.LeftOut("extended XMP not in RDF form");
      }
      metadata::AddXmp(packet, out);
    }
  }
}
