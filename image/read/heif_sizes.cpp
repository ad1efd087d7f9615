#include "image/read/heif_sizes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace heif_sizes {
namespace {

// Bytes of a grid's or overlay's description read: enough for its output size.
constexpr size_t kDescriptionBytes = 32;
// Overlay descriptions start with a version, flags and four 16-bit fill colours.
constexpr size_t kOverlayFillBytes = 2 + 4 * 2;
constexpr size_t kGridHeaderBytes = 4;
// Extents of an item read: libheif joins no more.
constexpr size_t kMostExtents = 32;

// A span of the file; reads past its end give zero.
struct Span {
  const uint8_t* data = nullptr;
  uint64_t size = 0;

  uint64_t Be(uint64_t at, unsigned bytes) const {
    uint64_t v = 0;
    for (unsigned k = 0; k < bytes; ++k) {
      v = v << 8 | (at + k < size ? data[at + k] : 0);
    }
    return v;
  }
  Span Sub(uint64_t at, uint64_t bytes) const {
    if (at > size) {
      return Span{};
    }
    return Span{data + at, std::min(bytes, size - at)};
  }
};

// Calls `each(type, body)` for every box in `span`; stops at a box that overruns it.
template <typename Each>
void ForEachBox(const Span& span, Each each) {
  uint64_t at = 0;
  while (at + 8 <= span.size) {
    uint64_t length = span.Be(at, 4);
    uint64_t header = 8;
    if (length == 1) {
      length = span.Be(at + 8, 8);
      header = 16;
    } else if (length == 0) {
      length = span.size - at;
    }
    if (length < header || length > span.size - at) {
      return;
    }
    each(std::string(reinterpret_cast<const char*>(span.data + at + 4), 4),
         span.Sub(at + header, length - header));
    at += length;
  }
}

struct Extent {
  uint64_t offset = 0;  // from the file's start, or from the idat box's data
  uint64_t length = 0;  // 0: to the end
};

struct Location {
  std::vector<Extent> extents;  // the item's data is theirs joined, in order
  bool inIdat = false;
};

// The item locations of an "iloc" box's body (a full box).
std::map<uint32_t, Location> ReadLocations(const Span& box) {
  std::map<uint32_t, Location> where;
  const unsigned version = static_cast<unsigned>(box.Be(0, 1));
  if (version > 2 || box.size < 8) {
    return where;
  }
  const unsigned offsetSize = static_cast<unsigned>(box.Be(4, 1) >> 4);
  const unsigned lengthSize = static_cast<unsigned>(box.Be(4, 1) & 15);
  const unsigned baseSize = static_cast<unsigned>(box.Be(5, 1) >> 4);
  const unsigned indexSize = version >= 1 ? static_cast<unsigned>(box.Be(5, 1) & 15) : 0;
  const unsigned idBytes = version == 2 ? 4 : 2;
  uint64_t at = 6;
  const uint64_t items = box.Be(at, idBytes);
  at += idBytes;
  for (uint64_t i = 0; i < items && at < box.size; ++i) {
    const uint32_t id = static_cast<uint32_t>(box.Be(at, idBytes));
    at += idBytes;
    Location location;
    if (version >= 1) {
      location.inIdat = (box.Be(at, 2) & 15) == 1;
      at += 2;
    }
    at += 2;  // data reference index
    const uint64_t base = box.Be(at, baseSize);
    at += baseSize;
    const uint64_t extents = box.Be(at, 2);
    at += 2;
    for (uint64_t e = 0; e < extents && at < box.size; ++e) {
      at += indexSize;
      const uint64_t offset = box.Be(at, offsetSize);
      at += offsetSize;
      const uint64_t length = box.Be(at, lengthSize);
      at += lengthSize;
      if (location.extents.size() < kMostExtents) {
        location.extents.push_back(Extent{base + offset, length});
      }
    }
    where[id] = location;
  }
  return where;
}

// The output size of a grid's ("grid") or overlay's ("iovl") description.
bool DescribedSize(const std::string& type, const Span& description, Size& size) {
  const size_t start = type == "grid" ? kGridHeaderBytes : kOverlayFillBytes;
  const unsigned field = (description.Be(1, 1) & 1) != 0 ? 4 : 2;
  if (description.size < start + 2 * field) {
    return false;
  }
  size.width = static_cast<uint32_t>(description.Be(start, field));
  size.height = static_cast<uint32_t>(description.Be(start + field, field));
  size.derived = true;
  return true;
}

void ReadMeta(const Span& file, const Span& meta, std::vector<Size>& sizes) {
  std::map<uint32_t, std::string> derived;  // item id to "grid" or "iovl"
  std::map<uint32_t, Location> locations;
  Span idat;
  ForEachBox(meta.Sub(4, meta.size), [&](const std::string& type, const Span& body) {
    if (type == "iinf") {
      const unsigned countBytes = body.Be(0, 1) == 0 ? 2 : 4;
      ForEachBox(body.Sub(4 + countBytes, body.size), [&](const std::string& inner, const Span& e) {
        const uint64_t version = e.Be(0, 1);
        if (inner != "infe" || version < 2) {
          return;
        }
        const unsigned idBytes = version == 2 ? 2 : 4;
        const Span kind = e.Sub(4 + idBytes + 2, 4);
        const std::string itemType(reinterpret_cast<const char*>(kind.data), kind.size);
        if (itemType == "grid" || itemType == "iovl") {
          derived[static_cast<uint32_t>(e.Be(4, idBytes))] = itemType;
        }
      });
    } else if (type == "iloc") {
      locations = ReadLocations(body);
    } else if (type == "idat") {
      idat = body;
    } else if (type == "iprp") {
      ForEachBox(body, [&](const std::string& inner, const Span& ipco) {
        if (inner != "ipco") {
          return;
        }
        ForEachBox(ipco, [&](const std::string& property, const Span& p) {
          if (property == "ispe" && p.size >= 12) {
            sizes.push_back(
                Size{static_cast<uint32_t>(p.Be(4, 4)), static_cast<uint32_t>(p.Be(8, 4)), false});
          }
        });
      });
    }
  });
  for (const auto& [id, type] : derived) {
    const auto found = locations.find(id);
    if (found == locations.end()) {
      continue;
    }
    // The description's first bytes, from its extents joined.
    const Span& from = found->second.inIdat ? idat : file;
    std::vector<uint8_t> bytes;
    for (const Extent& extent : found->second.extents) {
      const Span part = from.Sub(extent.offset, extent.length == 0 ? UINT64_MAX : extent.length);
      const size_t take =
          static_cast<size_t>(std::min<uint64_t>(part.size, kDescriptionBytes - bytes.size()));
      bytes.insert(bytes.end(), part.data, part.data + take);
      if (bytes.size() == kDescriptionBytes) {
        break;
      }
    }
    Size size;
    if (DescribedSize(type, Span{bytes.data(), bytes.size()}, size)) {
      sizes.push_back(size);
    }
  }
}

}  // namespace

std::vector<Size> Declared(const uint8_t* data, size_t size) {
  std::vector<Size> sizes;
  const Span file{data, size};
  ForEachBox(file, [&](const std::string& type, const Span& body) {
    if (type == "meta") {
      ReadMeta(file, body, sizes);
    }
  });
  return sizes;
}

}  // namespace heif_sizes
