// The fuzz targets of the WebP, GIF, TIFF and HEIF readers: the bytes go to the reader the chain
// would hand them to, and what it returns is checked against what the reader promises (layouts,
// palettes, counts) and, for WebP stills and small HEIF images, against the library's own
// decoding of the same bytes, so that the glue around each library is checked, not only its
// limits.
#include <webp/decode.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/image_checks.h"
#include "fuzz/targets.h"
#include "image/animation.h"
#include "image/bitmap.h"
#include "image/read/content_kind.h"
#include "image/read/image_readers.h"
#include "tests/support/format_makers.h"

namespace fuzzing {
namespace {

// HEIF images of at most this many pixels are decoded a second time by libheif itself and
// compared; HEVC and AV1 decoding dominates the time, so larger ones are checked by shape alone.
constexpr std::uint64_t kMaxHeifComparedPixels = std::uint64_t{1} << 16;

// Fails the check when the pictures differ, naming the first difference.
void CheckSamePicture(const char* target, const testimg::Picture& expected,
                      const testimg::Picture& actual) {
  const std::string difference = testimg::Difference(expected, actual);
  if (!difference.empty()) {
    std::fprintf(stderr, "fuzz target %s: %s\n", target, difference.c_str());
    Fail(target, "the image differs from the library's own decoding");
  }
}

bool IsKind(const std::uint8_t* data, std::size_t size, content_kind::Kind kind) {
  return content_kind::KindOf(data, std::min(size, content_kind::kHeadBytes)) == kind;
}

// Whether an input of `kind` is worth reading (see WorthDecoding). Through libtiff's bands of
// colour words or libheif's colour conversion a pixel costs several times what it costs a BMP,
// so these targets leave out images of more than kMaxCheckedPixels (a TIFF of 12 megapixels
// took over 2 seconds under the sanitizers), unless every reader must refuse them.
bool Wanted(const std::uint8_t* data, std::size_t size, content_kind::Kind kind) {
  if (size == 0 || !IsKind(data, size, kind)) {
    return false;
  }
  const std::uint64_t pixels = DeclaredPixels(data, size);
  return pixels <= kMaxCheckedPixels || pixels > kSurelyRefusedPixels;
}

int WebpTarget(const std::uint8_t* data, std::size_t size) {
  if (!Wanted(data, size, content_kind::Kind::kWebp)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadWebp, data, size, image)) {
    return 0;
  }
  CheckImageShape("webp", image);
  FUZZ_CHECK("webp", !image.Wide() && (image.BitCount() == 24 || image.BitCount() == 32));
  if (PixelCount(image) > kMaxCheckedPixels) {
    return 0;
  }
  CheckConvertible("webp", image);
  // A whole still image shows what libwebp's simple decoder gives for the same bytes.
  WebPBitstreamFeatures features;
  if (image.Notes().truncated || WebPGetFeatures(data, size, &features) != VP8_STATUS_OK ||
      features.has_animation) {
    return 0;
  }
  testimg::Picture reference =
      testimg::DecodeWebpReference(std::vector<std::uint8_t>(data, data + size));
  if (image.BitCount() == 24) {
    // A file whose header says it has no alpha is opaque, as libwebp's own tools and browsers
    // show it, whatever alpha its bitstream carries.
    for (testimg::Rgba& pixel : reference.pixels) {
      pixel.a = 255;
    }
  }
  if (reference.width > 0) {
    CheckSamePicture("webp", reference, PictureOf("webp", image));
  }
  return 0;
}

int GifTarget(const std::uint8_t* data, std::size_t size) {
  if (!Wanted(data, size, content_kind::Kind::kGif)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadGif, data, size, image)) {
    return 0;
  }
  CheckImageShape("gif", image);
  FUZZ_CHECK("gif", !image.Wide() && (image.BitCount() == 8 || image.BitCount() == 32));
  // An animation has frames to hand out; a first frame written alone says how many it stood for.
  FUZZ_CHECK("gif", image.Animation() == nullptr || image.Animation()->Info().frameCount >= 2);
  FUZZ_CHECK("gif", image.Animation() == nullptr || image.Notes().frames <= 1);
  if (PixelCount(image) > kMaxCheckedPixels) {
    return 0;
  }
  if (image.BitCount() == 8) {
    // The palette reaches every index the image uses: one past a small table shows black.
    for (int32_t y = 0; y < image.Height(); ++y) {
      const std::uint8_t* row = image.Row(y);
      for (int32_t x = 0; x < image.Width(); ++x) {
        FUZZ_CHECK("gif", row[x] < image.Palette().size());
      }
    }
  }
  CheckConvertible("gif", image);
  return 0;
}

int TiffTarget(const std::uint8_t* data, std::size_t size) {
  if (!Wanted(data, size, content_kind::Kind::kTiff)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadTiff, data, size, image)) {
    return 0;
  }
  CheckImageShape("tiff", image);
  const uint32_t bits = image.BitCount();
  FUZZ_CHECK("tiff", image.Wide() || bits == 8 || bits == 24 || bits == 32);
  if (!image.Wide() && bits == 8) {
    FUZZ_CHECK("tiff", image.Palette().size() == 256);  // the grey ramp
  }
  FUZZ_CHECK("tiff", image.Notes().pages >= 1);
  CheckConvertible("tiff", image);
  return 0;
}

int HeifTarget(const std::uint8_t* data, std::size_t size) {
  if (!Wanted(data, size, content_kind::Kind::kHeif)) {
    return -1;
  }
  Bitmap image;
  if (!ReadWith(image_readers::ReadHeif, data, size, image)) {
    return 0;
  }
  CheckImageShape("heif", image);
  const uint32_t bits = image.BitCount();
  FUZZ_CHECK("heif", image.Wide() || bits == 24 || bits == 32);
  CheckConvertible("heif", image);
  // libheif converts samples of more than 8 bits to RGB and to RGBA by different paths, which
  // need not agree with each other: the reference (RGBA) is compared with images read as RGBA
  // and with 8-bit ones.
  if (image.Wide() || PixelCount(image) > kMaxHeifComparedPixels ||
      (image.BitCount() != 32 && image.Notes().samplesRounded)) {
    return 0;
  }
  // The primary image as libheif itself decodes it to 8-bit RGBA, turned the same way.
  const testimg::Picture reference =
      testimg::DecodeHeifReference(std::vector<std::uint8_t>(data, data + size));
  // libheif under its own default limits may refuse a coded frame larger than the image (which
  // it crops to the image's size) that the reader, whose limit follows the sizes the file
  // declares, decodes: there is then nothing to compare with.
  if (reference.width == 0) {
    return 0;
  }
  CheckSamePicture("heif", reference, PictureOf("heif", image));
  return 0;
}

}  // namespace

const std::vector<Target>& FormatTargets() {
  static const std::vector<Target> targets = {
      {"webp", WebpTarget},
      {"gif", GifTarget},
      {"tiff", TiffTarget},
      {"heif", HeifTarget},
  };
  return targets;
}

}  // namespace fuzzing
