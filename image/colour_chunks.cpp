#include "image/colour_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "image/byte_order.h"

namespace colour_chunks {
namespace {

// The ICC header is 128 bytes; the tag count follows it.
constexpr size_t kIccHeaderBytes = 128;
constexpr size_t kIccTagEntryBytes = 12;
// Profiles from version 4 on are padded to whole 32-bit words; older ones may end anywhere.
constexpr size_t kIccMajorVersion = 8;
constexpr uint8_t kFirstPaddedVersion = 4;
// Rendering intents are 16-bit numbers; libpng refuses a profile with a larger one.
constexpr uint32_t kMaxRenderingIntent = 0xFFFF;
// The first buffer for an inflated profile; it doubles as needed.
constexpr size_t kFirstInflateBytes = 64 * 1024;
// Every four-byte number in a PNG chunk is at most 2^31 - 1.
constexpr uint32_t kMaxPngNumber = 0x7FFFFFFF;
// The gAMA values libpng takes (gamma times 100000). Outside them it drops the PNG's whole colour
// description, a profile with it, so such a gamma is left out.
constexpr uint32_t kMinGamma = 16;
constexpr uint32_t kMaxGamma = 625000000;
// cHRM coordinates are in 1/100000; libpng drops the colour description, a profile with it, for
// coordinates that are not chromaticities, or a white point's y below 5.
constexpr uint32_t kChromaticityOne = 100000;
constexpr uint32_t kMinWhiteY = 5;
// A PNG keyword (the profile name) is 1 to 79 bytes.
constexpr size_t kMaxKeywordBytes = 79;

void AppendBe32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  PutBe32(out.data() + out.size() - 4, v);
}

// True when the `count` big-endian 32-bit values at `p` are all PNG numbers: at most 2^31 - 1.
bool AreNumbers(const uint8_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (Be32(p + 4 * i) > kMaxPngNumber) {
      return false;
    }
  }
  return true;
}

// True when the cHRM values at `p` (white, red, green, blue, each x then y, in 1/100000) are
// chromaticities: x and y not negative, x + y at most 1, and the white point's y at least
// kMinWhiteY.
bool AreChromaticities(const uint8_t* p) {
  if (!AreNumbers(p, 8)) {
    return false;
  }
  for (size_t point = 0; point < 4; ++point) {
    const uint32_t x = Be32(p + 8 * point);
    const uint32_t y = Be32(p + 8 * point + 4);
    if (x > kChromaticityOne || y > kChromaticityOne - x) {
      return false;
    }
  }
  return Be32(p + 4) >= kMinWhiteY;
}

bool Is(const uint8_t* p, const char (&word)[5]) {
  return std::memcmp(p, word, 4) == 0;
}

PngChunk Chunk(const char (&type)[5]) {
  PngChunk chunk;
  std::memcpy(chunk.type.data(), type, 4);
  return chunk;
}

bool IsType(const PngChunk& chunk, const char (&type)[5]) {
  return std::memcmp(chunk.type.data(), type, 4) == 0;
}

// Inflates the zlib stream `in` into `out`. False when the stream is damaged, does not end, or
// would inflate to more than `limit` bytes. The buffer grows as the data comes, so a small
// profile takes little memory.
bool InflateBounded(const uint8_t* in, size_t size, size_t limit, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    return false;
  }
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(size);
  out.clear();
  size_t produced = 0;
  int result = Z_OK;
  while (result == Z_OK) {
    if (produced == out.size()) {
      if (out.size() > limit) {
        break;  // one byte more than allowed shows an oversized stream
      }
      out.resize(std::min(limit + 1, std::max<size_t>(kFirstInflateBytes, out.size() * 2)));
    }
    z.next_out = out.data() + produced;
    z.avail_out = static_cast<uInt>(out.size() - produced);
    result = inflate(&z, Z_NO_FLUSH);
    produced = out.size() - z.avail_out;
    if (result == Z_BUF_ERROR && z.avail_in == 0) {
      break;  // the stream ends before its end
    }
  }
  inflateEnd(&z);
  if (result != Z_STREAM_END || produced > limit) {
    out.clear();
    return false;
  }
  out.resize(produced);
  return true;
}

// The profile an iCCP chunk's `data` holds, in `profile`. False, with `profile` empty, when the
// chunk is not one IsUsableIccpChunk accepts.
bool ReadIccpProfile(const std::vector<uint8_t>& data, std::vector<uint8_t>& profile) {
  profile.clear();
  size_t name = 0;
  while (name < data.size() && data[name] != 0) {
    ++name;
  }
  if (name == 0 || name > kMaxKeywordBytes || data.size() < name + 2 || data[name + 1] != 0) {
    return false;
  }
  if (InflateBounded(data.data() + name + 2, data.size() - name - 2, kMaxIccProfileBytes,
                     profile) &&
      IsUsableRgbProfile(profile.data(), profile.size())) {
    return true;
  }
  profile.clear();
  return false;
}

}  // namespace

bool IsUsableRgbProfile(const uint8_t* profile, size_t size) {
  if (size < kIccHeaderBytes + 4 || size > kMaxIccProfileBytes ||
      (size % 4 != 0 && profile[kIccMajorVersion] >= kFirstPaddedVersion) ||
      Be32(profile) != size || Be32(profile + 64) >= kMaxRenderingIntent) {
    return false;
  }
  if (!Is(profile + 36, "acsp") || !Is(profile + 16, "RGB ") ||
      !(Is(profile + 20, "XYZ ") || Is(profile + 20, "Lab ")) || Is(profile + 12, "abst") ||
      Is(profile + 12, "link")) {
    return false;
  }
  const uint64_t tags = Be32(profile + kIccHeaderBytes);
  if (kIccHeaderBytes + 4 + tags * kIccTagEntryBytes > size) {
    return false;
  }
  for (uint64_t i = 0; i < tags; ++i) {
    const uint8_t* entry = profile + kIccHeaderBytes + 4 + i * kIccTagEntryBytes;
    const uint64_t offset = Be32(entry + 4);
    const uint64_t length = Be32(entry + 8);
    if (offset > size || length > size - offset) {
      return false;
    }
  }
  return true;
}

bool AddIccProfile(const std::vector<uint8_t>& profile, std::vector<PngChunk>& chunks) {
  if (!IsUsableRgbProfile(profile.data(), profile.size())) {
    return false;
  }
  const size_t nameBytes = sizeof kProfileName - 1;
  uLongf packedBytes = compressBound(static_cast<uLong>(profile.size()));
  std::vector<uint8_t> packed(packedBytes);
  if (compress2(packed.data(), &packedBytes, profile.data(), static_cast<uLong>(profile.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  if (nameBytes + 2 + packedBytes < kMinReadableIccpBytes) {
    // Stored uncompressed, the profile's header alone makes the chunk long enough.
    packedBytes = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &packedBytes, profile.data(), static_cast<uLong>(profile.size()),
                  Z_NO_COMPRESSION) != Z_OK) {
      return false;
    }
  }
  PngChunk chunk = Chunk("iCCP");
  chunk.data.reserve(nameBytes + 2 + packedBytes);
  chunk.data.assign(kProfileName, kProfileName + nameBytes);
  chunk.data.push_back(0);  // end of the name
  chunk.data.push_back(0);  // compression method: zlib
  chunk.data.insert(chunk.data.end(), packed.begin(), packed.begin() + packedBytes);
  chunks.push_back(std::move(chunk));
  return true;
}

bool IsUsableIccpChunk(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> profile;
  return ReadIccpProfile(data, profile);
}

bool AddIccpChunk(std::vector<uint8_t> data, std::vector<PngChunk>& chunks) {
  std::vector<uint8_t> profile;
  if (!ReadIccpProfile(data, profile)) {
    return false;
  }
  if (data.size() < kMinReadableIccpBytes) {
    return AddIccProfile(profile, chunks);
  }
  PngChunk chunk = Chunk("iCCP");
  chunk.data = std::move(data);
  chunks.push_back(std::move(chunk));
  return true;
}

bool IsCarriedChunkUsable(const PngChunk& chunk) {
  const std::vector<uint8_t>& d = chunk.data;
  if (IsType(chunk, "sRGB")) {
    return d.size() == 1 && d[0] <= 3;
  }
  if (IsType(chunk, "gAMA")) {
    return d.size() == 4 && Be32(d.data()) >= kMinGamma && Be32(d.data()) <= kMaxGamma;
  }
  if (IsType(chunk, "cHRM")) {
    return d.size() == 32 && AreChromaticities(d.data());
  }
  if (IsType(chunk, "pHYs")) {
    return d.size() == 9 && d[8] <= 1 && AreNumbers(d.data(), 2) && Be32(d.data()) != 0 &&
           Be32(d.data() + 4) != 0;
  }
  if (IsType(chunk, "iCCP")) {
    return IsUsableIccpChunk(d);
  }
  return false;
}

PngChunk MakeSrgb(uint8_t intent) {
  PngChunk chunk = Chunk("sRGB");
  chunk.data.push_back(intent);
  return chunk;
}

PngChunk MakePhys(uint32_t x, uint32_t y, bool perMetre) {
  PngChunk chunk = Chunk("pHYs");
  AppendBe32(chunk.data, x);
  AppendBe32(chunk.data, y);
  chunk.data.push_back(perMetre ? 1 : 0);
  return chunk;
}

uint32_t PixelsPerMetre(uint32_t density, bool dpcm) {
  // A JFIF density is 16 bits, so neither product overflows.
  if (dpcm) {
    return density * 100;
  }
  return static_cast<uint32_t>((uint64_t{density} * 10000 + 127) / 254);
}

}  // namespace colour_chunks
