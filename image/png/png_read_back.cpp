// The read-back check of a written PNG: its chunks, its pixels.
#include "image/png/png_read_back.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/pixels.h"
#include "image/png/apng_read_back.h"
#include "image/png/png_row_check.h"
#include "image/read/png_chunk_walk.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The largest file read back whole: the largest pixel store, stored without compression, fits.
constexpr uint64_t kMaxReadBackBytes = Bitmap::kMaxPixelStoreBytes + (uint64_t{1} << 28);

using Rgba16 = std::array<uint16_t, 4>;

// The colour of every index of an indexed image, as SamePixels counts it.
std::array<Rgba16, 256> IndexColours(const Bitmap& image) {
  std::array<Rgba16, 256> table;
  const auto& palette = image.Palette();
  const auto& alpha = image.PaletteAlpha();
  for (size_t i = 0; i < table.size(); ++i) {
    const Bitmap::PaletteEntry entry = i < palette.size() ? palette[i] : Bitmap::PaletteEntry{};
    const unsigned a = i < alpha.size() ? alpha[i] : 255;
    table[i] =
        Rgba16{static_cast<uint16_t>(entry.red * 257), static_cast<uint16_t>(entry.green * 257),
               static_cast<uint16_t>(entry.blue * 257), static_cast<uint16_t>(a * 257)};
  }
  return table;
}

// Stored row `y` of `image` as 16-bit red, green, blue and alpha.
void RowAsRgba16(const Bitmap& image, const std::array<Rgba16, 256>& table, int32_t y,
                 std::vector<Rgba16>& out) {
  const uint8_t* in = image.Row(y);
  const auto width = static_cast<size_t>(image.Width());
  auto wide = [](const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); };
  auto narrow = [](unsigned v) { return static_cast<uint16_t>(v * 257); };
  for (size_t x = 0; x < width; ++x) {
    Rgba16& c = out[x];
    if (image.Wide()) {
      const uint8_t* p = in + x * image.BitCount() / 8;
      switch (image.BitCount()) {
        case 16:
          c = Rgba16{wide(p), wide(p), wide(p), 65535};
          break;
        case 32:
          c = Rgba16{wide(p), wide(p), wide(p), wide(p + 2)};
          break;
        case 48:
          c = Rgba16{wide(p + 4), wide(p + 2), wide(p), 65535};
          break;
        default:
          c = Rgba16{wide(p + 4), wide(p + 2), wide(p), wide(p + 6)};
          break;
      }
      continue;
    }
    switch (image.BitCount()) {
      case 16: {
        uint8_t bgr[3];
        pixels::Expand555(in + 2 * x, bgr);
        c = Rgba16{narrow(bgr[2]), narrow(bgr[1]), narrow(bgr[0]), 65535};
        break;
      }
      case 24:
        c = Rgba16{narrow(in[3 * x + 2]), narrow(in[3 * x + 1]), narrow(in[3 * x]), 65535};
        break;
      case 32:
        c = Rgba16{narrow(in[4 * x + 2]), narrow(in[4 * x + 1]), narrow(in[4 * x]),
                   narrow(in[4 * x + 3])};
        break;
      default:
        c = table[pixels::IndexAt(in, x, image.BitCount())];
        break;
    }
  }
}

// True when both images hold their pixels in one layout that compares byte for byte: the same
// direct-colour store (not 5-5-5, whose top bit means nothing), or the same palette and alpha.
bool SameStore(const Bitmap& a, const Bitmap& b) {
  if (a.BitCount() != b.BitCount() || a.Wide() != b.Wide() || (!a.Wide() && a.BitCount() == 16)) {
    return false;
  }
  if (a.Wide() || a.BitCount() > 8) {
    return true;
  }
  auto entries = [](const Bitmap& image) {
    const size_t count = size_t{1} << image.BitCount();
    std::vector<uint32_t> colours(count);
    for (size_t i = 0; i < count; ++i) {
      const Bitmap::PaletteEntry e =
          i < image.Palette().size() ? image.Palette()[i] : Bitmap::PaletteEntry{};
      const uint32_t alpha = i < image.PaletteAlpha().size() ? image.PaletteAlpha()[i] : 255;
      colours[i] = e.red | e.green << 8 | e.blue << 16 | alpha << 24;
    }
    return colours;
  };
  return entries(a) == entries(b);
}

}  // namespace

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty() || b.Empty()) {
    return false;
  }
  const int32_t height = a.Height();
  if (SameStore(a, b)) {
    const uint64_t bits = static_cast<uint64_t>(a.Width()) * a.BitCount();
    const auto whole = static_cast<size_t>(bits / 8);
    const unsigned tail = static_cast<unsigned>(bits % 8);
    const auto mask = static_cast<uint8_t>(0xFF00u >> tail);
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* ra = a.Row(y);
      const uint8_t* rb = b.Row(y);
      if (std::memcmp(ra, rb, whole) != 0 || (tail != 0 && ((ra[whole] ^ rb[whole]) & mask) != 0)) {
        return false;
      }
    }
    return true;
  }
  const auto tableA = IndexColours(a);
  const auto tableB = IndexColours(b);
  std::vector<Rgba16> rowA(static_cast<size_t>(a.Width()));
  std::vector<Rgba16> rowB(rowA.size());
  for (int32_t y = 0; y < height; ++y) {
    RowAsRgba16(a, tableA, y, rowA);
    RowAsRgba16(b, tableB, y, rowB);
    if (rowA != rowB) {
      return false;
    }
  }
  return true;
}

bool PngChunkList(std::vector<uint8_t>& bytes, std::vector<PngChunk>& chunks) {
  chunks.clear();
  if (bytes.size() < sizeof kSignature || std::memcmp(bytes.data(), kSignature, 8) != 0) {
    return false;
  }
  kiv::File stream;
  stream.AttachVector(bytes);
  PngChunkWalker walker(stream);
  PngChunkHeader header;
  while (walker.Next(header)) {
    PngChunk chunk;
    chunk.type = header.type;
    if (!walker.ReadData(header, chunk.data)) {
      return false;  // cut short, or a wrong CRC
    }
    chunks.push_back(std::move(chunk));
    if (header.Is("IEND")) {
      return header.offset + header.length + 4 == bytes.size();
    }
  }
  return false;  // a damaged header, or no IEND
}

ReadBackResult ReadBackPng(const std::wstring& path, const Bitmap& image,
                           const std::vector<PngChunk>& carried) {
  try {
    kiv::File file;
    if (!file.OpenRead(path) || file.size() > kMaxReadBackBytes) {
      return ReadBackResult::kUnreadable;
    }
    if (image.Animation() != nullptr) {
      return ReadBackApng(file, image, carried);  // frame by frame, from the file
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(file.size()));
    size_t got = 0;
    while (got < bytes.size()) {
      const auto part =
          static_cast<uint32_t>(std::min<size_t>(bytes.size() - got, size_t{1} << 30));
      const uint32_t read = file.Read(part, bytes.data() + got);
      if (read == 0) {
        return ReadBackResult::kUnreadable;
      }
      got += read;
    }
    file.Close();

    std::vector<PngChunk> chunks;
    if (!PngChunkList(bytes, chunks)) {
      return ReadBackResult::kUnreadable;
    }
    // The ancillary chunks the writer carried; tRNS belongs to the pixels, compared below.
    std::vector<const PngChunk*> found;
    for (const PngChunk& chunk : chunks) {
      if ((chunk.type[0] & 0x20) != 0 && std::memcmp(chunk.type.data(), "tRNS", 4) != 0) {
        found.push_back(&chunk);
      }
    }
    const bool sameChunks = found.size() == carried.size() &&
                            std::equal(found.begin(), found.end(), carried.begin(),
                                       [](const PngChunk* a, const PngChunk& b) {
                                         return a->type == b.type && a->data == b.data;
                                       });
    switch (CheckPngRows(chunks, image)) {
      case PngRowCheck::kSame:
        return sameChunks ? ReadBackResult::kSame : ReadBackResult::kChunksDiffer;
      case PngRowCheck::kDiffer:
        return ReadBackResult::kPixelsDiffer;
      case PngRowCheck::kNotChecked:
        break;  // decoded whole below
    }
    chunks.clear();

    Bitmap back;
    kiv::File stream;
    stream.AttachVector(bytes);
    if (!back.Load(stream)) {
      return ReadBackResult::kUnreadable;
    }
    if (!SamePixels(image, back)) {
      return ReadBackResult::kPixelsDiffer;
    }
    return sameChunks ? ReadBackResult::kSame : ReadBackResult::kChunksDiffer;
  } catch (const std::bad_alloc&) {
    return ReadBackResult::kUnreadable;
  }
}
