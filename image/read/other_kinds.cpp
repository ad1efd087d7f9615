// The end of the reader chain: the kinds told by their first bytes, and the name of a file that
// is no image read here.
#include <cstdint>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/read/content_kind.h"
#include "image/read/image_readers.h"

namespace image_readers {

bool ReadOtherKinds(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions& options) {
  image.Clear();
  SeekTo(stream, 0);
  uint8_t head[content_kind::kHeadBytes];
  const uint32_t got = stream.Read(sizeof head, head);
  SeekTo(stream, 0);
  switch (content_kind::KindOf(head, got)) {
    case content_kind::Kind::kWebp:
      return ReadWebp(stream, image, options);
    case content_kind::Kind::kGif:
      return ReadGif(stream, image, options);
    case content_kind::Kind::kTiff:
      return ReadTiff(stream, image, options);
    case content_kind::Kind::kHeif:
      return ReadHeif(stream, image, options);
    default:
      break;
  }
  image.Notes().failure = BitmapLoadNotes::Failure::kNotImage;
  image.Notes().detail = content_kind::NameOfOther(head, got);
  return false;
}

bool ReadWholeStream(kiv::File& stream, std::vector<uint8_t>& data, Bitmap& image) {
  const uint64_t size = stream.size();
  if (size > Bitmap::kMaxPixelStoreBytes) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  data.resize(static_cast<size_t>(size));
  SeekTo(stream, 0);
  data.resize(stream.Read(static_cast<uint32_t>(size), data.data()));
  return true;
}

}  // namespace image_readers
