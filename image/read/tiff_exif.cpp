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
constexpr uint16_t kTypeSlong = 9;
constexpr uint16_t kTypeIfd = 13;
constexpr uint16_t kTypeLong8 = 16;
constexpr uint16_t kTypeSlong8 = 17;
constexpr uint16_t kTypeIfd8 = 18;
constexpr size_t kHeaderBytes = 8;
constexpr size_t kEntryBytes = 12;
// A BigTIFF file: its header, and a directory entry (tag, type, 8-byte count, 8-byte value).
constexpr size_t kBigHeaderBytes = 16;
constexpr size_t kBigEntryBytes = 20;

// The page's tags that describe the picture and its making, kept beside the EXIF directory.
constexpr uint16_t kDescriptiveTags[] = {270, 271, 272, 305, 306, 315, 33432};

// Bytes of one value of each TIFF type (1 to 13, and BigTIFF's 16 to 18); 0 for a type TIFF
// does not define.
size_t TypeBytes(uint16_t type) {
  static constexpr uint8_t kBytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
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
  // `big`: big-endian; `wide`: a BigTIFF file.
  Reader(const uint8_t* data, size_t size, bool big, bool wide)
      : data_(data), size_(size), big_(big), wide_(wide) {}

  bool Has(uint64_t at, uint64_t bytes) const { return at <= size_ && bytes <= size_ - at; }
  uint16_t U16(uint64_t at) const {
    const uint8_t* p = data_ + at;
    return static_cast<uint16_t>(big_ ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
  }
  uint32_t U32(uint64_t at) const {
    return big_ ? uint32_t{U16(at)} << 16 | U16(at + 2) : uint32_t{U16(at + 2)} << 16 | U16(at);
  }
  uint64_t U64(uint64_t at) const {
    return big_ ? uint64_t{U32(at)} << 32 | U32(at + 4) : uint64_t{U32(at + 4)} << 32 | U32(at);
  }
  const uint8_t* At(uint64_t at) const { return data_ + at; }

  // A directory's layout: its entry count, and each entry's count and value or offset.
  bool Wide() const { return wide_; }
  size_t CountBytes() const { return wide_ ? 8 : 2; }
  size_t EntryBytes() const { return wide_ ? kBigEntryBytes : kEntryBytes; }
  size_t InlineBytes() const { return wide_ ? 8 : 4; }
  uint64_t Count(uint64_t at) const { return wide_ ? U64(at) : U16(at); }
  uint64_t EntryCount(uint64_t entry) const { return wide_ ? U64(entry + 4) : U32(entry + 4); }
  uint64_t Offset(uint64_t at) const { return wide_ ? U64(at) : U32(at); }
  uint64_t ValueField(uint64_t entry) const { return entry + (wide_ ? 12 : 8); }

 private:
  const uint8_t* data_;
  size_t size_;
  bool big_;
  bool wide_;
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

// A BigTIFF entry's 64-bit integers as the 32-bit ones of a classic TIFF, in place; false when
// one does not fit.
bool Narrow(bool big, Entry& entry) {
  const bool is64 = entry.type == kTypeLong8 || entry.type == kTypeSlong8;
  if (!is64) {
    return entry.type != kTypeIfd8;
  }
  std::vector<uint8_t> narrow;
  for (uint32_t i = 0; i < entry.count; ++i) {
    const Reader value(entry.value.data() + 8 * i, 8, big, true);
    const uint64_t v = value.U64(0);
    const bool fits = entry.type == kTypeLong8 ? v <= UINT32_MAX
                                               : static_cast<int64_t>(v) >= INT32_MIN &&
                                                     static_cast<int64_t>(v) <= INT32_MAX;
    if (!fits) {
      return false;
    }
    const uint32_t low = static_cast<uint32_t>(v);
    for (int k = 0; k < 4; ++k) {
      narrow.push_back(static_cast<uint8_t>(low >> (big ? 24 - 8 * k : 8 * k)));
    }
  }
  entry.type = entry.type == kTypeLong8 ? kTypeLong : kTypeSlong;
  entry.value = std::move(narrow);
  return true;
}

// Reads the directory at `offset` into `all` (its place there in `index`), keeping the entries
// `keep` accepts and following the pointer tags named in `pointers` (the EXIF directory's own
// pointer to its interoperability directory, and no further). Every kept entry and its values
// are charged to `budget`. A BigTIFF directory's entries are made those of a classic one.
// Returns kMade, or what stopped it: anything outside the file (kDamaged), a block past the
// budget (kTooLarge), a BigTIFF value or directory a classic TIFF cannot hold (kUnfit).
Result ReadDirectory(const Reader& file, bool big, uint64_t offset, bool (*keep)(uint16_t),
                     const std::vector<uint16_t>& pointers, std::vector<Directory>& all,
                     size_t& budget, int& index) {
  if (!file.Has(offset, file.CountBytes())) {
    return Result::kDamaged;
  }
  const uint64_t count = file.Count(offset);
  const uint64_t first = offset + file.CountBytes();
  if (count > UINT64_MAX / file.EntryBytes() || !file.Has(first, count * file.EntryBytes())) {
    return Result::kDamaged;
  }
  index = static_cast<int>(all.size());
  all.emplace_back();
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t at = first + i * file.EntryBytes();
    const uint64_t entryCount = file.EntryCount(at);
    Entry entry;
    entry.tag = file.U16(at);
    entry.type = file.U16(at + 2);
    entry.count = static_cast<uint32_t>(entryCount);
    const bool pointer = std::find(pointers.begin(), pointers.end(), entry.tag) != pointers.end();
    if (!keep(entry.tag) && !pointer) {
      continue;
    }
    if (all[static_cast<size_t>(index)].size() == UINT16_MAX) {
      return Result::kUnfit;  // more entries than a classic directory counts
    }
    if (pointer) {
      if ((entry.type != kTypeLong && entry.type != kTypeIfd && entry.type != kTypeLong8 &&
           entry.type != kTypeIfd8) ||
          entryCount != 1 || (!file.Wide() && TypeBytes(entry.type) != 4)) {
        return Result::kDamaged;
      }
      int sub = -1;
      const std::vector<uint16_t> inner = entry.tag == kExifPointer
                                              ? std::vector<uint16_t>{kInteropPointer}
                                              : std::vector<uint16_t>{};
      if (budget < kEntryBytes) {
        budget = 0;
        return Result::kTooLarge;
      }
      budget -= kEntryBytes;
      const uint64_t target = TypeBytes(entry.type) == 8 ? file.U64(file.ValueField(at))
                                                         : file.U32(file.ValueField(at));
      const Result inside = ReadDirectory(file, big, target, KeepAll, inner, all, budget, sub);
      if (inside != Result::kMade) {
        return inside;
      }
      entry.directory = sub;
      all[static_cast<size_t>(index)].push_back(std::move(entry));
      continue;
    }
    if (TypeBytes(entry.type) == 0) {
      continue;  // an entry of no known type cannot be copied
    }
    if (entryCount > budget / TypeBytes(entry.type) ||
        entryCount * TypeBytes(entry.type) + kEntryBytes > budget) {
      budget = 0;
      return Result::kTooLarge;  // an entry too large ends the block
    }
    const uint64_t bytes = entryCount * TypeBytes(entry.type);
    budget -= static_cast<size_t>(bytes) + kEntryBytes;
    const uint64_t from =
        bytes <= file.InlineBytes() ? file.ValueField(at) : file.Offset(file.ValueField(at));
    if (!file.Has(from, bytes)) {
      return Result::kDamaged;
    }
    entry.value.assign(file.At(from), file.At(from) + bytes);
    if (!Narrow(big, entry)) {
      return Result::kUnfit;
    }
    all[static_cast<size_t>(index)].push_back(std::move(entry));
  }
  return Result::kMade;
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
  if (size < kHeaderBytes) {
    return Result::kNone;
  }
  const bool big = file[0] == 'M';
  const bool classic = std::memcmp(file, "MM\0*", 4) == 0 || std::memcmp(file, "II*\0", 4) == 0;
  // A BigTIFF header: its version 43, offsets of 8 bytes, and a reserved 0.
  const bool wide = (std::memcmp(file, "MM\0+\0\x08\0\0", 8) == 0 ||
                     std::memcmp(file, "II+\0\x08\0\0\0", 8) == 0) &&
                    size >= kBigHeaderBytes;
  if (!classic && !wide) {
    return Result::kNone;
  }
  const Reader reader(file, size, big, wide);
  std::vector<Directory> all;
  size_t budget = maxBytes;
  int first = -1;
  bool (*descriptive)(uint16_t) = [](uint16_t tag) {
    return std::find(std::begin(kDescriptiveTags), std::end(kDescriptiveTags), tag) !=
           std::end(kDescriptiveTags);
  };
  const Result read = ReadDirectory(reader, big, page, descriptive, {kExifPointer, kGpsPointer},
                                    all, budget, first);
  if (read != Result::kMade) {
    return read;
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
