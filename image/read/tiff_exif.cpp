#include "image/read/tiff_exif.h"

#include <algorithm>
#include <cstring>

namespace tiff_exif {
namespace {

constexpr uint16_t kOrientation = 274;
constexpr uint16_t kExifPointer = 34665;
constexpr uint16_t kGpsPointer = 34853;
constexpr uint16_t kInteropPointer = 40965;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeIfd = 13;
constexpr size_t kHeaderBytes = 8;
constexpr size_t kEntryBytes = 12;

// The page's tags that describe the picture and its making, kept beside the EXIF directory.
constexpr uint16_t kDescriptiveTags[] = {270, 271, 272, 305, 306, 315, 33432};

// Bytes of one value of each TIFF type (1 to 13); 0 for a type TIFF does not define.
size_t TypeBytes(uint16_t type) {
  static constexpr uint8_t kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < sizeof kBytes ? kBytes[type] : 0;
}

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint8_t> value;  // count * TypeBytes(type) bytes, in the file's byte order
  int directory = -1;          // a pointer tag: the index of the directory it points at
};

using Directory = std::vector<Entry>;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size, bool big) : data_(data), size_(size), big_(big) {}

  bool Has(uint64_t at, uint64_t bytes) const { return at <= size_ && bytes <= size_ - at; }
  uint16_t U16(uint64_t at) const {
    const uint8_t* p = data_ + at;
    return static_cast<uint16_t>(big_ ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
  }
  uint32_t U32(uint64_t at) const {
    return big_ ? uint32_t{U16(at)} << 16 | U16(at + 2) : uint32_t{U16(at + 2)} << 16 | U16(at);
  }
  const uint8_t* At(uint64_t at) const { return data_ + at; }

 private:
  const uint8_t* data_;
  size_t size_;
  bool big_;
};

class Writer {
 public:
  explicit Writer(bool big) : big_(big) {}

  void Put16(size_t at, uint16_t v) {
    bytes_[at + (big_ ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    bytes_[at + (big_ ? 1 : 0)] = static_cast<uint8_t>(v);
  }
  void Put32(size_t at, uint32_t v) {
    Put16(at + (big_ ? 0 : 2), static_cast<uint16_t>(v >> 16));
    Put16(at + (big_ ? 2 : 0), static_cast<uint16_t>(v));
  }
  // Appends `n` zero bytes at an even offset and returns where they start.
  size_t Grow(size_t n) {
    if (bytes_.size() % 2 != 0) {
      bytes_.push_back(0);
    }
    const size_t at = bytes_.size();
    bytes_.resize(at + n);
    return at;
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  bool big_;
  std::vector<uint8_t> bytes_;
};

bool KeepAll(uint16_t) {
  return true;
}

// Reads the directory at `offset` into `all` (its place there in `index`), keeping the entries
// `keep` accepts and following the pointer tags named in `pointers` (the EXIF directory's own
// pointer to its interoperability directory, and no further). Every kept entry and its values
// are charged to `budget`. Returns false for anything outside the file, and with `budget` 0 for
// a block past it.
bool ReadDirectory(const Reader& file, uint64_t offset, bool (*keep)(uint16_t),
                   const std::vector<uint16_t>& pointers, std::vector<Directory>& all,
                   size_t& budget, int& index) {
  if (!file.Has(offset, 2)) {
    return false;
  }
  const uint16_t count = file.U16(offset);
  if (!file.Has(offset + 2, uint64_t{count} * kEntryBytes)) {
    return false;
  }
  index = static_cast<int>(all.size());
  all.emplace_back();
  for (uint16_t i = 0; i < count; ++i) {
    const uint64_t at = offset + 2 + uint64_t{i} * kEntryBytes;
    Entry entry;
    entry.tag = file.U16(at);
    entry.type = file.U16(at + 2);
    entry.count = file.U32(at + 4);
    const bool pointer = std::find(pointers.begin(), pointers.end(), entry.tag) != pointers.end();
    if (!keep(entry.tag) && !pointer) {
      continue;
    }
    if (pointer) {
      if ((entry.type != kTypeLong && entry.type != kTypeIfd) || entry.count != 1) {
        return false;
      }
      int sub = -1;
      const std::vector<uint16_t> inner = entry.tag == kExifPointer
                                              ? std::vector<uint16_t>{kInteropPointer}
                                              : std::vector<uint16_t>{};
      if (budget < kEntryBytes) {
        budget = 0;
        return false;
      }
      budget -= kEntryBytes;
      if (!ReadDirectory(file, file.U32(at + 8), KeepAll, inner, all, budget, sub)) {
        return false;
      }
      entry.directory = sub;
      all[static_cast<size_t>(index)].push_back(std::move(entry));
      continue;
    }
    const uint64_t bytes = uint64_t{entry.count} * TypeBytes(entry.type);
    if (TypeBytes(entry.type) == 0 || bytes + kEntryBytes > budget) {
      // An entry of no known type cannot be copied; one too large ends the block.
      if (TypeBytes(entry.type) == 0) {
        continue;
      }
      budget = 0;
      return false;
    }
    budget -= static_cast<size_t>(bytes) + kEntryBytes;
    const uint64_t from = bytes <= 4 ? at + 8 : file.U32(at + 8);
    if (!file.Has(from, bytes)) {
      return false;
    }
    entry.value.assign(file.At(from), file.At(from) + bytes);
    all[static_cast<size_t>(index)].push_back(std::move(entry));
  }
  return true;
}

// Appends directory `index` of `all`, its values and the directories it points at; returns
// where it starts.
size_t Place(const std::vector<Directory>& all, int index, Writer& out) {
  const Directory& directory = all[static_cast<size_t>(index)];
  const size_t start = out.Grow(2 + directory.size() * kEntryBytes + 4);
  out.Put16(start, static_cast<uint16_t>(directory.size()));
  for (size_t i = 0; i < directory.size(); ++i) {
    const Entry& entry = directory[i];
    const size_t at = start + 2 + i * kEntryBytes;
    out.Put16(at, entry.tag);
    // A pointer is written as the LONG that EXIF readers expect, whatever the file used.
    out.Put16(at + 2, entry.directory >= 0 ? kTypeLong : entry.type);
    out.Put32(at + 4, entry.count);
    if (entry.directory >= 0) {
      continue;  // placed below, once this directory's values are in
    }
    if (entry.value.size() <= 4) {
      std::copy(entry.value.begin(), entry.value.end(), out.bytes().begin() + at + 8);
    } else {
      const size_t value = out.Grow(entry.value.size());
      std::copy(entry.value.begin(), entry.value.end(), out.bytes().begin() + value);
      out.Put32(at + 8, static_cast<uint32_t>(value));
    }
  }
  for (size_t i = 0; i < directory.size(); ++i) {
    if (directory[i].directory >= 0) {
      const size_t sub = Place(all, directory[i].directory, out);
      out.Put32(start + 2 + i * kEntryBytes + 8, static_cast<uint32_t>(sub));
    }
  }
  return start;
}

}  // namespace

Result MakeBlock(const uint8_t* file, size_t size, uint64_t page, uint16_t orientation,
                 size_t maxBytes, std::vector<uint8_t>& block) {
  block.clear();
  if (size < kHeaderBytes ||
      (std::memcmp(file, "MM\0*", 4) != 0 && std::memcmp(file, "II*\0", 4) != 0)) {
    return Result::kNone;
  }
  const bool big = file[0] == 'M';
  const Reader reader(file, size, big);
  std::vector<Directory> all;
  size_t budget = maxBytes;
  int first = -1;
  bool (*descriptive)(uint16_t) = [](uint16_t tag) {
    return std::find(std::begin(kDescriptiveTags), std::end(kDescriptiveTags), tag) !=
           std::end(kDescriptiveTags);
  };
  if (!ReadDirectory(reader, page, descriptive, {kExifPointer, kGpsPointer}, all, budget, first)) {
    return budget == 0 ? Result::kTooLarge : Result::kDamaged;
  }
  Directory& top = all[static_cast<size_t>(first)];
  if (std::none_of(top.begin(), top.end(), [](const Entry& e) { return e.directory >= 0; })) {
    return Result::kNone;
  }
  Entry turn;
  turn.tag = kOrientation;
  turn.type = kTypeShort;
  turn.count = 1;
  turn.value = big ? std::vector<uint8_t>{0, static_cast<uint8_t>(orientation)}
                   : std::vector<uint8_t>{static_cast<uint8_t>(orientation), 0};
  top.push_back(std::move(turn));
  for (Directory& directory : all) {
    // A directory's entries go in ascending order of their tags.
    std::stable_sort(directory.begin(), directory.end(),
                     [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  }
  Writer out(big);
  const size_t header = out.Grow(kHeaderBytes);
  std::memcpy(out.bytes().data() + header, big ? "MM\0*" : "II*\0", 4);
  out.Put32(header + 4, static_cast<uint32_t>(kHeaderBytes));
  Place(all, first, out);
  if (out.bytes().size() > maxBytes) {
    return Result::kTooLarge;
  }
  block = std::move(out.bytes());
  return Result::kMade;
}

}  // namespace tiff_exif
