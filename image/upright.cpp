#include "image/upright.h"

#include <cstring>

#include "image/bitmap.h"

namespace upright {

bool SwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

void PlaceRow(const uint8_t* line, uint32_t y, uint32_t width, uint32_t height, uint32_t bytes,
              int orientation, Bitmap& image) {
  // Where stored pixel (x, y) lands in the upright picture (top row first): column
  // c0 + x * dc and row r0 + x * dr, so a whole row walks one line of the upright picture.
  const int64_t w = width;
  const int64_t h = height;
  const int64_t sy = y;
  int64_t c0 = 0;
  int64_t dc = 0;
  int64_t r0 = 0;
  int64_t dr = 0;
  switch (orientation) {
    case 2:  // mirrored left to right
      c0 = w - 1, dc = -1, r0 = sy;
      break;
    case 3:  // half round
      c0 = w - 1, dc = -1, r0 = h - 1 - sy;
      break;
    case 4:  // mirrored top to bottom
      c0 = 0, dc = 1, r0 = h - 1 - sy;
      break;
    case 5:  // the stored rows are the upright columns, left to right
      c0 = sy, r0 = 0, dr = 1;
      break;
    case 6:  // the stored top row is the upright right-hand column, read downwards
      c0 = h - 1 - sy, r0 = 0, dr = 1;
      break;
    case 7:  // the stored top row is the upright right-hand column, read upwards
      c0 = h - 1 - sy, r0 = w - 1, dr = -1;
      break;
    case 8:  // the stored top row is the upright left-hand column, read upwards
      c0 = sy, r0 = w - 1, dr = -1;
      break;
    default:  // upright
      c0 = 0, dc = 1, r0 = sy;
      break;
  }
  const int64_t rows = image.Height();
  if (dr == 0) {
    // The whole row lands in one upright row.
    uint8_t* out = image.Row(static_cast<int32_t>(rows - 1 - r0));
    if (dc == 1) {
      std::memcpy(out, line, static_cast<size_t>(w * bytes));
      return;
    }
    for (int64_t x = 0; x < w; ++x) {
      std::memcpy(out + (c0 - x) * bytes, line + x * bytes, bytes);
    }
    return;
  }
  const size_t column = static_cast<size_t>(c0) * bytes;
  for (int64_t x = 0; x < w; ++x) {
    const int64_t row = r0 + x * dr;
    std::memcpy(image.Row(static_cast<int32_t>(rows - 1 - row)) + column, line + x * bytes, bytes);
  }
}

}  // namespace upright
