// Walks a raw deflate stream's blocks to find its final block, then makes the stream joinable.
#include "image/png/deflate_join.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace deflate_join {

namespace {

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kPrimaryBits = 10;
constexpr unsigned kSubBits = kMaxCodeBits - kPrimaryBits;
constexpr size_t kMaxLitLenSymbols = 288;
constexpr size_t kMaxDistanceSymbols = 32;
constexpr uint32_t kLink = 0x80000000u;

// Reads bits least significant first, as deflate stores them. Past the end it reads zero bits and
// counts them, so that a stream cut short is noticed at the end.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Makes sure at least 56 bits are buffered.
  void Refill() {
    if (size_ - next_ >= 8) {
      uint64_t word;
      std::memcpy(&word, data_ + next_, 8);  // little-endian: x86-64 on every build
      // Bytes only partly taken are loaded again next time, into the same bit positions.
      buffer_ |= word << count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    while (count_ <= 56) {
      if (next_ < size_) {
        buffer_ |= static_cast<uint64_t>(data_[next_]) << count_;
      }
      ++next_;  // past the end: zero bits, noticed by Position() > 8 * size
      count_ += 8;
    }
  }

  uint32_t Peek(unsigned bits) const {
    return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << bits) - 1));
  }
  void Drop(unsigned bits) {
    buffer_ >>= bits;
    count_ -= bits;
  }
  uint32_t Take(unsigned bits) {
    const uint32_t value = Peek(bits);
    Drop(bits);
    return value;
  }

  // Bits consumed from the start.
  uint64_t Position() const { return uint64_t{next_} * 8 - count_; }

  // Drops the bits up to the next byte boundary and returns that byte's offset.
  size_t AlignToByte() {
    Drop(count_ & 7);
    return next_ - count_ / 8;
  }
  // Continues reading at byte `offset`.
  void SeekToByte(size_t offset) {
    next_ = offset;
    buffer_ = 0;
    count_ = 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;  // the next byte to load
  uint64_t buffer_ = 0;
  unsigned count_ = 0;  // valid bits in buffer_
};

// A canonical Huffman code as a table indexed by the next bits of the stream: a primary table of
// kPrimaryBits bits, and for longer codes a subtable of kSubBits bits per primary entry. An entry
// holds the symbol << 8 | code length; 0 marks bits that no code begins with.
class HuffmanTable {
 public:
  // Builds the code of `count` code lengths. False when the lengths over-subscribe the code.
  bool Build(const uint8_t* lengths, size_t count) {
    std::array<uint16_t, kMaxCodeBits + 1> perLength{};
    for (size_t i = 0; i < count; ++i) {
      ++perLength[lengths[i]];
    }
    perLength[0] = 0;
    int left = 1;
    std::array<uint32_t, kMaxCodeBits + 1> nextCode{};
    uint32_t code = 0;
    for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
      left = 2 * left - perLength[bits];
      if (left < 0) {
        return false;
      }
      code = (code + perLength[bits - 1]) << 1;
      nextCode[bits] = code;
    }
    std::fill(entries_.begin(), entries_.begin() + (1u << kPrimaryBits), 0u);
    subtables_ = 0;
    for (size_t symbol = 0; symbol < count; ++symbol) {
      const unsigned length = lengths[symbol];
      if (length == 0) {
        continue;
      }
      const uint32_t reversed = Reverse(nextCode[length]++, length);
      const uint32_t entry = static_cast<uint32_t>(symbol) << 8 | length;
      if (length <= kPrimaryBits) {
        for (uint32_t i = reversed; i < (1u << kPrimaryBits); i += 1u << length) {
          entries_[i] = entry;
        }
        continue;
      }
      uint32_t& primary = entries_[reversed & ((1u << kPrimaryBits) - 1)];
      if ((primary & kLink) == 0) {
        const uint32_t start = (1u << kPrimaryBits) + subtables_ * (1u << kSubBits);
        std::fill(entries_.begin() + start, entries_.begin() + start + (1u << kSubBits), 0u);
        primary = kLink | start;
        ++subtables_;
      }
      const uint32_t base = primary & ~kLink;
      for (uint32_t i = reversed >> kPrimaryBits; i < (1u << kSubBits);
           i += 1u << (length - kPrimaryBits)) {
        entries_[base + i] = entry;
      }
    }
    return true;
  }

  // The next symbol, or -1 when no code begins with the next bits.
  // REQUIRES: at least kMaxCodeBits bits buffered.
  int Decode(BitReader& bits) const {
    uint32_t entry = entries_[bits.Peek(kPrimaryBits)];
    if ((entry & kLink) != 0) {
      entry = entries_[(entry & ~kLink) + (bits.Peek(kMaxCodeBits) >> kPrimaryBits)];
    }
    const unsigned length = entry & 0xFF;
    if (length == 0) {
      return -1;
    }
    bits.Drop(length);
    return static_cast<int>(entry >> 8);
  }

 private:
  static uint32_t Reverse(uint32_t code, unsigned length) {
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) {
      reversed = reversed << 1 | ((code >> i) & 1);
    }
    return reversed;
  }

  // A subtable for at most every symbol longer than the primary bits.
  std::array<uint32_t, (1u << kPrimaryBits) + kMaxLitLenSymbols*(1u << kSubBits)> entries_{};
  uint32_t subtables_ = 0;
};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint32_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct Codes {
  HuffmanTable litLen;
  HuffmanTable distance;
};

bool FixedCodes(Codes& codes) {
  uint8_t lengths[kMaxLitLenSymbols];
  for (size_t i = 0; i < kMaxLitLenSymbols; ++i) {
    lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  }
  uint8_t distances[kMaxDistanceSymbols];
  for (uint8_t& length : distances) {
    length = 5;
  }
  return codes.litLen.Build(lengths, kMaxLitLenSymbols) &&
         codes.distance.Build(distances, kMaxDistanceSymbols);
}

bool DynamicCodes(BitReader& bits, Codes& codes) {
  bits.Refill();
  const unsigned litLenCount = bits.Take(5) + 257;
  const unsigned distanceCount = bits.Take(5) + 1;
  const unsigned lengthCodeCount = bits.Take(4) + 4;
  if (litLenCount > 286 || distanceCount > 30) {
    return false;
  }
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
  uint8_t lengthCodes[19] = {};
  for (unsigned i = 0; i < lengthCodeCount; ++i) {
    bits.Refill();
    lengthCodes[kOrder[i]] = static_cast<uint8_t>(bits.Take(3));
  }
  HuffmanTable lengthTable;
  if (!lengthTable.Build(lengthCodes, 19)) {
    return false;
  }
  uint8_t lengths[286 + 30] = {};
  const unsigned total = litLenCount + distanceCount;
  for (unsigned i = 0; i < total;) {
    bits.Refill();
    const int symbol = lengthTable.Decode(bits);
    if (symbol < 0) {
      return false;
    }
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    unsigned repeat;
    uint8_t value = 0;
    if (symbol == 16) {
      if (i == 0) {
        return false;
      }
      value = lengths[i - 1];
      repeat = 3 + bits.Take(2);
    } else if (symbol == 17) {
      repeat = 3 + bits.Take(3);
    } else {
      repeat = 11 + bits.Take(7);
    }
    if (repeat > total - i) {
      return false;
    }
    for (; repeat > 0; --repeat) {
      lengths[i++] = value;
    }
  }
  return lengths[256] != 0 && codes.litLen.Build(lengths, litLenCount) &&
         codes.distance.Build(lengths + litLenCount, distanceCount);
}

// Reads the symbols of one Huffman block up to its end-of-block code. `produced` counts the bytes
// the stream decodes to, so that no match reaches back before its start.
bool SkipSymbols(BitReader& bits, const Codes& codes, uint64_t& produced) {
  for (;;) {
    bits.Refill();
    // 56 bits hold three literals, or one length and distance with their extra bits.
    int symbol = codes.litLen.Decode(bits);
    if (symbol >= 0 && symbol < 256) {
      ++produced;
      symbol = codes.litLen.Decode(bits);
      if (symbol >= 0 && symbol < 256) {
        ++produced;
        symbol = codes.litLen.Decode(bits);
        if (symbol >= 0 && symbol < 256) {
          ++produced;
          continue;
        }
      }
      if (symbol > 256) {
        bits.Refill();
      }
    }
    if (symbol < 0) {
      return false;
    }
    if (symbol == 256) {
      return true;
    }
    const unsigned lengthCode = static_cast<unsigned>(symbol) - 257;
    if (lengthCode >= 29) {
      return false;
    }
    const uint32_t length = kLengthBase[lengthCode] + bits.Take(kLengthExtra[lengthCode]);
    const int distanceCode = codes.distance.Decode(bits);
    if (distanceCode < 0 || distanceCode >= 30) {
      return false;
    }
    const uint32_t distance = kDistanceBase[distanceCode] + bits.Take(kDistanceExtra[distanceCode]);
    if (distance > produced) {
      return false;
    }
    produced += length;
  }
}

}  // namespace

size_t MakeJoinable(uint8_t* piece, size_t size) {
  BitReader bits(piece, size);
  const std::unique_ptr<Codes> codes(new (std::nothrow) Codes);
  if (!codes) {
    return 0;
  }
  uint64_t produced = 0;
  uint64_t finalHeader = 0;
  for (bool last = false; !last;) {
    bits.Refill();
    finalHeader = bits.Position();
    last = bits.Take(1) != 0;
    const uint32_t type = bits.Take(2);
    if (type == 0) {
      const size_t at = bits.AlignToByte();
      if (at > size || size - at < 4) {
        return 0;
      }
      const uint32_t length = piece[at] | piece[at + 1] << 8;
      const uint32_t complement = piece[at + 2] | piece[at + 3] << 8;
      if ((length ^ complement) != 0xFFFF || length > size - at - 4) {
        return 0;
      }
      produced += length;
      bits.SeekToByte(at + 4 + length);
      continue;
    }
    if (type == 3 || !(type == 1 ? FixedCodes(*codes) : DynamicCodes(bits, *codes)) ||
        !SkipSymbols(bits, *codes, produced)) {
      return 0;
    }
  }
  const uint64_t end = bits.Position();
  if ((end + 7) / 8 != size) {
    return 0;  // cut short, or bytes after the final block
  }
  piece[finalHeader / 8] &= static_cast<uint8_t>(~(1u << (finalHeader % 8)));
  const unsigned usedBits = static_cast<unsigned>(end % 8);
  if (usedBits != 0) {
    piece[size - 1] &= static_cast<uint8_t>((1u << usedBits) - 1);  // padding as zero bits
  }
  // An empty stored block: three zero header bits, zero bits to the byte boundary, LEN 0 and
  // NLEN 0xFFFF. The header fits in the padding when at least three bits are left.
  if (usedBits == 0 || 8 - usedBits < 3) {
    piece[size++] = 0;
  }
  piece[size++] = 0;
  piece[size++] = 0;
  piece[size++] = 0xFF;
  piece[size++] = 0xFF;
  return size;
}

uint32_t CombineAdler32(uint32_t first, uint32_t second, uint64_t secondLength) {
  constexpr uint32_t kBase = 65521;
  const uint32_t remainder = static_cast<uint32_t>(secondLength % kBase);
  uint32_t sum1 = first & 0xFFFF;
  uint32_t sum2 = static_cast<uint32_t>((uint64_t{remainder} * sum1) % kBase);
  sum1 += (second & 0xFFFF) + kBase - 1;
  sum2 += ((first >> 16) & 0xFFFF) + ((second >> 16) & 0xFFFF) + kBase - remainder;
  sum1 %= kBase;
  sum2 %= kBase;
  return sum1 | sum2 << 16;
}

}  // namespace deflate_join
