// The HEIF reader (HEIC and AVIF alike), through libheif with its HEVC and AV1 decoders.
//
// Results: the primary image, turned and mirrored as the file's transformations say, becomes
// blue-green-red-alpha when it has alpha (unassociated; a premultiplied one is divided out by
// libheif) and blue-green-red otherwise: of 8-bit samples for an 8-bit image, of 16-bit samples
// (Wide()) for one of 10 or 12 bits, each sample widened by repeating its high bits below it
// (10-bit v becomes v << 6 | v >> 4) and the metadata stating the bits that were significant
// (sBIT). An ICC profile goes into the image as iCCP when it is a usable RGB profile; a colour
// description of sRGB primaries and transfer as an sRGB chunk; the EXIF block as eXIf, its
// Orientation set to 1 since the transformations already stand the picture upright; the XMP
// packet as iTXt.
//
// Every size the file declares (heif_sizes.h) is checked against Bitmap::kMaxPixelStoreBytes
// before the image is decoded, and libheif may decode no side longer than they declare;
// a metadata block past ImageMetadata's limits is not read, and noted as left out, as is a
// second EXIF block or XMP packet. A file that ends early or is damaged fails with libheif's
// words.
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/file.h"
#include "image/bitmap.h"
#include "image/byte_order.h"
#include "image/colour_chunks.h"
#include "image/metadata.h"
#include "image/read/heif_sizes.h"
#include "image/read/image_readers.h"
#include "image/read/metadata_chunks.h"

namespace image_readers {
namespace {

// A coded image is its picture padded to whole coding blocks, of at most this many pixels a
// side.
constexpr int kCodingBlock = 64;
// The sides libheif may always decode: a store of 8192 x 8192 pixels is within
// Bitmap::kMaxPixelStoreBytes whatever the layout.
constexpr int kSmallestSideLimit = 8192;
static_assert(uint64_t{kSmallestSideLimit} * kSmallestSideLimit * 4 <= Bitmap::kMaxPixelStoreBytes,
              "a square of the smallest side limit fits the pixel store");

// ISO/IEC 23091-2 codes of a colour description that is sRGB.
constexpr int kPrimariesBt709 = 1;
constexpr int kTransferSrgb = 13;

struct ContextDeleter {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
  void operator()(heif_image* decoded) const { heif_image_release(decoded); }
};
struct NclxDeleter {
  void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

bool Fail(Bitmap& image, const heif_error& error, const char* detail) {
  // libheif's own limits on sizes and counts are met by files declaring more than memory holds.
  if (error.code == heif_error_Memory_allocation_error ||
      error.subcode == heif_suberror_Security_limit_exceeded) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
  }
  image.Notes().detail =
      error.message != nullptr && error.message[0] != 0 ? std::string(error.message) : detail;
  return false;
}

// Turns a row of `width` pixels of red, green, blue (and alpha) samples of `bits` bits, each a
// little-endian 16-bit word, into a Wide() row of blue, green, red (and alpha), each sample's high
// bits repeated below it.
void WidenRow(const uint8_t* in, uint32_t width, uint32_t channels, int bits, uint8_t* out) {
  const uint32_t mask = (1u << bits) - 1;
  static constexpr int kOrder[] = {2, 1, 0, 3};
  for (uint32_t x = 0; x < width; ++x, in += 2 * channels, out += 2 * channels) {
    for (uint32_t k = 0; k < channels; ++k) {
      const uint32_t v = (in[2 * kOrder[k]] | in[2 * kOrder[k] + 1] << 8) & mask;
      const uint32_t wide = (v << (16 - bits) | v >> (2 * bits - 16)) & 0xFFFF;
      out[2 * k] = static_cast<uint8_t>(wide);
      out[2 * k + 1] = static_cast<uint8_t>(wide >> 8);
    }
  }
}

// The metadata blocks of `type` ("Exif", "mime"), each handed to `add` with its content type
// when it fits the metadata's limits; a larger one is noted as left out (`what` names it) and
// not read.
template <typename Add>
void ForEachBlock(const heif_image_handle* handle, const char* type, const char* what,
                  ImageMetadata& metadata, Add add) {
  const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
  if (count <= 0) {
    return;
  }
  std::vector<heif_item_id> ids(static_cast<size_t>(count));
  const int listed =
      heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
  for (int i = 0; i < listed; ++i) {
    const heif_item_id id = ids[static_cast<size_t>(i)];
    const char* content = heif_image_handle_get_metadata_content_type(handle, id);
    const std::string contentType = content != nullptr ? content : "";
    if (std::strcmp(type, "mime") == 0 && contentType != "application/rdf+xml") {
      continue;
    }
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size == 0) {
      continue;
    }
    if (!metadata.Fits(size)) {
      metadata.LeftOut(std::string(what) + " too large to carry");
      continue;
    }
    std::vector<uint8_t> block(size);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) {
      metadata.LeftOut(std::string("a damaged ") + what);
      continue;
    }
    add(block);
  }
}

void CarryChunks(const heif_image_handle* handle, Bitmap& image) {
  std::vector<PngChunk>& chunks = image.Ancillary();
  const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle);
  if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size > 0 && size <= colour_chunks::kMaxIccProfileBytes) {
      std::vector<uint8_t> icc(size);
      if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok) {
        colour_chunks::AddIccProfile(icc, chunks);
      }
    }
  } else if (profile == heif_color_profile_type_nclx) {
    heif_color_profile_nclx* nclx = nullptr;
    const heif_error got = heif_image_handle_get_nclx_color_profile(handle, &nclx);
    // A description with a code libheif does not know comes with an error and the profile
    // anyway, which is then ours to free as well.
    std::unique_ptr<heif_color_profile_nclx, NclxDeleter> owned(nclx);
    if (got.code == heif_error_Ok && owned && owned->color_primaries == kPrimariesBt709 &&
        owned->transfer_characteristics == kTransferSrgb) {
      chunks.push_back(colour_chunks::MakeSrgb(0));
    }
  }
  ImageMetadata& metadata = image.Metadata();
  bool exif = false;
  ForEachBlock(handle, "Exif", "EXIF block", metadata, [&](const std::vector<uint8_t>& block) {
    if (exif) {
      metadata.LeftOut("a second EXIF block");
      return;
    }
    exif = true;
    // The block starts with the offset of its TIFF header, big-endian.
    const uint64_t offset = block.size() < 4 ? 0 : Be32(block.data());
    if (block.size() < 4 || offset > block.size() - 4) {
      metadata.LeftOut("a damaged EXIF block");
      return;
    }
    metadata_chunks::CarryExif(block.data() + 4 + offset, block.size() - 4 - offset, true,
                               metadata);
  });
  bool xmp = false;
  ForEachBlock(handle, "mime", "XMP packet", metadata, [&](const std::vector<uint8_t>& block) {
    if (xmp) {
      metadata.LeftOut("a second XMP packet");
      return;
    }
    xmp = true;
    metadata_chunks::CarryXmp(block.data(), block.size(), metadata);
  });
}

}  // namespace

bool ReadHeif(kiv::File& stream, Bitmap& image, const Bitmap::LoadOptions&) {
  image.Clear();
  std::vector<uint8_t> data;
  if (!ReadWholeStream(stream, data, image)) {
    return false;
  }
  std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
  if (!context) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  heif_error error =
      heif_context_read_from_memory_without_copy(context.get(), data.data(), data.size(), nullptr);
  if (error.code != heif_error_Ok) {
    return Fail(image, error, "a damaged HEIF file");
  }
  heif_image_handle* primary = nullptr;
  error = heif_context_get_primary_image_handle(context.get(), &primary);
  std::unique_ptr<heif_image_handle, HandleDeleter> handle(primary);
  if (error.code != heif_error_Ok || !handle) {
    return Fail(image, error, "a HEIF file without a primary image");
  }
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const int luma = heif_image_handle_get_luma_bits_per_pixel(handle.get());
  // Deeper samples are kept at 16 bits.
  const bool deep = luma > 8 && luma <= 16;
  const uint32_t channels = alpha ? 4 : 3;
  const uint32_t bitCount = channels * (deep ? 16 : 8);
  if (width <= 0 || height <= 0) {
    return Fail(image, error, "a HEIF image without pixels");
  }
  // Every size the file declares (its size properties, and each grid's and overlay's own
  // description, at which libheif decodes it whatever the property says) is checked against the
  // pixel store, the longer side first since a turn swaps them, before libheif decodes anything.
  std::vector<heif_sizes::Size> sizes = heif_sizes::Declared(data.data(), data.size());
  sizes.push_back(heif_sizes::Size{static_cast<uint32_t>(width), static_cast<uint32_t>(height)});
  uint32_t declared = 0;
  for (const heif_sizes::Size& size : sizes) {
    if (size.width == 0 || size.height == 0) {
      continue;  // libheif refuses an empty picture by itself
    }
    const uint64_t longest = std::max(size.width, size.height);
    const uint64_t shortest = std::min(size.width, size.height);
    if (Bitmap::StrideFor(longest, bitCount) * shortest > Bitmap::kMaxPixelStoreBytes ||
        Bitmap::StrideFor(shortest, bitCount) * longest > Bitmap::kMaxPixelStoreBytes) {
      image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
      image.Notes().detail = std::string(size.derived ? "a grid of " : "an image of ") +
                             std::to_string(size.width) + " x " + std::to_string(size.height) +
                             " exceeds the maximum image size";
      return false;
    }
    declared = std::max(declared, static_cast<uint32_t>(longest));
  }
  // No side libheif decodes may pass the longest declared by more than a coding block, nor
  // kSmallestSideLimit: anything larger than the file declares fails before it is allocated.
  heif_context_set_maximum_image_size_limit(
      context.get(),
      static_cast<int>(std::max<uint32_t>(declared + kCodingBlock, kSmallestSideLimit) + 1));
  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  options->convert_hdr_to_8bit = deep ? 0 : 1;
  const heif_chroma chroma =
      deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
           : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* decodedImage = nullptr;
  error =
      heif_decode_image(handle.get(), &decodedImage, heif_colorspace_RGB, chroma, options.get());
  std::unique_ptr<heif_image, ImageDeleter> decoded(decodedImage);
  if (error.code != heif_error_Ok || !decoded) {
    return Fail(image, error, "damaged HEIF image data");
  }
  const int outWidth = heif_image_get_width(decoded.get(), heif_channel_interleaved);
  const int outHeight = heif_image_get_height(decoded.get(), heif_channel_interleaved);
  const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane =
      heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || outWidth <= 0 || outHeight <= 0 || stride <= 0 ||
      static_cast<int64_t>(outWidth) * (bitCount / 8) > stride ||
      (deep && (bits <= 8 || bits > 16))) {
    return Fail(image, error, "damaged HEIF image data");
  }
  if (!image.Create(outWidth, outHeight, bitCount,
                    deep ? Bitmap::Samples::k16Bit : Bitmap::Samples::k8Bit)) {
    image.Notes().failure = BitmapLoadNotes::Failure::kTooLarge;
    return false;
  }
  if (luma > 16) {
    image.Notes().samplesRounded = true;
    image.Notes().sampleBits = static_cast<uint32_t>(luma);
  }
  for (int y = 0; y < outHeight; ++y) {
    const uint8_t* in = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    uint8_t* out = image.Row(outHeight - 1 - y);
    if (deep) {
      WidenRow(in, static_cast<uint32_t>(outWidth), channels, bits, out);
      continue;
    }
    for (int x = 0; x < outWidth; ++x, in += channels, out += channels) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (channels == 4) {
        out[3] = in[3];
      }
    }
  }
  if (deep && bits < 16) {
    const auto b = static_cast<uint8_t>(bits);
    image.Metadata().significantBits = SignificantBits{b, b, b, alpha ? b : uint8_t{0}};
  }
  CarryChunks(handle.get(), image);
  return true;
}

}  // namespace image_readers
