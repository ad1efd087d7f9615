#include "image/read/gif_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/bitmap.h"

namespace gif_image {
namespace {

int ReadInput(GifFileType* gif, GifByteType* out, int count) {
  auto* input = static_cast<Input*>(gif->UserData);
  const size_t left = input->at < input->size ? input->size - input->at : 0;
  const size_t n = std::min(static_cast<size_t>(count > 0 ? count : 0), left);
  std::memcpy(out, input->data + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

// The picture rows of an image's lines in the order they are stored: Adam's four passes for an
// interlaced one.
std::vector<int32_t> LineOrder(int32_t height, bool interlaced) {
  std::vector<int32_t> order;
  order.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int32_t y = 0; y < height; ++y) {
      order.push_back(y);
    }
    return order;
  }
  static const int32_t kStart[] = {0, 4, 2, 1};
  static const int32_t kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int32_t y = kStart[pass]; y < height; y += kStep[pass]) {
      order.push_back(y);
    }
  }
  return order;
}

}  // namespace

GifHandle Open(Input& input) {
  int error = 0;
  return GifHandle(DGifOpen(&input, ReadInput, &error));
}

const ColorMapObject* TableOf(const GifFileType* gif) {
  const ColorMapObject* map = gif->Image.ColorMap != nullptr ? gif->Image.ColorMap : gif->SColorMap;
  return map != nullptr && map->Colors != nullptr && map->ColorCount > 0 ? map : nullptr;
}

Lines DecodeLines(GifFileType* gif, int transparent, Bitmap* target, int32_t originX,
                  int32_t originY) {
  const GifImageDesc& desc = gif->Image;
  const ColorMapObject* map = TableOf(gif);
  const bool indexed = target != nullptr && target->BitCount() == 8;
  const int32_t targetWidth = target != nullptr ? target->Width() : 0;
  const int32_t targetHeight = target != nullptr ? target->Height() : 0;
  // The columns of each line inside the target, in 64 bits: a descriptor's fields reach 65535.
  const int64_t left = int64_t{desc.Left} - originX;
  const int64_t top = int64_t{desc.Top} - originY;
  const int64_t from = std::max<int64_t>(0, -left);
  const int64_t to = std::min<int64_t>(desc.Width, targetWidth - left);
  std::vector<GifPixelType> line(static_cast<size_t>(std::max(desc.Width, 1)));
  const std::vector<int32_t> order = LineOrder(desc.Height, desc.Interlace);
  Lines lines;
  lines.total = order.size();
  for (const int32_t y : order) {
    if (DGifGetLine(gif, line.data(), desc.Width) != GIF_OK) {
      break;
    }
    ++lines.done;
    for (int32_t x = 0; x < desc.Width; ++x) {
      lines.maxIndex = std::max<int>(lines.maxIndex, line[static_cast<size_t>(x)]);
    }
    const int64_t row = top + y;
    if (row < 0 || row >= targetHeight) {
      continue;
    }
    uint8_t* out = target->Row(static_cast<int32_t>(targetHeight - 1 - row));
    for (int64_t x = from; x < to; ++x) {
      const int index = line[static_cast<size_t>(x)];
      const auto at = static_cast<size_t>(left + x);
      if (indexed) {
        out[at] = static_cast<uint8_t>(index);
      } else if (index != transparent) {
        uint8_t* pixel = out + 4 * at;
        const GifColorType colour =
            index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
        pixel[0] = colour.Blue;
        pixel[1] = colour.Green;
        pixel[2] = colour.Red;
        pixel[3] = 255;
      }
    }
  }
  return lines;
}

}  // namespace gif_image
