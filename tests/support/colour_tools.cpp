// Test support: ICC profiles, iCCP chunk data and EXIF blocks, built byte by byte.
#include <zlib.h>

#include <cstring>

#include "tests/support/image_makers.h"

namespace testimg {
namespace {

void PutBe(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out[at + i] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - i)));
  }
}

void Append(std::vector<uint8_t>& out, uint32_t v, int bytes, bool bigEndian) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<uint8_t>(v >> (8 * (bigEndian ? bytes - 1 - i : i))));
  }
}

}  // namespace

std::vector<uint8_t> MakeIccProfile(const char* colourSpace, size_t extraBytes, uint32_t seed) {
  // Header, tag count, two tags: the media white point (an XYZ value) and a private tag.
  const size_t extra = (extraBytes + 3) / 4 * 4;
  const size_t whiteAt = 128 + 4 + 2 * 12;
  const size_t privateAt = whiteAt + 20;
  std::vector<uint8_t> p(privateAt + extra, 0);
  PutBe(p, 0, static_cast<uint32_t>(p.size()), 4);
  std::memcpy(&p[8], "\x04\x30\x00\x00", 4);  // version 4.3
  std::memcpy(&p[12], "mntr", 4);
  std::memcpy(&p[16], colourSpace, 4);
  std::memcpy(&p[20], "XYZ ", 4);
  std::memcpy(&p[36], "acsp", 4);
  PutBe(p, 68, 0x0000F6D6, 4);  // the D50 illuminant
  PutBe(p, 72, 0x00010000, 4);
  PutBe(p, 76, 0x0000D32D, 4);
  PutBe(p, 128, 2, 4);
  std::memcpy(&p[132], "wtpt", 4);
  PutBe(p, 136, static_cast<uint32_t>(whiteAt), 4);
  PutBe(p, 140, 20, 4);
  std::memcpy(&p[144], "tsti", 4);
  PutBe(p, 148, static_cast<uint32_t>(privateAt), 4);
  PutBe(p, 152, static_cast<uint32_t>(extra), 4);
  std::memcpy(&p[whiteAt], "XYZ ", 4);
  PutBe(p, whiteAt + 8, 0x0000F6D6, 4);
  PutBe(p, whiteAt + 12, 0x00010000, 4);
  PutBe(p, whiteAt + 16, 0x0000D32D, 4);
  Noise noise(seed);
  for (size_t i = privateAt; i < p.size(); ++i) {
    p[i] = static_cast<uint8_t>(noise.Next());
  }
  return p;
}

std::vector<uint8_t> IccpChunkData(const std::vector<uint8_t>& profile) {
  uLongf packedBytes = compressBound(static_cast<uLong>(profile.size()));
  std::vector<uint8_t> data = {'t', 'e', 's', 't', 0, 0};
  data.resize(data.size() + packedBytes);
  compress(data.data() + 6, &packedBytes, profile.data(), static_cast<uLong>(profile.size()));
  data.resize(6 + packedBytes);
  return data;
}

std::vector<uint8_t> MakeExif(uint16_t orientation, bool bigEndian) {
  std::vector<uint8_t> out = {'E', 'x', 'i', 'f', 0, 0};
  out.push_back(bigEndian ? 'M' : 'I');
  out.push_back(bigEndian ? 'M' : 'I');
  Append(out, 42, 2, bigEndian);
  Append(out, 8, 4, bigEndian);  // the first directory follows the header
  Append(out, 3, 2, bigEndian);
  // ImageWidth (LONG), then Orientation (SHORT, value in the first two bytes), then
  // ResolutionUnit (SHORT).
  const uint16_t tags[3] = {0x0100, 0x0112, 0x0128};
  for (uint16_t tag : tags) {
    Append(out, tag, 2, bigEndian);
    Append(out, tag == 0x0100 ? 4 : 3, 2, bigEndian);
    Append(out, 1, 4, bigEndian);
    if (tag == 0x0100) {
      Append(out, 640, 4, bigEndian);
    } else {
      Append(out, tag == 0x0112 ? orientation : 2, 2, bigEndian);
      Append(out, 0, 2, bigEndian);
    }
  }
  Append(out, 0, 4, bigEndian);  // no next directory
  return out;
}

}  // namespace testimg
