// Decoding the run-length encoded pixel data of a BMP (RLE8 and RLE4). Internal to the BMP
// reader.
//
// Threads: runs on the calling thread; shares no state.
#pragma once

class Bitmap;

namespace kiv {
class File;
}

namespace image_readers {

// Decodes RLE8 (`fourBit` false) or RLE4 data from the stream's position into `image`, stored
// row 0 first. Pixels that the data skips (by delta, end of line, end of bitmap or running out
// of data) stay 0; pixels past the end of a row are dropped. Never reads past the data or
// writes outside the image. Returns false when the data ran out before its end-of-bitmap code and
// before the last row: the file was cut short.
// REQUIRES: `image` created (all bytes 0) at 8 bits for RLE8 or 4 bits for RLE4.
bool DecodeBmpRle(kiv::File& stream, bool fourBit, Bitmap& image);

}  // namespace image_readers
