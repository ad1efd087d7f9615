// What a PNG keeps of its source: EXIF, XMP and comments of a JPEG, the text, time, background,
// significant bits and safe-to-copy chunks of a PNG, each where PNG's rules place it. A source
// holding what its PNG cannot (a chunk not safe to copy, a block too large, an extension that
// does not join) converts with a warning and stays: it is neither deleted nor replaced in place.
// An animated PNG stays animated: its frames, regions, delays, operations and loop count; an
// animated GIF or WebP becomes one.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/file.h"
#include "base/path.h"
#include "base/unicode.h"
#include "cli/batch.h"
#include "image/bitmap.h"
#include "image/read/apng_reader.h"
#include "tests/cli/recording_terminal.h"
#include "tests/support/format_makers.h"
#include "tests/support/image_makers.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

void PutBe32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

// A whole chunk: length, type, data, CRC.
Bytes ChunkBytes(const std::string& type, const Bytes& data) {
  Bytes out;
  PutBe32(out, static_cast<uint32_t>(data.size()));
  Bytes body = Join({Text(type), data});
  out.insert(out.end(), body.begin(), body.end());
  PutBe32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  return out;
}

// `png` with `before` inserted before its first IDAT and `after` before its IEND.
Bytes WithChunks(const Bytes& png, const std::vector<std::pair<std::string, Bytes>>& before,
                 const std::vector<std::pair<std::string, Bytes>>& after) {
  Bytes out(png.begin(), png.begin() + 8);
  bool idatSeen = false;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length =
        static_cast<uint32_t>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    const auto& extra = type == "IDAT" ? before : after;
    if ((type == "IDAT" && !idatSeen) || type == "IEND") {
      for (const auto& chunk : extra) {
        const Bytes bytes = ChunkBytes(chunk.first, chunk.second);
        out.insert(out.end(), bytes.begin(), bytes.end());
      }
    }
    idatSeen = idatSeen || type == "IDAT";
    out.insert(out.end(), png.begin() + at, png.begin() + at + 12 + length);
    at += 12 + length;
  }
  return out;
}

// `jpeg` with marker segments inserted after its start-of-image marker.
Bytes WithSegments(const Bytes& jpeg, const std::vector<std::pair<int, Bytes>>& segments) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  for (const auto& segment : segments) {
    const size_t length = segment.second.size() + 2;
    out.insert(out.end(), {0xFF, static_cast<uint8_t>(segment.first),
                           static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    out.insert(out.end(), segment.second.begin(), segment.second.end());
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Bytes Photo(int width, int height) {
  testimg::JpegRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  for (int i = 0; i < width * height; ++i) {
    recipe.samples.insert(recipe.samples.end(),
                          {static_cast<uint8_t>(i * 9), static_cast<uint8_t>(i * 5), 120});
  }
  recipe.app1 = testimg::MakeExif(6, true);
  return testimg::MakeJpeg(recipe);
}

Bytes RgbPng() {
  testimg::PngRecipe recipe;
  recipe.width = 5;
  recipe.height = 3;
  for (int i = 0; i < 15; ++i) {
    recipe.samples.insert(recipe.samples.end(), {static_cast<uint16_t>(i * 17), 40, 200});
  }
  return testimg::MakePng(recipe);
}

Bytes PalettePng() {
  testimg::PngRecipe recipe;
  recipe.width = 4;
  recipe.height = 2;
  recipe.colorType = 3;
  recipe.bitDepth = 4;
  recipe.palette = {{0, 0, 0}, {255, 0, 0}, {10, 200, 30}, {255, 255, 255}};
  recipe.samples = {0, 1, 2, 3, 3, 2, 1, 0};
  return testimg::MakePng(recipe);
}

// What the pixels of a frame picture are like.
enum class Look {
  kColourAlpha,   // colours, each pixel of its own transparency
  kGrey,          // opaque greys
  kOpaqueColour,  // opaque colours
};

// An RGBA picture of `width` x `height` whose pixels tell `seed` apart.
testimg::PngRecipe FramePicture(int width, int height, int seed, Look look = Look::kColourAlpha) {
  testimg::PngRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.colorType = 6;
  for (int i = 0; i < width * height; ++i) {
    if (look == Look::kColourAlpha) {
      recipe.samples.insert(recipe.samples.end(),
                            {static_cast<uint16_t>(seed * 40 + i), static_cast<uint16_t>(i * 11),
                             static_cast<uint16_t>(seed * 90), static_cast<uint16_t>(255 - i)});
      continue;
    }
    // Values no row filter predicts, so that the smaller kind is the smaller file.
    auto noise = [i, seed](int k) {
      return static_cast<uint16_t>((i * i * 37 + seed * 53 + i * 11 + k * 101) % 256);
    };
    const uint16_t grey = noise(0);
    recipe.samples.insert(recipe.samples.end(), {grey, look == Look::kGrey ? grey : noise(1),
                                                 look == Look::kGrey ? grey : noise(2), 255});
  }
  return recipe;
}

struct FrameSpec {
  int x, y, width, height;
  uint16_t delayNumerator, delayDenominator;
  uint8_t dispose, blend;
};

Bytes FrameControl(uint32_t sequence, const FrameSpec& f) {
  Bytes data;
  for (uint32_t value :
       {sequence, uint32_t(f.width), uint32_t(f.height), uint32_t(f.x), uint32_t(f.y)}) {
    PutBe32(data, value);
  }
  data.insert(data.end(),
              {uint8_t(f.delayNumerator >> 8), uint8_t(f.delayNumerator),
               uint8_t(f.delayDenominator >> 8), uint8_t(f.delayDenominator), f.dispose, f.blend});
  return data;
}

// An animated PNG of a 6 x 4 canvas: `frames` (the first one the default image when
// `defaultIsFrame`, otherwise a default image of its own comes first), `declared` frames in its
// acTL, looping `loops` times. `looks` says what each frame's pixels are like (the first's the
// default image's too); frames past its end have colours and transparency.
Bytes MakeApng(const std::vector<FrameSpec>& frames, bool defaultIsFrame, uint32_t declared,
               uint32_t loops, const std::vector<Look>& looks = {}) {
  auto look = [&looks](size_t i) { return i < looks.size() ? looks[i] : Look::kColourAlpha; };
  const Bytes still = testimg::MakePng(FramePicture(6, 4, 7, look(0)));
  Bytes out(still.begin(), still.begin() + 8 + 25);  // signature and IHDR
  Bytes actl;
  PutBe32(actl, declared);
  PutBe32(actl, loops);
  auto add = [&out](const std::string& type, const Bytes& data) {
    const Bytes chunk = ChunkBytes(type, data);
    out.insert(out.end(), chunk.begin(), chunk.end());
  };
  add("acTL", actl);
  uint32_t sequence = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameSpec& f = frames[i];
    const Bytes data =
        testimg::DecodePng(testimg::MakePng(FramePicture(f.width, f.height, int(i), look(i)))).idat;
    if (i == 0 && !defaultIsFrame) {
      add("IDAT", testimg::DecodePng(still).idat);
    }
    add("fcTL", FrameControl(sequence++, f));
    if (i == 0 && defaultIsFrame) {
      add("IDAT", data);
      continue;
    }
    Bytes fdat;
    PutBe32(fdat, sequence++);
    fdat.insert(fdat.end(), data.begin(), data.end());
    add("fdAT", fdat);
  }
  add("IEND", {});
  return out;
}

// `apng` with the data of its last fdAT chunk (sequence number first) changed by `change`, its
// CRC made again.
Bytes WithFrameData(const Bytes& apng, const std::function<void(Bytes&)>& change) {
  size_t last = 0;
  for (size_t at = 8; at + 12 <= apng.size();) {
    const uint32_t length = static_cast<uint32_t>(apng[at] << 24 | apng[at + 1] << 16 |
                                                  apng[at + 2] << 8 | apng[at + 3]);
    if (std::string(apng.begin() + at + 4, apng.begin() + at + 8) == "fdAT") {
      last = at;
    }
    at += 12 + length;
  }
  const uint32_t length = static_cast<uint32_t>(apng[last] << 24 | apng[last + 1] << 16 |
                                                apng[last + 2] << 8 | apng[last + 3]);
  Bytes data(apng.begin() + last + 8, apng.begin() + last + 8 + length);
  change(data);
  return Join({Bytes(apng.begin(), apng.begin() + last), ChunkBytes("fdAT", data),
               Bytes(apng.begin() + last + 12 + length, apng.end())});
}

const char kGuid[] = "0123456789ABCDEF0123456789ABCDEF";
const std::string kRdf = "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">";
const std::string kExtension =
    "<rdf:Description rdf:about=\"\" xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\">"
    "<photoshop:History>" +
    std::string(300, 'h') + "extended-history</photoshop:History></rdf:Description>";

Bytes XmpSegment() {
  return Join({Text("http://ns.adobe.com/xap/1.0/"),
               {0},
               Text("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" + kRdf +
                    "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                    "xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" xmpNote:HasExtendedXMP=\"" +
                    kGuid + "\"><dc:title>main-title</dc:title></rdf:Description></rdf:RDF>" +
                    "</x:xmpmeta>")});
}

// The extension's pieces, the second first: they are joined by their offsets.
std::vector<std::pair<int, Bytes>> ExtensionSegments(bool whole) {
  const std::string packet =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" + kRdf + kExtension + "</rdf:RDF></x:xmpmeta>";
  const size_t half = packet.size() / 2;
  auto piece = [&](size_t offset, size_t length) {
    Bytes out = Join({Text("http://ns.adobe.com/xmp/extension/"), {0}, Text(kGuid)});
    PutBe32(out, static_cast<uint32_t>(packet.size()));
    PutBe32(out, static_cast<uint32_t>(offset));
    const Bytes data = Text(packet.substr(offset, length));
    out.insert(out.end(), data.begin(), data.end());
    return std::make_pair(0xE1, out);
  };
  std::vector<std::pair<int, Bytes>> pieces = {piece(half, packet.size() - half)};
  if (whole) {
    pieces.push_back(piece(0, half));
  }
  return pieces;
}

Bytes Exif(uint16_t orientation) {
  Bytes exif = testimg::MakeExif(orientation, true);
  return Bytes(exif.begin() + 6, exif.end());
}

Bytes ITxt(const std::string& keyword, const std::string& text) {
  return Join({Text(keyword), {0, 0, 0, 0, 0}, Text(text)});
}

// The data of the chunks of `type` in `png`.
std::vector<Bytes> Find(const testimg::DecodedPng& png, const std::string& type) {
  std::vector<Bytes> found;
  for (size_t i = 0; i < png.chunks.size(); ++i) {
    if (png.chunks[i] == type) {
      found.push_back(png.chunkData[i]);
    }
  }
  return found;
}

// The index of the first chunk of `type`, the chunk count when none.
size_t Position(const testimg::DecodedPng& png, const std::string& type) {
  return static_cast<size_t>(std::find(png.chunks.begin(), png.chunks.end(), type) -
                             png.chunks.begin());
}

bool Contains(const Bytes& data, const std::string& text) {
  return std::search(data.begin(), data.end(), text.begin(), text.end()) != data.end();
}

// The colour the bKGD chunk of `png` names, in 8-bit red, green and blue, whatever its kind.
testimg::Rgba Background(const testimg::DecodedPng& png) {
  const std::vector<Bytes> found = Find(png, "bKGD");
  if (found.size() != 1) {
    return testimg::Rgba{0, 0, 0, 0};
  }
  const Bytes& d = found[0];
  auto eight = [&](size_t at) {
    const unsigned top = (1u << png.bitDepth) - 1;
    return static_cast<uint8_t>(((d[at] << 8 | d[at + 1]) * 255u + top / 2) / top);
  };
  if (png.colorType == 3) {
    return d[0] < png.palette.size() ? png.palette[d[0]] : testimg::Rgba{0, 0, 0, 0};
  }
  if (png.colorType == 0 || png.colorType == 4) {
    return testimg::Rgba{eight(0), eight(0), eight(0), 255};
  }
  return testimg::Rgba{eight(0), eight(2), eight(4), 255};
}

struct Case {
  const char* what;
  std::wstring name;  // the source's file name
  Bytes source;
  std::vector<std::wstring> options;
  // What the PNG must hold, checked on every PNG the case writes.
  std::function<void(const testimg::DecodedPng&)> check;
  bool keep = false;           // the source holds what the PNG cannot: it stays
  std::wstring warning = L"";  // then the row's warning holds this
  bool sameFrames = false;     // an animation whose written frames hold the source's pixels
  // When not empty: no PNG can be written, every run's row fails saying this and the source
  // stays as it was.
  std::wstring reason = L"";
};

std::vector<Case> Cases() {
  const std::string japanese = "\xE5\xA4\x95\xE7\x84\xBC\xE3\x81\x91";  // 夕焼け in UTF-8
  const Bytes camera = WithSegments(Photo(6, 4), [&] {
    std::vector<std::pair<int, Bytes>> segments = {{0xE1, XmpSegment()}};
    for (const auto& piece : ExtensionSegments(true)) {
      segments.push_back(piece);
    }
    segments.push_back({0xFE, Join({Text("shot on a test"), {0}})});
    segments.push_back({0xFE, Text(japanese)});
    return segments;
  }());
  auto cameraCheck = [japanese](uint16_t orientation) {
    return [japanese, orientation](const testimg::DecodedPng& png) {
      EXPECT_EQ(Find(png, "eXIf"), std::vector<Bytes>{Exif(orientation)});
      const std::vector<Bytes> xmp = Find(png, "iTXt");
      ASSERT_EQ(xmp.size(), 2u);
      EXPECT_TRUE(Contains(xmp[0], std::string("XML:com.adobe.xmp") + '\0' + '\0'));
      EXPECT_TRUE(Contains(xmp[0], "main-title"));
      EXPECT_TRUE(Contains(xmp[0], kExtension + "</rdf:RDF>"));
      EXPECT_EQ(xmp[1], ITxt("Comment", japanese));
      EXPECT_EQ(Find(png, "tEXt"),
                std::vector<Bytes>{Join({Text("Comment"), {0}, Text("shot on a test")})});
      EXPECT_LT(Position(png, "eXIf"), Position(png, "IDAT"));
    };
  };
  const Bytes zText =
      Join({Text("Title"), {0, 0}, {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}});
  const Bytes time = {0x07, 0xEA, 12, 8, 4, 5, 6};
  const Bytes safe = Text("private and safe to copy");
  std::vector<Case> cases = {
      {"camera JPEG: EXIF turned upright, XMP joined, comments",
       L"camera.jpg",
       camera,
       {},
       cameraCheck(1)},
      {"camera JPEG kept as stored: its orientation stays",
       L"stored.jpg",
       camera,
       {L"--no-auto-orient"},
       cameraCheck(6)},
      {"camera JPEG stripped: nothing carried",
       L"stripped.jpg",
       camera,
       {L"--strip"},
       [](const testimg::DecodedPng& png) {
         EXPECT_EQ(png.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
       }},
      {"JPEG whose XMP extension lacks a piece",
       L"half.jpg",
       WithSegments(Photo(3, 3), {{0xE1, XmpSegment()}, ExtensionSegments(false)[0]}),
       {},
       [](const testimg::DecodedPng& png) {
         const std::vector<Bytes> xmp = Find(png, "iTXt");
         ASSERT_EQ(xmp.size(), 1u);
         EXPECT_TRUE(Contains(xmp[0], "main-title"));
       },
       true,
       L"extended XMP incomplete"},
      {"PNG text, EXIF, time and a safe private chunk, each in its place",
       L"text.png",
       WithChunks(RgbPng(),
                  {{"tEXt", Join({Text("parameters"), {0}, Text("steps: 20")})},
                   {"zTXt", zText},
                   {"iTXt", ITxt("Description", japanese)},
                   {"eXIf", Exif(3)},
                   {"prVt", safe}},
                  {{"tIME", time}}),
       {},
       [zText, time, safe](const testimg::DecodedPng& png) {
         EXPECT_EQ(png.chunks, (std::vector<std::string>{"IHDR", "tEXt", "zTXt", "iTXt", "eXIf",
                                                         "prVt", "IDAT", "tIME", "IEND"}));
         EXPECT_EQ(Find(png, "zTXt"), std::vector<Bytes>{zText});
         EXPECT_EQ(Find(png, "eXIf"), std::vector<Bytes>{Exif(3)});
         EXPECT_EQ(Find(png, "tIME"), std::vector<Bytes>{time});
         EXPECT_EQ(Find(png, "prVt"), std::vector<Bytes>{safe});
       }},
      {"PNG with a chunk not safe to copy",
       L"unsafe.png",
       WithChunks(RgbPng(), {{"tEXt", Join({Text("a"), {0}, Text("b")})}, {"prVT", safe}}, {}),
       {},
       [](const testimg::DecodedPng& png) {
         EXPECT_EQ(Position(png, "prVT"), png.chunks.size());
         EXPECT_EQ(Find(png, "tEXt").size(), 1u);
       },
       true,
       L"chunk 'prVT' is not safe to copy"},
      {"PNG with a text too large to carry",
       L"large.png",
       WithChunks(RgbPng(), {{"tEXt", Join({Text("big"), {0}, Bytes(9u << 20, 'x')})}}, {}),
       {},
       [](const testimg::DecodedPng& png) { EXPECT_EQ(Find(png, "tEXt").size(), 0u); },
       true,
       L"'tEXt' too large to carry"},
  };
  const std::vector<FrameSpec> frames = {
      {0, 0, 6, 4, 1, 10, 0, 0}, {2, 1, 3, 2, 5, 100, 1, 1}, {0, 3, 6, 1, 0, 0, 2, 0}};
  for (bool defaultIsFrame : {true, false}) {
    const Bytes apng = MakeApng(frames, defaultIsFrame, 3, 4);
    auto check = [frames, defaultIsFrame](const testimg::DecodedPng& png) {
      Bytes actl;
      PutBe32(actl, 3);
      PutBe32(actl, 4);
      EXPECT_EQ(Find(png, "acTL"), std::vector<Bytes>{actl});
      std::vector<Bytes> controls;
      uint32_t sequence = 0;
      for (const FrameSpec& f : frames) {
        controls.push_back(FrameControl(sequence, f));
        // One IDAT or fdAT chunk follows each small frame's fcTL.
        sequence += &f == &frames[0] && defaultIsFrame ? 1 : 2;
      }
      EXPECT_EQ(Find(png, "fcTL"), controls);
      EXPECT_EQ(Find(png, "fdAT").size(), defaultIsFrame ? 2u : 3u);
      EXPECT_LT(Position(png, "acTL"), Position(png, "IDAT"));
      EXPECT_EQ(Position(png, "fcTL") < Position(png, "IDAT"), defaultIsFrame);
    };
    cases.push_back({defaultIsFrame ? "animated PNG, its default image the first frame"
                                    : "animated PNG, its default image apart",
                     L"anim.png",
                     apng,
                     {},
                     check,
                     false,
                     L"",
                     true});
    cases.push_back({"animated PNG written as 24-bit frames",
                     L"anim24.png",
                     apng,
                     {L"--24bit", L"--interlace"},
                     [check](const testimg::DecodedPng& png) {
                       check(png);
                       EXPECT_EQ(png.colorType, 2);
                       EXPECT_EQ(png.interlace, 1);
                     }});
  }
  // Reduced, every frame takes the one smallest kind that holds them all: grey for grey frames;
  // RGB when a later frame is not grey, though the default image is.
  for (const auto& reduced :
       {std::make_pair(std::vector<Look>(3, Look::kGrey), 0),
        std::make_pair(std::vector<Look>{Look::kGrey, Look::kGrey, Look::kOpaqueColour}, 2)}) {
    const int colorType = reduced.second;
    cases.push_back({colorType == 0 ? "animated PNG of grey frames, reduced"
                                    : "animated PNG, grey but for its last frame, reduced",
                     L"reduced.png",
                     MakeApng(frames, true, 3, 4, reduced.first),
                     {L"--reduce"},
                     [colorType](const testimg::DecodedPng& png) {
                       EXPECT_EQ(png.colorType, colorType);
                       EXPECT_EQ(Find(png, "fdAT").size(), 2u);
                     },
                     false,
                     L"",
                     true});
  }
  cases.push_back(
      {"animated PNG missing a frame",
       L"short.png",
       MakeApng(frames, true, 4, 0),
       {},
       [](const testimg::DecodedPng& png) { EXPECT_EQ(Position(png, "acTL"), png.chunks.size()); },
       true,
       L"animation (frames missing)"});
  // Animations whose frame data is damaged (a wrong CRC, a sequence number out of order): only
  // the default image is written, the row says why and the source stays.
  Bytes badCrc = MakeApng(frames, true, 3, 4);
  testimg::BreakChunkCrc(badCrc, "fdAT");
  cases.push_back(
      {"animated PNG whose frame data has a wrong CRC",
       L"crc.png",
       badCrc,
       {},
       [](const testimg::DecodedPng& png) { EXPECT_EQ(Position(png, "acTL"), png.chunks.size()); },
       true,
       L"animation (a damaged chunk)"});
  cases.push_back(
      {"animated PNG whose frame data is out of order",
       L"order.png",
       WithFrameData(MakeApng(frames, true, 3, 4),
                     [](Bytes& data) { data[3] = static_cast<uint8_t>(data[3] + 5); }),
       {},
       [](const testimg::DecodedPng& png) { EXPECT_EQ(Position(png, "acTL"), png.chunks.size()); },
       true,
       L"animation (invalid frame data)"});
  // A frame whose data ends early is found only as the frames are written: nothing is written.
  for (const std::vector<std::wstring>& options :
       {std::vector<std::wstring>{}, std::vector<std::wstring>{L"--reduce"}}) {
    cases.push_back({"animated PNG whose last frame's data ends early", L"cut.png",
                     WithFrameData(MakeApng(frames, true, 3, 4),
                                   [](Bytes& data) { data.resize(data.size() - 6); }),
                     options, [](const testimg::DecodedPng&) {}, true, L"", false,
                     L"animation not carried: frame 2 is damaged"});
  }
  // Animations whose frame controls cannot be trusted: only the default image is written.
  const std::vector<FrameSpec> outside = {frames[0], {4, 1, 3, 2, 1, 10, 0, 0}};
  const std::vector<FrameSpec> tall = {frames[0], {0, 0, 6, 5, 1, 10, 0, 0}};
  for (const Bytes& damaged :
       {MakeApng(outside, true, 2, 0), MakeApng(tall, false, 2, 0), MakeApng(frames, true, 2, 0)}) {
    cases.push_back({"animated PNG whose frame controls are out of range",
                     L"range.png",
                     damaged,
                     {},
                     [](const testimg::DecodedPng& png) {
                       EXPECT_EQ(Position(png, "fcTL"), png.chunks.size());
                     },
                     true,
                     L"animation (an invalid frame control)"});
  }
  // An animated GIF and an animated WebP: every frame arrives, so the source may go.
  testimg::GifRecipe gif;
  gif.width = 6;
  gif.height = 4;
  gif.loops = 2;
  gif.globalMap = {{0, 0, 0, 255}, {250, 0, 0, 255}, {0, 250, 0, 255}, {0, 0, 250, 255}};
  // Their placements in the PNG: a transparent index blends over; disposal 2 and 3 are
  // background and previous.
  const std::vector<FrameSpec> gifFrames = {
      {0, 0, 6, 4, 10, 100, 0, 0}, {1, 1, 3, 2, 25, 100, 1, 1}, {2, 0, 4, 4, 0, 100, 2, 0}};
  for (const FrameSpec& f : gifFrames) {
    testimg::GifFrame frame;
    frame.left = f.x;
    frame.top = f.y;
    frame.width = f.width;
    frame.height = f.height;
    for (int i = 0; i < f.width * f.height; ++i) {
      frame.indices.push_back(static_cast<uint8_t>((i + f.x) % 4));
    }
    gif.frames.push_back(frame);
  }
  gif.frames[0].delay = 10;
  gif.frames[1].transparent = 1;
  gif.frames[1].disposal = 2;
  gif.frames[1].delay = 25;
  gif.frames[2].disposal = 3;
  gif.frames[2].delay = 0;
  gif.frames[2].localMap = {{9, 9, 9, 255}, {90, 90, 90, 255}, {190, 0, 0, 255}, {1, 2, 3, 255}};
  // A WebP's frames are the parts of its canvases that change.
  testimg::WebpRecipe webp;
  webp.frames.assign(3, testimg::NoisePicture(6, 4, false, 20));
  for (int f = 1; f < 3; ++f) {
    for (int y = 1; y < 3; ++y) {
      webp.frames[f].at(1, y) = webp.frames[f].at(2, y) = testimg::Rgba{1, 2, 3, 255};
    }
  }
  webp.frames[2].at(5, 3) = testimg::Rgba{9, 9, 9, 255};
  webp.durations = {30, 60, 90};
  auto animation = [](uint32_t loops, const std::vector<FrameSpec>& specs) {
    return [loops, specs](const testimg::DecodedPng& png) {
      Bytes actl;
      PutBe32(actl, 3);
      PutBe32(actl, loops);
      EXPECT_EQ(Find(png, "acTL"), std::vector<Bytes>{actl});
      EXPECT_EQ(Find(png, "fcTL"),
                (std::vector<Bytes>{FrameControl(0, specs[0]), FrameControl(1, specs[1]),
                                    FrameControl(3, specs[2])}));
      EXPECT_EQ(Find(png, "fdAT").size(), 2u);
      EXPECT_EQ(png.colorType, 6);
    };
  };
  cases.push_back(
      {"animated GIF", L"anim.gif", testimg::MakeGif(gif), {}, animation(3, gifFrames)});
  cases.push_back({"animated WebP",
                   L"anim.webp",
                   testimg::MakeWebp(webp),
                   {},
                   animation(0, {{0, 0, 6, 4, 30, 1000, 0, 0},
                                 {1, 1, 2, 2, 60, 1000, 0, 0},
                                 {5, 3, 1, 1, 90, 1000, 0, 0}})});
  Bytes damaged = testimg::MakeGif(gif);
  damaged.resize(damaged.size() - 6);  // into the last frame's data
  cases.push_back(
      {"animated GIF with a damaged frame",
       L"damaged.gif",
       damaged,
       {},
       [](const testimg::DecodedPng& png) { EXPECT_EQ(Position(png, "acTL"), png.chunks.size()); },
       true,
       L"first frame of 3"});
  // A WebP whose last frame's lossless data is garbled past its header.
  testimg::WebpRecipe noise;
  for (int f = 0; f < 3; ++f) {
    noise.frames.push_back(testimg::NoisePicture(6, 4, false, 30 + f));
  }
  Bytes garbled = testimg::MakeWebp(noise);
  const std::string vp8l = "VP8L";
  const auto last = std::find_end(garbled.begin(), garbled.end(), vp8l.begin(), vp8l.end());
  std::fill(last + 8 + 5, garbled.end(), 0xFF);
  cases.push_back(
      {"animated WebP with a damaged frame",
       L"damaged.webp",
       garbled,
       {},
       [](const testimg::DecodedPng& png) { EXPECT_EQ(Position(png, "acTL"), png.chunks.size()); },
       true,
       L"first frame of 3"});
  // A palette PNG's background and significant bits, stated again for each kind written.
  for (const std::vector<std::wstring>& options :
       {std::vector<std::wstring>{}, std::vector<std::wstring>{L"--24bit"},
        std::vector<std::wstring>{L"--reduce"}}) {
    cases.push_back({"palette PNG background and significant bits", L"palette.png",
                     WithChunks(PalettePng(), {{"bKGD", {2}}}, {}), options,
                     [](const testimg::DecodedPng& png) {
                       EXPECT_EQ(Background(png), (testimg::Rgba{10, 200, 30, 255}));
                       const std::vector<Bytes> bits = Find(png, "sBIT");
                       ASSERT_EQ(bits.size(), 1u);
                       EXPECT_EQ(bits[0], (png.colorType == 0 ? Bytes{6} : Bytes{5, 6, 5}));
                       if (png.colorType == 3) {
                         EXPECT_LT(Position(png, "sBIT"), Position(png, "PLTE"));
                         EXPECT_LT(Position(png, "PLTE"), Position(png, "bKGD"));
                       }
                       EXPECT_LT(Position(png, "bKGD"), Position(png, "IDAT"));
                     }});
  }
  // A 16-bit TIFF with EXIF and XMP: all of it arrives, so the source may go.
  {
    testimg::TiffRecipe tiff;
    tiff.width = 6;
    tiff.height = 4;
    tiff.bitsPerSample = 16;
    tiff.orientation = 8;
    for (int i = 0; i < 72; ++i) {
      tiff.samples.push_back(static_cast<uint16_t>(i * 911 + 3));
    }
    tiff.make = "Test Camera";
    tiff.dateTaken = "2026:12:08 07:40:00";
    tiff.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" + kRdf + "</rdf:RDF></x:xmpmeta>";
    cases.push_back({"16-bit TIFF with EXIF and XMP",
                     L"deep.tif",
                     testimg::MakeTiff(tiff),
                     {},
                     [](const testimg::DecodedPng& png) {
                       EXPECT_EQ(png.bitDepth, 16);
                       EXPECT_EQ(png.colorType, 2);
                       EXPECT_EQ(png.width, 4u);  // turned upright
                       const std::vector<Bytes> exif = Find(png, "eXIf");
                       ASSERT_EQ(exif.size(), 1u);
                       EXPECT_TRUE(Contains(exif[0], "2026:12:08 07:40:00"));
                       EXPECT_EQ(Find(png, "iTXt").size(), 1u);
                     }});
  }
  // A 16-bit CMYK TIFF, a palette TIFF whose colour map is not 8-bit, and a BigTIFF with EXIF:
  // all of each arrives, so the source may go.
  {
    testimg::TiffRecipe cmyk = testimg::TiffLayout(6, 4, 4, 16, 5, 1, -1, 1, 0);
    for (int i = 0; i < 96; ++i) {
      cmyk.samples.push_back(static_cast<uint16_t>(i * 677 + 5));
    }
    testimg::TiffRecipe palette = testimg::TiffLayout(6, 4, 1, 2, 3, 1, -1, 1, 0);
    for (int i = 0; i < 24; ++i) {
      palette.samples.push_back(static_cast<uint16_t>(i % 4));
    }
    palette.colourMap = {1, 300, 40000, 65535, 2, 301, 40001, 65534, 3, 302, 40002, 0};
    testimg::TiffRecipe big = testimg::TiffLayout(6, 4, 3, 8, 2, 1, -1, 1, 0);
    big.samples.assign(72, 90);
    big.bigTiff = true;
    big.dateTaken = "2026:12:08 07:45:00";
    auto deepRgb = [](const testimg::DecodedPng& png) {
      EXPECT_EQ(png.bitDepth, 16);
      EXPECT_EQ(png.colorType, 2);
    };
    cases.push_back({"16-bit CMYK TIFF", L"inks.tif", testimg::MakeTiff(cmyk), {}, deepRgb});
    cases.push_back({"palette TIFF with a 16-bit colour map",
                     L"map.tif",
                     testimg::MakeTiff(palette),
                     {},
                     deepRgb});
    cases.push_back({"BigTIFF with EXIF",
                     L"big.tif",
                     testimg::MakeTiff(big),
                     {},
                     [](const testimg::DecodedPng& png) {
                       const std::vector<Bytes> exif = Find(png, "eXIf");
                       ASSERT_EQ(exif.size(), 1u);
                       EXPECT_TRUE(Contains(exif[0], "2026:12:08 07:45:00"));
                     }});
  }
  // A colour key (a grey or RGB tRNS) keeps its transparency, in whatever kind is written.
  for (int colorType : {0, 2}) {
    for (int depth : {8, 16}) {
      testimg::PngRecipe recipe;
      recipe.width = 5;
      recipe.height = 3;
      recipe.colorType = colorType;
      recipe.bitDepth = depth;
      const int channels = colorType == 0 ? 1 : 3;
      for (int i = 0; i < 15; ++i) {
        // Every third pixel shows the key colour; the others differ from it.
        const uint16_t v = static_cast<uint16_t>(i % 3 == 0 ? 7 : 1000 + i * 40);
        for (int k = 0; k < channels; ++k) {
          recipe.samples.push_back(static_cast<uint16_t>(depth == 8 ? v % 251 : v * 61 + k));
        }
      }
      recipe.transparentColour = true;
      std::copy(recipe.samples.begin(), recipe.samples.begin() + channels, recipe.transparent);
      const Bytes source = testimg::MakePng(recipe);
      const testimg::Picture shown = testimg::DecodePng(source).picture;
      for (const std::vector<std::wstring>& options :
           {std::vector<std::wstring>{}, std::vector<std::wstring>{L"--reduce"}}) {
        cases.push_back(
            {"colour key", L"key.png", source, options, [shown](const testimg::DecodedPng& png) {
               EXPECT_EQ(shown.pixels.front().a, 0);
               EXPECT_EQ(testimg::Difference(shown, png.picture), "");
             }});
      }
    }
  }
  // sBIT comes before PLTE in the source.
  for (Case& c : cases) {
    if (c.name == L"palette.png") {
      Bytes& png = c.source;
      const Bytes sbit = ChunkBytes("sBIT", {5, 6, 5});
      png.insert(png.begin() + 8 + 25, sbit.begin(), sbit.end());
    }
  }
  return cases;
}

// `image` in a 32-bit store: what its pixels show, whatever kind a PNG gave them.
Bitmap Bgra(const Bitmap& image) {
  Bitmap copy;
  EXPECT_TRUE(copy.Create(image.Width(), image.Height(), 32));
  EXPECT_TRUE(Bitmap::CopyRect(BitmapRect{0, 0, image.Width(), image.Height()}, copy, image));
  return copy;
}

// The frames of an animated PNG's bytes, each placement and pixels, one after another.
void ExpectSameFrames(const Bytes& source, const Bytes& written) {
  auto open = [](const Bytes& bytes, Bitmap& image) {
    kiv::File stream;
    Bytes copy = bytes;
    stream.AttachVector(copy);
    ImageMetadata notes;
    std::unique_ptr<AnimationSource> frames = ReadApngFrames(stream, notes);
    EXPECT_TRUE(image.LoadFromMemory(bytes));
    return frames;
  };
  Bitmap sourceImage;
  Bitmap writtenImage;
  std::unique_ptr<AnimationSource> from = open(source, sourceImage);
  std::unique_ptr<AnimationSource> to = open(written, writtenImage);
  ASSERT_TRUE(from != nullptr && to != nullptr);
  EXPECT_EQ(Bgra(writtenImage).Pixels(), Bgra(sourceImage).Pixels());
  ASSERT_EQ(to->Info().frameCount, from->Info().frameCount);
  for (uint32_t i = 0; i < from->Info().frameCount; ++i) {
    AnimationFrame a;
    AnimationFrame b;
    Bitmap pixelsA;
    Bitmap pixelsB;
    ASSERT_TRUE(from->Frame(i, a, &pixelsA));
    ASSERT_TRUE(to->Frame(i, b, &pixelsB)) << to->Error();
    EXPECT_EQ(Bgra(pixelsB).Pixels(), Bgra(pixelsA).Pixels()) << "frame " << i;
    EXPECT_EQ(std::make_tuple(b.x, b.y, b.width, b.height, b.dispose, b.blend),
              std::make_tuple(a.x, a.y, a.width, a.height, a.dispose, a.blend));
  }
}

struct Outcome {
  int status = 0;
  RecordingTerminal terminal;
};

void RunCli(std::vector<std::wstring> arguments, Outcome& outcome) {
  arguments.insert(arguments.begin(), L"--json");
  outcome.status = cli::Run(arguments, outcome.terminal, L"");
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring all;
  for (const std::wstring& line : lines) {
    all += line + L"\n";
  }
  return all;
}

}  // namespace

TEST(CliCarried, EverySourceKeepsWhatItsPngCanHold) {
  testimg::TempDir dir;
  int n = 0;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    const std::wstring folder = dir / std::to_wstring(n++);
    kiv::MakeDirectory(folder);
    const std::wstring png = kiv::RenameExtension(c.name, L".png");

    // Elsewhere, then elsewhere deleting the source.
    for (bool remove : {false, true}) {
      SCOPED_TRACE(remove ? "--delete-source" : "-o");
      const std::wstring in = kiv::AddSeparator(folder) + (remove ? L"d" : L"k");
      const std::wstring out = in + L"-out";
      kiv::MakeDirectory(in);
      const std::wstring source = kiv::AddSeparator(in) + c.name;
      ASSERT_TRUE(testimg::WriteFileBytes(source, c.source));
      std::vector<std::wstring> arguments = c.options;
      if (remove) {
        arguments.push_back(L"--delete-source");
      }
      arguments.insert(arguments.end(), {L"-o", out, source});
      Outcome run;
      RunCli(arguments, run);
      if (!c.reason.empty()) {
        EXPECT_EQ(run.status, cli::kExitFailures);
        EXPECT_TRUE(run.terminal.Shows(run.terminal.out, L"\"reason\":\"" + c.reason));
        EXPECT_FALSE(kiv::FileExists(kiv::AddSeparator(out) + png));
        EXPECT_EQ(testimg::ReadFileBytes(source), c.source);
        continue;
      }
      EXPECT_EQ(run.status, cli::kExitConverted) << kiv::WideToUtf8(Joined(run.terminal.errors));
      const testimg::DecodedPng written =
          testimg::DecodePng(testimg::ReadFileBytes(kiv::AddSeparator(out) + png));
      ASSERT_TRUE(written.ok);
      c.check(written);
      if (c.sameFrames) {
        ExpectSameFrames(c.source, testimg::ReadFileBytes(kiv::AddSeparator(out) + png));
      }
      EXPECT_EQ(kiv::FileExists(source), !remove || c.keep);
      if (c.keep) {
        EXPECT_TRUE(run.terminal.Shows(run.terminal.out, L"\"warning\":\"" + c.warning));
      }
    }

    // In place: a PNG replaces its source, a JPEG's PNG goes beside it and the JPEG is deleted.
    const std::wstring in = kiv::AddSeparator(folder) + L"p";
    kiv::MakeDirectory(in);
    const std::wstring source = kiv::AddSeparator(in) + c.name;
    ASSERT_TRUE(testimg::WriteFileBytes(source, c.source));
    std::vector<std::wstring> arguments = c.options;
    arguments.insert(arguments.end(), {L"--delete-source", source});
    Outcome run;
    RunCli(arguments, run);
    const bool replaces = png == c.name;
    if (c.keep && replaces) {
      EXPECT_EQ(run.status, cli::kExitFailures);
      EXPECT_EQ(testimg::ReadFileBytes(source), c.source);
      EXPECT_TRUE(run.terminal.Shows(run.terminal.out, c.reason.empty() ? c.warning : c.reason));
      continue;
    }
    EXPECT_EQ(run.status, cli::kExitConverted) << kiv::WideToUtf8(Joined(run.terminal.errors));
    const testimg::DecodedPng written =
        testimg::DecodePng(testimg::ReadFileBytes(kiv::AddSeparator(in) + png));
    ASSERT_TRUE(written.ok);
    c.check(written);
    if (!replaces) {
      EXPECT_EQ(kiv::FileExists(source), c.keep);
    }
  }
}
