// Test support: BMP files of every header, bit count and compression, and RLE encoders.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/support/image_makers.h"

namespace testimg {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::vector<uint8_t> PackPixels(const BmpRecipe& recipe) {
  const uint32_t stride = (static_cast<uint32_t>(recipe.width) * recipe.bitCount + 31) / 32 * 4;
  std::vector<uint8_t> data(static_cast<size_t>(stride) * recipe.height, 0);
  for (int32_t y = 0; y < recipe.height; ++y) {
    // Bottom-up files store the picture's last row first.
    const int32_t stored = recipe.topDown ? y : recipe.height - 1 - y;
    uint8_t* row = data.data() + static_cast<size_t>(stored) * stride;
    for (int32_t x = 0; x < recipe.width; ++x) {
      const uint32_t v = recipe.values.at(static_cast<size_t>(y) * recipe.width + x);
      switch (recipe.bitCount) {
        case 1:
        case 2:
        case 4:
        case 8: {
          const uint32_t bit = static_cast<uint32_t>(x) * recipe.bitCount;
          const uint32_t shift = 8 - recipe.bitCount - bit % 8;
          row[bit / 8] |= static_cast<uint8_t>((v & ((1u << recipe.bitCount) - 1)) << shift);
          break;
        }
        case 16:
          row[2 * x] = static_cast<uint8_t>(v);
          row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
          break;
        case 24:
          row[3 * x] = static_cast<uint8_t>(v);
          row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
          row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
          break;
        case 32:
          for (int i = 0; i < 4; ++i) {
            row[4 * x + i] = static_cast<uint8_t>(v >> (8 * i));
          }
          break;
        default:
          break;
      }
    }
  }
  return data;
}

// Appends runs for one row of indices; `pack` turns up to two indices into one data byte.
template <typename Pack>
void EncodeRow(const uint32_t* row, int width, bool fourBit, Pack pack, std::vector<uint8_t>& out) {
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 255 && row[x + run] == row[x]) {
      ++run;
    }
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(pack(row[x], row[x]));
      x += run;
      continue;
    }
    // A stretch without repeats.
    int literal = 1;
    while (x + literal < width && literal < 255 &&
           !(x + literal + 1 < width && row[x + literal] == row[x + literal + 1])) {
      ++literal;
    }
    if (literal < 3) {
      for (int i = 0; i < literal; ++i) {
        out.push_back(1);
        out.push_back(pack(row[x + i], row[x + i]));
      }
    } else {
      out.push_back(0);
      out.push_back(static_cast<uint8_t>(literal));
      size_t bytes = 0;
      for (int i = 0; i < literal; i += fourBit ? 2 : 1, ++bytes) {
        const uint32_t second = (fourBit && i + 1 < literal) ? row[x + i + 1] : 0;
        out.push_back(fourBit ? pack(row[x + i], second) : static_cast<uint8_t>(row[x + i]));
      }
      if (bytes % 2 != 0) {
        out.push_back(0);
      }
    }
    x += literal;
  }
}

template <typename Pack>
std::vector<uint8_t> EncodeRle(int width, int height, const std::vector<uint32_t>& values,
                               bool fourBit, Pack pack) {
  std::vector<uint8_t> out;
  for (int y = height - 1; y >= 0; --y) {
    EncodeRow(values.data() + static_cast<size_t>(y) * width, width, fourBit, pack, out);
    if (y > 0) {
      out.push_back(0);  // end of line
      out.push_back(0);
    }
  }
  out.push_back(0);  // end of bitmap
  out.push_back(1);
  return out;
}

}  // namespace

uint32_t HeaderBytes(BmpHeader header) {
  switch (header) {
    case BmpHeader::kCore12:
      return 12;
    case BmpHeader::kOs2Short16:
      return 16;
    case BmpHeader::kOs2Full64:
      return 64;
    case BmpHeader::kInfo40:
      return 40;
    case BmpHeader::kV2_52:
      return 52;
    case BmpHeader::kV3_56:
      return 56;
    case BmpHeader::kV4_108:
      return 108;
    case BmpHeader::kV5_124:
      return 124;
  }
  return 40;
}

std::vector<uint8_t> MakeBmp(const BmpRecipe& recipe) {
  const uint32_t headerBytes = HeaderBytes(recipe.header);
  const bool core = recipe.header == BmpHeader::kCore12;
  const uint32_t entryBytes = core ? 3 : 4;
  uint32_t maskBytes = 0;
  if (recipe.writeMasks && recipe.header == BmpHeader::kInfo40) {
    maskBytes = recipe.compression == 6 ? 16 : 12;
  }
  std::vector<uint8_t> data = recipe.data.empty() ? PackPixels(recipe) : recipe.data;
  if (data.size() > recipe.keepDataBytes) {
    data.resize(recipe.keepDataBytes);
  }
  const uint32_t offset =
      14 + headerBytes + maskBytes + static_cast<uint32_t>(recipe.palette.size()) * entryBytes;

  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + static_cast<uint32_t>(data.size()));
  Put32(out, 0);
  Put32(out, recipe.writeDataOffset ? offset : 0);

  const size_t headerStart = out.size();
  Put32(out, headerBytes);
  if (core) {
    Put16(out, static_cast<uint32_t>(recipe.width));
    Put16(out, static_cast<uint32_t>(recipe.height));
    Put16(out, 1);
    Put16(out, recipe.bitCount);
  } else {
    Put32(out, static_cast<uint32_t>(recipe.width));
    Put32(out, static_cast<uint32_t>(recipe.topDown ? -recipe.height : recipe.height));
    Put16(out, 1);
    Put16(out, recipe.bitCount);
    if (headerBytes >= 40) {
      Put32(out, recipe.compression);
      Put32(out, recipe.imageSizeField);
      Put32(out, static_cast<uint32_t>(recipe.pixelsPerMetre[0]));
      Put32(out, static_cast<uint32_t>(recipe.pixelsPerMetre[1]));
      Put32(out, recipe.colorsUsed);
      Put32(out, 0);
    }
    if (headerBytes >= 52) {
      const bool masks = recipe.writeMasks;
      Put32(out, masks ? recipe.masks[0] : 0);
      Put32(out, masks ? recipe.masks[1] : 0);
      Put32(out, masks ? recipe.masks[2] : 0);
    }
    if (headerBytes >= 56) {
      Put32(out, recipe.writeMasks ? recipe.masks[3] : 0);
    }
    if (headerBytes >= 108) {
      Put32(out, recipe.colourSpace);
    }
    out.resize(headerStart + headerBytes, 0);
    if (headerBytes >= 124) {
      const uint32_t profileAt =
          offset + static_cast<uint32_t>(data.size()) - static_cast<uint32_t>(headerStart);
      const auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
          out[headerStart + at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
      };
      put(108, recipe.intent);
      if (!recipe.profile.empty() || recipe.profileSizeField != 0) {
        put(112, recipe.profileOffsetField != 0 ? recipe.profileOffsetField : profileAt);
        put(116, recipe.profileSizeField != 0 ? recipe.profileSizeField
                                              : static_cast<uint32_t>(recipe.profile.size()));
      }
    }
  }
  for (uint32_t i = 0; i < maskBytes / 4; ++i) {
    Put32(out, recipe.masks[i]);
  }
  for (const Rgba& c : recipe.palette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    if (!core) {
      out.push_back(0);
    }
  }
  out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), recipe.profile.begin(), recipe.profile.end());
  return out;
}

std::vector<uint8_t> EncodeRle8(int width, int height, const std::vector<uint32_t>& values) {
  return EncodeRle(width, height, values, false,
                   [](uint32_t a, uint32_t) { return static_cast<uint8_t>(a); });
}

std::vector<uint8_t> EncodeRle4(int width, int height, const std::vector<uint32_t>& values) {
  return EncodeRle(width, height, values, true, [](uint32_t a, uint32_t b) {
    return static_cast<uint8_t>(((a & 0xF) << 4) | (b & 0xF));
  });
}

std::string ToString(const Rgba& c) {
  char text[40];
  std::snprintf(text, sizeof text, "(%d,%d,%d,%d)", c.r, c.g, c.b, c.a);
  return text;
}

std::string Difference(const Picture& expected, const Picture& actual, int tolerance) {
  if (expected.width != actual.width || expected.height != actual.height ||
      actual.pixels.size() != static_cast<size_t>(actual.width) * actual.height) {
    return "size " + std::to_string(actual.width) + "x" + std::to_string(actual.height) +
           ", expected " + std::to_string(expected.width) + "x" + std::to_string(expected.height);
  }
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const Rgba& e = expected.at(x, y);
      const Rgba& a = actual.at(x, y);
      const int d = std::max(
          {std::abs(e.r - a.r), std::abs(e.g - a.g), std::abs(e.b - a.b), std::abs(e.a - a.a)});
      if (d > tolerance) {
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " + ToString(a) +
               ", expected " + ToString(e);
      }
    }
  }
  return "";
}

}  // namespace testimg
