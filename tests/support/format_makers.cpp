#include "tests/support/format_makers.h"

#include <gif_lib.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

// The HEVC and AV1 encoders behind MakeHeif keep a few kilobytes of their own until the
// process ends, and dav1d keeps a picture of some damaged AV1 streams libheif hands it (the
// leak is within the library, whatever its caller frees); LeakSanitizer is told so, and still
// reports every other leak.
// g++ names AddressSanitizer by a macro, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define MORVANE_WITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVANE_WITH_ASAN 1
#endif
#endif
#if defined(MORVANE_WITH_ASAN)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libx265.so\nleak:libaom.so\nleak:libdav1d.so\n";
}
#endif

namespace testimg {

Picture NoisePicture(int width, int height, bool alpha, uint32_t seed) {
  Picture picture(width, height);
  Noise noise(seed);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const uint32_t v = noise.Next();
    picture.pixels[i] =
        Rgba{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             alpha ? static_cast<uint8_t>(i * 37) : uint8_t{255}};
  }
  return picture;
}

namespace {

std::vector<uint8_t> Interleaved(const Picture& picture, bool alpha) {
  std::vector<uint8_t> out;
  for (const Rgba& c : picture.pixels) {
    out.insert(out.end(), {c.r, c.g, c.b});
    if (alpha) {
      out.push_back(c.a);
    }
  }
  return out;
}

std::vector<uint8_t> EncodeWebpFrame(const Picture& picture, bool lossless, bool alpha) {
  const std::vector<uint8_t> samples = Interleaved(picture, alpha);
  const int stride = picture.width * (alpha ? 4 : 3);
  uint8_t* out = nullptr;
  size_t size = 0;
  if (lossless) {
    size = alpha
               ? WebPEncodeLosslessRGBA(samples.data(), picture.width, picture.height, stride, &out)
               : WebPEncodeLosslessRGB(samples.data(), picture.width, picture.height, stride, &out);
  } else {
    size = alpha ? WebPEncodeRGBA(samples.data(), picture.width, picture.height, stride, 90, &out)
                 : WebPEncodeRGB(samples.data(), picture.width, picture.height, stride, 90, &out);
  }
  std::vector<uint8_t> bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

std::vector<uint8_t> EncodeWebpAnimation(const WebpRecipe& recipe) {
  const Picture& first = recipe.frames.front();
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  options.anim_params.loop_count = recipe.loops;
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(first.width, first.height, &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = recipe.lossless ? 1 : 0;
  config.exact = 1;  // keep the colour of transparent pixels, which the reader must give back
  int timestamp = 0;
  size_t index = 0;
  for (const Picture& frame : recipe.frames) {
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.width = frame.width;
    picture.height = frame.height;
    picture.use_argb = 1;
    const std::vector<uint8_t> samples = Interleaved(frame, true);
    WebPPictureImportRGBA(&picture, samples.data(), frame.width * 4);
    WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
    WebPPictureFree(&picture);
    timestamp += index < recipe.durations.size() ? recipe.durations[index] : 100;
    ++index;
  }
  WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
  WebPData data;
  WebPDataInit(&data);
  WebPAnimEncoderAssemble(encoder, &data);
  std::vector<uint8_t> bytes(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);
  return bytes;
}

}  // namespace

std::vector<uint8_t> MakeWebp(const WebpRecipe& recipe) {
  std::vector<uint8_t> bytes =
      recipe.frames.size() > 1
          ? EncodeWebpAnimation(recipe)
          : EncodeWebpFrame(recipe.frames.front(), recipe.lossless, recipe.alpha);
  if (recipe.icc.empty() && recipe.exif.empty() && recipe.xmp.empty()) {
    return bytes;
  }
  const WebPData input{bytes.data(), bytes.size()};
  WebPMux* mux = WebPMuxCreate(&input, 1);
  const struct {
    const char* id;
    const std::vector<uint8_t>* data;
  } chunks[] = {{"ICCP", &recipe.icc}, {"EXIF", &recipe.exif}, {"XMP ", &recipe.xmp}};
  for (const auto& chunk : chunks) {
    if (!chunk.data->empty()) {
      const WebPData data{chunk.data->data(), chunk.data->size()};
      WebPMuxSetChunk(mux, chunk.id, &data, 1);
    }
  }
  WebPData output;
  WebPDataInit(&output);
  WebPMuxAssemble(mux, &output);
  bytes.assign(output.bytes, output.bytes + output.size);
  WebPDataClear(&output);
  WebPMuxDelete(mux);
  return bytes;
}

Picture DecodeWebpReference(const std::vector<uint8_t>& bytes) {
  int width = 0;
  int height = 0;
  uint8_t* rgba = WebPDecodeRGBA(bytes.data(), bytes.size(), &width, &height);
  if (rgba == nullptr) {
    return Picture();
  }
  Picture picture(width, height);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    picture.pixels[i] = Rgba{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
  }
  WebPFree(rgba);
  return picture;
}

std::vector<Picture> DecodeWebpAnimationReference(const std::vector<uint8_t>& bytes) {
  std::vector<Picture> canvases;
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_RGBA;
  const WebPData data{bytes.data(), bytes.size()};
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  WebPAnimInfo info;
  if (decoder == nullptr || !WebPAnimDecoderGetInfo(decoder, &info)) {
    WebPAnimDecoderDelete(decoder);
    return canvases;
  }
  uint8_t* rgba = nullptr;
  int timestamp = 0;
  while (WebPAnimDecoderGetNext(decoder, &rgba, &timestamp)) {
    Picture canvas(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height));
    for (size_t i = 0; i < canvas.pixels.size(); ++i) {
      canvas.pixels[i] = Rgba{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    }
    canvases.push_back(canvas);
  }
  WebPAnimDecoderDelete(decoder);
  return canvases;
}

// ---- GIF ----------------------------------------------------------------------------------

namespace {

int WriteToVector(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

ColorMapObject* MapOf(const std::vector<Rgba>& colours) {
  if (colours.empty()) {
    return nullptr;
  }
  std::vector<GifColorType> entries;
  for (const Rgba& c : colours) {
    entries.push_back(GifColorType{c.r, c.g, c.b});
  }
  return GifMakeMapObject(static_cast<int>(entries.size()), entries.data());
}

}  // namespace

std::vector<uint8_t> MakeGif(const GifRecipe& recipe) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  EGifSetGifVersion(gif, recipe.gif89);
  ColorMapObject* global = MapOf(recipe.globalMap);
  EGifPutScreenDesc(gif, recipe.width, recipe.height, 8, 0, global);
  if (!recipe.comment.empty()) {
    EGifPutExtension(gif, COMMENT_EXT_FUNC_CODE, static_cast<int>(recipe.comment.size()),
                     recipe.comment.data());
  }
  if (recipe.loops >= 0) {
    const uint8_t loops[3] = {1, static_cast<uint8_t>(recipe.loops),
                              static_cast<uint8_t>(recipe.loops >> 8)};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loops);
    EGifPutExtensionTrailer(gif);
  }
  for (const GifFrame& frame : recipe.frames) {
    if (recipe.gif89) {
      const uint8_t control[4] = {
          static_cast<uint8_t>(frame.disposal << 2 | (frame.transparent >= 0 ? 1 : 0)),
          static_cast<uint8_t>(frame.delay), static_cast<uint8_t>(frame.delay >> 8),
          static_cast<uint8_t>(std::max(frame.transparent, 0))};
      EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    }
    ColorMapObject* local = MapOf(frame.localMap);
    EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlace, local);
    std::vector<int> rows;
    if (frame.interlace) {
      const int start[] = {0, 4, 2, 1};
      const int step[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < frame.height; y += step[pass]) {
          rows.push_back(y);
        }
      }
    } else {
      for (int y = 0; y < frame.height; ++y) {
        rows.push_back(y);
      }
    }
    for (const int y : rows) {
      std::vector<GifPixelType> line(frame.indices.begin() + y * frame.width,
                                     frame.indices.begin() + (y + 1) * frame.width);
      EGifPutLine(gif, line.data(), frame.width);
    }
    GifFreeMapObject(local);
    // giflib's encoder forgets its copy of a local table when the next image has none.
    GifFreeMapObject(gif->Image.ColorMap);
    gif->Image.ColorMap = nullptr;
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(global);
  return out;
}

namespace {

int ReadFromVector(GifFileType* gif, GifByteType* out, int count) {
  auto* in = static_cast<std::pair<const std::vector<uint8_t>*, size_t>*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(count), in->first->size() - in->second);
  std::memcpy(out, in->first->data() + in->second, n);
  in->second += n;
  return static_cast<int>(n);
}

}  // namespace

std::vector<Picture> ComposeGifReference(const std::vector<uint8_t>& bytes) {
  std::vector<Picture> screens;
  std::pair<const std::vector<uint8_t>*, size_t> input{&bytes, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&input, ReadFromVector, &error);
  if (gif == nullptr) {
    return screens;
  }
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return screens;
  }
  Picture screen(gif->SWidth, gif->SHeight);
  for (Rgba& c : screen.pixels) {
    c = Rgba{0, 0, 0, 0};
  }
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    const GifImageDesc& desc = image.ImageDesc;
    GraphicsControlBlock control{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif, i, &control);
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    const Picture before = screen;
    auto inside = [&](int x, int y) {
      return desc.Left + x < screen.width && desc.Top + y < screen.height;
    };
    for (int y = 0; y < desc.Height; ++y) {
      for (int x = 0; x < desc.Width; ++x) {
        const int index = image.RasterBits[y * desc.Width + x];
        if (index != control.TransparentColor && inside(x, y)) {
          const GifColorType c = map->Colors[index];
          screen.at(desc.Left + x, desc.Top + y) = Rgba{c.Red, c.Green, c.Blue, 255};
        }
      }
    }
    screens.push_back(screen);
    if (control.DisposalMode == DISPOSE_PREVIOUS) {
      screen = before;
    } else if (control.DisposalMode == DISPOSE_BACKGROUND) {
      for (int y = 0; y < desc.Height; ++y) {
        for (int x = 0; x < desc.Width; ++x) {
          if (inside(x, y)) {
            screen.at(desc.Left + x, desc.Top + y) = Rgba{0, 0, 0, 0};
          }
        }
      }
    }
  }
  DGifCloseFile(gif, &error);
  return screens;
}

// ---- TIFF ---------------------------------------------------------------------------------

namespace {

struct Sink {
  std::vector<uint8_t> bytes;
  uint64_t at = 0;
};

tmsize_t SinkRead(thandle_t h, void* out, tmsize_t n) {
  auto* s = static_cast<Sink*>(h);
  const uint64_t k = std::min<uint64_t>(
      static_cast<uint64_t>(n), s->bytes.size() - std::min<uint64_t>(s->at, s->bytes.size()));
  std::memcpy(out, s->bytes.data() + s->at, static_cast<size_t>(k));
  s->at += k;
  return static_cast<tmsize_t>(k);
}

tmsize_t SinkWrite(thandle_t h, void* data, tmsize_t n) {
  auto* s = static_cast<Sink*>(h);
  if (s->at + static_cast<uint64_t>(n) > s->bytes.size()) {
    s->bytes.resize(static_cast<size_t>(s->at + static_cast<uint64_t>(n)));
  }
  std::memcpy(s->bytes.data() + s->at, data, static_cast<size_t>(n));
  s->at += static_cast<uint64_t>(n);
  return n;
}

toff_t SinkSeek(thandle_t h, toff_t offset, int whence) {
  auto* s = static_cast<Sink*>(h);
  s->at = (whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->bytes.size() : 0) + offset;
  return s->at;
}

int SinkClose(thandle_t) {
  return 0;
}
toff_t SinkSize(thandle_t h) {
  return static_cast<Sink*>(h)->bytes.size();
}
int NoMap(thandle_t, void**, toff_t*) {
  return 0;
}
void NoUnmap(thandle_t, void*, toff_t) {}

// `count` samples packed at `bits` bits from the most significant bit (16-bit samples in the
// host's order, as libtiff takes them).
std::vector<uint8_t> Pack(const uint16_t* in, size_t count, int bits) {
  std::vector<uint8_t> row;
  if (bits == 16) {
    row.resize(count * 2);
    std::memcpy(row.data(), in, count * 2);
    return row;
  }
  row.assign((count * bits + 7) / 8, 0);
  size_t bit = 0;
  for (size_t i = 0; i < count; ++i) {
    for (int b = bits - 1; b >= 0; --b, ++bit) {
      if ((in[i] >> b) & 1) {
        row[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
      }
    }
  }
  return row;
}

// One row of samples packed at the recipe's bit width.
std::vector<uint8_t> PackedRow(const TiffRecipe& r, int y) {
  const size_t count = static_cast<size_t>(r.width) * r.samplesPerPixel;
  return Pack(r.samples.data() + count * y, count, r.bitsPerSample);
}

// One row of plane `plane` of a recipe of separate planes.
std::vector<uint8_t> PlaneRow(const TiffRecipe& r, int y, int plane) {
  std::vector<uint16_t> samples;
  for (int x = 0; x < r.width; ++x) {
    samples.push_back(
        r.samples[(static_cast<size_t>(y) * r.width + x) * r.samplesPerPixel + plane]);
  }
  return Pack(samples.data(), samples.size(), r.bitsPerSample);
}

}  // namespace

TiffRecipe TiffLayout(int width, int height, int samples, int bits, int photometric,
                      int compression, int extra, int orientation, int tile) {
  TiffRecipe r;
  r.width = width;
  r.height = height;
  r.samplesPerPixel = samples;
  r.bitsPerSample = bits;
  r.photometric = photometric;
  r.compression = compression;
  r.extraSample = extra;
  r.orientation = orientation;
  r.tileSize = tile;
  return r;
}

std::vector<uint8_t> MakeTiff(const TiffRecipe& r) {
  Sink sink;
  TIFF* tiff = TIFFClientOpen("made", r.bigTiff ? "w8" : "w", &sink, SinkRead, SinkWrite, SinkSeek,
                              SinkClose, SinkSize, NoMap, NoUnmap);
  for (int page = 0; page < r.pages; ++page) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, r.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, r.height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, r.samplesPerPixel);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, r.bitsPerSample);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, r.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 r.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, r.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, r.orientation);
    if (r.compression == COMPRESSION_JPEG) {
      TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 95);
      if (r.photometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      }
    }
    if (r.extraSample >= 0) {
      const uint16_t extra = static_cast<uint16_t>(r.extraSample);
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (!r.colourMap.empty()) {
      const size_t entries = r.colourMap.size() / 3;
      std::vector<uint16_t> map = r.colourMap;
      TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data() + entries,
                   map.data() + 2 * entries);
    } else if (!r.palette.empty()) {
      std::vector<uint16_t> red;
      std::vector<uint16_t> green;
      std::vector<uint16_t> blue;
      for (const Rgba& c : r.palette) {
        red.push_back(static_cast<uint16_t>(c.r * 257));
        green.push_back(static_cast<uint16_t>(c.g * 257));
        blue.push_back(static_cast<uint16_t>(c.b * 257));
      }
      TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    if (!r.icc.empty()) {
      TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(r.icc.size()), r.icc.data());
    }
    if (!r.xmp.empty()) {
      TIFFSetField(tiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(r.xmp.size()), r.xmp.data());
    }
    if (!r.make.empty() && page == 0) {
      TIFFSetField(tiff, TIFFTAG_MAKE, r.make.c_str());
    }
    if (!r.dateTaken.empty() && page == 0) {
      // Set again once the EXIF directory has its place.
      TIFFSetField(tiff, TIFFTAG_EXIFIFD, uint64_t{0});
    }
    if (r.pages > 1) {
      TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
      TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page, r.pages);
    }
    if (r.tileSize > 0) {
      TIFFSetField(tiff, TIFFTAG_TILEWIDTH, r.tileSize);
      TIFFSetField(tiff, TIFFTAG_TILELENGTH, r.tileSize);
      const tmsize_t tileBytes = TIFFTileSize(tiff);
      const size_t rowBytes = static_cast<size_t>(TIFFTileRowSize(tiff));
      const size_t spp = static_cast<size_t>(r.samplesPerPixel);
      for (int ty = 0; ty < r.height; ty += r.tileSize) {
        for (int tx = 0; tx < r.width; tx += r.tileSize) {
          std::vector<uint8_t> tile(static_cast<size_t>(tileBytes), 0);
          for (int y = 0; y < r.tileSize && ty + y < r.height; ++y) {
            // The tile's row, its columns past the picture's edge zero.
            std::vector<uint16_t> samples(static_cast<size_t>(r.tileSize) * spp, 0);
            const int columns = std::min(r.tileSize, r.width - tx);
            const uint16_t* from =
                r.samples.data() + (static_cast<size_t>(ty + y) * r.width + tx) * spp;
            std::copy(from, from + columns * spp, samples.begin());
            const std::vector<uint8_t> row = Pack(samples.data(), samples.size(), r.bitsPerSample);
            std::memcpy(tile.data() + static_cast<size_t>(y) * rowBytes, row.data(),
                        std::min(rowBytes, row.size()));
          }
          TIFFWriteTile(tiff, tile.data(), static_cast<uint32_t>(tx), static_cast<uint32_t>(ty), 0,
                        0);
        }
      }
    } else {
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, r.rowsPerStrip);
      for (int plane = 0; plane < (r.separate ? r.samplesPerPixel : 1); ++plane) {
        for (int y = 0; y < r.height; ++y) {
          std::vector<uint8_t> row = r.separate ? PlaneRow(r, y, plane) : PackedRow(r, y);
          TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y),
                            static_cast<uint16_t>(plane));
        }
      }
    }
    TIFFWriteDirectory(tiff);
  }
  if (!r.dateTaken.empty()) {
    uint64_t exif = 0;
    TIFFCreateEXIFDirectory(tiff);
    TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, r.dateTaken.c_str());
    TIFFSetField(tiff, EXIFTAG_EXPOSURETIME, 1.0 / 250);
    TIFFWriteCustomDirectory(tiff, &exif);
    TIFFSetDirectory(tiff, 0);
    TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif);
    TIFFRewriteDirectory(tiff);
  }
  TIFFClose(tiff);
  return sink.bytes;
}

// ---- HEIF ---------------------------------------------------------------------------------

namespace {

heif_error WriteHeif(heif_context*, const void* data, size_t size, void* user) {
  auto* out = static_cast<std::vector<uint8_t>*>(user);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

}  // namespace

std::vector<uint8_t> MakeHeif(const Picture& picture, bool av1, bool alpha, int bits,
                              const std::vector<uint8_t>& exif, const std::string& xmp) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  std::vector<uint8_t> out;
  if (heif_context_get_encoder_for_format(
          context, av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
          .code != heif_error_Ok) {
    heif_context_free(context);
    return out;
  }
  heif_encoder_set_lossy_quality(encoder, 90);
  heif_image* image = nullptr;
  const bool deep = bits > 8;
  heif_image_create(
      picture.width, picture.height, heif_colorspace_RGB,
      deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
           : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB),
      &image);
  heif_image_add_plane(image, heif_channel_interleaved, picture.width, picture.height, bits);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const Rgba& c = picture.at(x, y);
      const uint8_t v[4] = {c.r, c.g, c.b, c.a};
      for (int k = 0; k < channels; ++k) {
        if (deep) {
          const uint16_t s = static_cast<uint16_t>(v[k] << (bits - 8));
          plane[y * stride + (x * channels + k) * 2] = static_cast<uint8_t>(s);
          plane[y * stride + (x * channels + k) * 2 + 1] = static_cast<uint8_t>(s >> 8);
        } else {
          plane[y * stride + x * channels + k] = v[k];
        }
      }
    }
  }
  heif_image_handle* handle = nullptr;
  if (heif_context_encode_image(context, image, encoder, nullptr, &handle).code == heif_error_Ok) {
    if (!exif.empty()) {
      heif_context_add_exif_metadata(context, handle, exif.data(), static_cast<int>(exif.size()));
    }
    if (!xmp.empty()) {
      heif_context_add_XMP_metadata(context, handle, xmp.data(), static_cast<int>(xmp.size()));
    }
    heif_writer writer{1, WriteHeif};
    heif_context_write(context, &writer, &out);
    heif_image_handle_release(handle);
  }
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return out;
}

Picture DecodeHeifReference(const std::vector<uint8_t>& bytes) {
  Picture picture;
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  heif_decoding_options* options = heif_decoding_options_alloc();
  options->convert_hdr_to_8bit = 1;
  if (heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr)
              .code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
      heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options)
              .code == heif_error_Ok) {
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    picture = Picture(heif_image_get_width(image, heif_channel_interleaved),
                      heif_image_get_height(image, heif_channel_interleaved));
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const uint8_t* p = plane + y * stride + 4 * x;
        picture.at(x, y) = Rgba{p[0], p[1], p[2], p[3]};
      }
    }
  }
  heif_decoding_options_free(options);
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(context);
  return picture;
}

std::vector<uint16_t> DecodeHeifDeepReference(const std::vector<uint8_t>& bytes, bool alpha,
                                              int& bits) {
  std::vector<uint16_t> samples;
  heif_context* context = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  if (heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr)
              .code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
      heif_decode_image(
          handle, &image, heif_colorspace_RGB,
          alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE, nullptr)
              .code == heif_error_Ok) {
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    bits = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    const int count = width * (alpha ? 4 : 3);
    for (int y = 0; y < height; ++y) {
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = plane + y * stride + 2 * i;
        samples.push_back(static_cast<uint16_t>(p[0] | p[1] << 8));
      }
    }
  }
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(context);
  return samples;
}

}  // namespace testimg
