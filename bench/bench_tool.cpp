// Helper of bench/run: makes the benchmark corpus and checks converted files.
//
//   bench_tool corpus DIR        writes DIR/large (photographic-style JPEG, 24-bit BMP and
//                                RGBA PNG of a few megapixels) and DIR/icons (2000 small ones)
//   bench_tool verify SRC OUT    checks that every source in SRC has OUT/<name>.png holding
//                                exactly the source's pixels; prints one summary line
//   bench_tool single DIR        writes DIR/camera.jpg, one photographic-style JPEG of 24
//                                megapixels, as a camera makes them
//   bench_tool largest SRC       prints the largest pixel store of the sources, in bytes
//   bench_tool screens DIR       writes DIR: 24 screenshots and diagrams (window-like 24-bit
//                                BMPs, plots as RGB PNGs, icons as RGBA PNGs)
//
// Built by bench/run with the system's g++, libpng and libjpeg; not part of the program.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it uses FILE
#include <png.h>

namespace {

struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;  // 3 RGB or 4 RGBA, top row first
  std::vector<uint8_t> pixels;
};

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 12345) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  double Unit() { return (Next() & 0xffffff) / double(0x1000000); }

 private:
  uint32_t state_;
};

uint8_t Clamp(double v) {
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v + 0.5);
}

// Smooth gradients, soft shapes and a little grain, like a photograph.
Image Photo(int width, int height, int channels, uint32_t seed) {
  Random random(seed);
  Image image{width, height, channels, std::vector<uint8_t>(size_t(width) * height * channels)};
  double base[3][3];
  for (auto& row : base) {
    for (double& v : row) {
      v = random.Unit() * 255;
    }
  }
  struct Shape {
    double x, y, r, colour[3], alpha;
    bool round;
  };
  std::vector<Shape> shapes(24);
  for (Shape& s : shapes) {
    s = {random.Unit() * width,
         random.Unit() * height,
         (0.03 + random.Unit() * 0.2) * width,
         {random.Unit() * 255, random.Unit() * 255, random.Unit() * 255},
         0.3 + random.Unit() * 0.6,
         random.Next() % 2 == 0};
  }
  for (int y = 0; y < height; ++y) {
    const double fy = double(y) / height;
    for (int x = 0; x < width; ++x) {
      const double fx = double(x) / width;
      double c[3];
      for (int k = 0; k < 3; ++k) {
        c[k] = base[0][k] * (1 - fx) * (1 - fy) + base[1][k] * fx * (1 - fy) + base[2][k] * fy +
               18 * std::sin(fx * 9 + k) * std::cos(fy * 7 - k);
      }
      for (const Shape& s : shapes) {
        const double dx = x - s.x, dy = y - s.y;
        const double d =
            s.round ? std::sqrt(dx * dx + dy * dy) : std::max(std::fabs(dx), std::fabs(dy));
        if (d < s.r) {
          const double a = s.alpha * std::min(1.0, (s.r - d) / (0.05 * s.r + 1));
          for (int k = 0; k < 3; ++k) {
            c[k] = c[k] * (1 - a) + s.colour[k] * a;
          }
        }
      }
      uint8_t* p = &image.pixels[(size_t(y) * width + x) * channels];
      const double grain = (random.Unit() - 0.5) * 10;
      for (int k = 0; k < 3; ++k) {
        p[k] = Clamp(c[k] + grain);
      }
      if (channels == 4) {
        const double edge = std::min(std::min(fx, 1 - fx), std::min(fy, 1 - fy));
        p[3] = Clamp(edge < 0.1 ? edge * 2550 : 255);
      }
    }
  }
  return image;
}

// A small icon: a rounded shape on a transparent (or flat) ground.
Image Icon(int size, int channels, uint32_t seed) {
  Random random(seed);
  Image image{size, size, channels, std::vector<uint8_t>(size_t(size) * size * channels)};
  const double r = size * (0.3 + random.Unit() * 0.18);
  const double c0[3] = {random.Unit() * 255, random.Unit() * 255, random.Unit() * 255};
  const double c1[3] = {random.Unit() * 255, random.Unit() * 255, random.Unit() * 255};
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double dx = x + 0.5 - size / 2.0, dy = y + 0.5 - size / 2.0;
      const double d = std::sqrt(dx * dx + dy * dy);
      const double t = double(y) / size;
      const double inside = std::min(1.0, std::max(0.0, r - d + 0.5));
      uint8_t* p = &image.pixels[(size_t(y) * size + x) * channels];
      for (int k = 0; k < 3; ++k) {
        const double colour = c0[k] * (1 - t) + c1[k] * t;
        p[k] = channels == 4 ? Clamp(inside > 0 ? colour : 0)
                             : Clamp(colour * inside + 240 * (1 - inside));
      }
      if (channels == 4) {
        p[3] = Clamp(inside * 255);
      }
    }
  }
  return image;
}

bool WriteBmp(const std::string& path, const Image& image) {
  const uint32_t stride = (image.width * 3 + 3) & ~3u;
  const uint32_t dataSize = stride * image.height;
  std::vector<uint8_t> file(54 + dataSize);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      file[at + i] = uint8_t(v >> (8 * i));
    }
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, image.width);
  put32(22, image.height);
  file[26] = 1;
  file[28] = 24;
  put32(34, dataSize);
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* src = &image.pixels[size_t(image.height - 1 - y) * image.width * image.channels];
    uint8_t* dst = &file[54 + size_t(y) * stride];
    for (int x = 0; x < image.width; ++x) {
      dst[x * 3] = src[x * image.channels + 2];
      dst[x * 3 + 1] = src[x * image.channels + 1];
      dst[x * 3 + 2] = src[x * image.channels];
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    return false;
  }
  const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return std::fclose(f) == 0 && ok;
}

bool WritePng(const std::string& path, const Image& image) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_compression_level(png, 3);
  png_set_IHDR(png, info, image.width, image.height, 8,
               image.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) {
    png_write_row(png, &image.pixels[size_t(y) * image.width * image.channels]);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool WriteJpeg(const std::string& path, const Image& image, int quality) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    return false;
  }
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = image.width;
  cinfo.image_height = image.height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(size_t(image.width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* src = &image.pixels[size_t(cinfo.next_scanline) * image.width * image.channels];
    for (int x = 0; x < image.width; ++x) {
      std::memcpy(&row[x * 3], &src[x * image.channels], 3);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(f) == 0;
}

// ---- reading, for the check ----

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    return false;
  }
  std::fseek(f, 0, SEEK_END);
  bytes.resize(std::ftell(f));
  std::fseek(f, 0, SEEK_SET);
  const bool ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  return ok;
}

// Every image as 8-bit RGBA, top row first.
bool ReadPngRgba(const std::string& path, Image& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  out = Image{int(image.width), int(image.height), 4, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

bool ReadBmpRgba(const std::string& path, Image& out) {
  std::vector<uint8_t> b;
  if (!ReadFile(path, b) || b.size() < 54 || b[0] != 'B' || b[28] != 24) {
    return false;
  }
  auto get32 = [&](size_t at) {
    return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
  };
  const int width = int(get32(18)), height = int(get32(22));
  const uint32_t offset = get32(10), stride = (width * 3 + 3) & ~3u;
  if (b.size() < offset + size_t(stride) * height) {
    return false;
  }
  out = Image{width, height, 4, std::vector<uint8_t>(size_t(width) * height * 4)};
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = &b[offset + size_t(height - 1 - y) * stride];
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &out.pixels[(size_t(y) * width + x) * 4];
      p[0] = src[x * 3 + 2];
      p[1] = src[x * 3 + 1];
      p[2] = src[x * 3];
      p[3] = 255;
    }
  }
  return true;
}

struct JpegError {
  jpeg_error_mgr base;
  jmp_buf jump;
};

bool ReadJpegRgba(const std::string& path, Image& out) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, bytes)) {
    return false;
  }
  jpeg_decompress_struct cinfo;
  JpegError error;
  cinfo.err = jpeg_std_error(&error.base);
  error.base.error_exit = [](j_common_ptr c) {
    longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
  };
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out = Image{int(cinfo.output_width), int(cinfo.output_height), 4,
              std::vector<uint8_t>(size_t(cinfo.output_width) * cinfo.output_height * 4)};
  std::vector<uint8_t> row(size_t(cinfo.output_width) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = cinfo.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (int x = 0; x < out.width; ++x) {
      uint8_t* p = &out.pixels[(size_t(y) * out.width + x) * 4];
      std::memcpy(p, &row[x * 3], 3);
      p[3] = 255;
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

std::string Extension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot);
}

std::string Stem(const std::string& name) {
  return name.substr(0, name.rfind('.'));
}

bool ReadSource(const std::string& path, Image& out) {
  const std::string ext = Extension(path);
  if (ext == ".bmp") {
    return ReadBmpRgba(path, out);
  }
  if (ext == ".png") {
    return ReadPngRgba(path, out);
  }
  return ReadJpegRgba(path, out);
}

std::vector<std::string> Sources(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      const std::string ext = Extension(name);
      if (ext == ".bmp" || ext == ".png" || ext == ".jpg") {
        names.push_back(name);
      }
    }
    closedir(dir);
  }
  return names;
}

int MakeCorpus(const std::string& root) {
  const std::string large = root + "/large", icons = root + "/icons";
  mkdir(root.c_str(), 0755);
  mkdir(large.c_str(), 0755);
  mkdir(icons.c_str(), 0755);
  bool ok = true;
  // Twelve photographs of about four megapixels: four of each kind.
  for (int i = 0; i < 4; ++i) {
    const int w = 2400 + 160 * i, h = 1600 + 96 * i;
    ok = ok && WriteJpeg(large + "/photo" + std::to_string(i) + ".jpg", Photo(w, h, 3, 10 + i), 90);
    ok = ok && WriteBmp(large + "/scan" + std::to_string(i) + ".bmp", Photo(w, h, 3, 20 + i));
    ok = ok && WritePng(large + "/layer" + std::to_string(i) + ".png", Photo(w, h, 4, 30 + i));
  }
  // Two thousand icons: RGBA PNGs, flat BMPs and JPEGs.
  for (int i = 0; i < 2000; ++i) {
    const std::string stem = icons + "/icon" + std::to_string(i);
    const int size = 16 << (i % 3);  // 16, 32, 64
    if (i % 10 < 6) {
      ok = ok && WritePng(stem + ".png", Icon(size, 4, 1000 + i));
    } else if (i % 10 < 9) {
      ok = ok && WriteBmp(stem + ".bmp", Icon(size, 3, 1000 + i));
    } else {
      ok = ok && WriteJpeg(stem + ".jpg", Icon(size, 3, 1000 + i), 92);
    }
  }
  if (!ok) {
    std::fprintf(stderr, "bench_tool: could not write the corpus in %s\n", root.c_str());
    return 1;
  }
  return 0;
}

void FillRect(Image& image, int x0, int y0, int x1, int y1, const uint8_t* colour) {
  for (int y = std::max(0, y0); y < std::min(image.height, y1); ++y) {
    for (int x = std::max(0, x0); x < std::min(image.width, x1); ++x) {
      std::memcpy(&image.pixels[(size_t(y) * image.width + x) * image.channels], colour,
                  image.channels);
    }
  }
}

// A dialog-like window: panels, framed buttons, lines of glyph-like marks; `smooth` gives the
// marks shaded edges and the title bar a gradient, as anti-aliased text and themes do.
Image Window(int width, int height, uint32_t seed, bool smooth) {
  Random random(seed);
  Image image{width, height, 3, std::vector<uint8_t>(size_t(width) * height * 3, 240)};
  for (int x = 0; x < width; ++x) {
    const uint8_t shade = smooth ? uint8_t(40 + 120 * x / width) : 60;
    const uint8_t bar[3] = {shade, uint8_t(shade + 30), 200};
    FillRect(image, x, 0, x + 1, 30, bar);
  }
  for (int panel = 0; panel < 6; ++panel) {
    const int x = int(random.Unit() * width * 0.7), y = 40 + int(random.Unit() * height * 0.6);
    const int w = 80 + int(random.Unit() * width * 0.3), h = 24 + int(random.Unit() * 200);
    const uint8_t frame[3] = {160, 160, 160};
    const uint8_t fill[3] = {uint8_t(200 + random.Next() % 50), uint8_t(200 + random.Next() % 50),
                             255};
    FillRect(image, x - 1, y - 1, x + w + 1, y + h + 1, frame);
    FillRect(image, x, y, x + w, y + h, fill);
  }
  for (int line = 0; line < height / 18; ++line) {
    const int y = 40 + line * 18;
    int x = 12 + int(random.Next() % 40);
    const int end = x + int(random.Unit() * width * 0.8);
    while (x < end && x < width - 8) {
      const int glyph = 4 + int(random.Next() % 5);
      for (int gy = 0; gy < 10; ++gy) {
        for (int gx = 0; gx < glyph; ++gx) {
          if (((gx * 7 + gy * 3 + x) ^ (gy * gx)) % 3 != 0) {
            continue;
          }
          const uint8_t ink = smooth ? uint8_t(20 + (gx + gy) % 4 * 50) : 20;
          const uint8_t colour[3] = {ink, ink, ink};
          FillRect(image, x + gx, y + gy, x + gx + 1, y + gy + 1, colour);
        }
      }
      x += glyph + 2 + (random.Next() % 6 == 0 ? 6 : 0);
    }
  }
  return image;
}

// A line plot: white ground, grid, axes, a few coloured series with square markers.
Image Plot(int width, int height, uint32_t seed) {
  Random random(seed);
  Image image{width, height, 3, std::vector<uint8_t>(size_t(width) * height * 3, 255)};
  const uint8_t grid[3] = {225, 225, 225};
  const uint8_t axis[3] = {0, 0, 0};
  for (int x = 60; x < width; x += 80) {
    FillRect(image, x, 20, x + 1, height - 40, grid);
  }
  for (int y = 20; y < height - 40; y += 60) {
    FillRect(image, 60, y, width - 20, y + 1, grid);
  }
  FillRect(image, 58, 20, 60, height - 40, axis);
  FillRect(image, 58, height - 42, width - 20, height - 40, axis);
  const uint8_t series[4][3] = {{31, 119, 180}, {255, 127, 14}, {44, 160, 44}, {214, 39, 40}};
  for (const auto& colour : series) {
    double value = height / 2.0, phase = random.Unit() * 6;
    for (int x = 61; x < width - 20; ++x) {
      value = height / 2.0 + std::sin(x / 50.0 + phase) * height / 4 + (random.Unit() - 0.5) * 8;
      const int y = std::min(height - 43, std::max(21, int(value)));
      FillRect(image, x, y - 1, x + 1, y + 1, colour);
      if (x % 40 == 0) {
        FillRect(image, x - 3, y - 3, x + 4, y + 4, colour);
      }
    }
  }
  return image;
}

// An icon of flat shapes on a transparent ground; `smooth` shades the edges' alpha.
Image FlatIcon(int size, uint32_t seed, bool smooth) {
  Random random(seed);
  Image image{size, size, 4, std::vector<uint8_t>(size_t(size) * size * 4, 0)};
  for (int shape = 0; shape < 4; ++shape) {
    const double cx = size * (0.25 + random.Unit() * 0.5), cy = size * (0.25 + random.Unit() * 0.5);
    const double r = size * (0.1 + random.Unit() * 0.25);
    const uint8_t colour[3] = {uint8_t(random.Next()), uint8_t(random.Next()),
                               uint8_t(random.Next())};
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
        const double cover = smooth ? std::min(1.0, std::max(0.0, r - d)) : (d < r ? 1 : 0);
        if (cover <= 0) {
          continue;
        }
        uint8_t* p = &image.pixels[(size_t(y) * size + x) * 4];
        std::memcpy(p, colour, 3);
        p[3] = std::max(p[3], Clamp(cover * 255));
      }
    }
  }
  return image;
}

int MakeScreens(const std::string& root) {
  mkdir(root.c_str(), 0755);
  bool ok = true;
  for (int i = 0; i < 8; ++i) {
    const std::string n = std::to_string(i);
    ok = ok && WriteBmp(root + "/window" + n + ".bmp",
                        Window(1024 + 64 * i, 700 + 20 * i, 50 + i, i % 2 == 1));
    ok = ok && WritePng(root + "/plot" + n + ".png", Plot(900 + 40 * i, 600, 60 + i));
    ok = ok && WritePng(root + "/icon" + n + ".png", FlatIcon(128 << (i % 2), 70 + i, i % 4 >= 2));
  }
  if (!ok) {
    std::fprintf(stderr, "bench_tool: could not write the screenshots in %s\n", root.c_str());
    return 1;
  }
  return 0;
}

int MakeSingle(const std::string& root) {
  mkdir(root.c_str(), 0755);
  if (!WriteJpeg(root + "/camera.jpg", Photo(6000, 4000, 3, 77), 92)) {
    std::fprintf(stderr, "bench_tool: could not write %s/camera.jpg\n", root.c_str());
    return 1;
  }
  return 0;
}

int Verify(const std::string& sources, const std::string& outputs) {
  int checked = 0, missing = 0, different = 0;
  std::string firstProblem;
  for (const std::string& name : Sources(sources)) {
    Image source, output;
    if (!ReadSource(sources + "/" + name, source)) {
      std::fprintf(stderr, "bench_tool: cannot read source %s\n", name.c_str());
      return 2;
    }
    const std::string out = outputs + "/" + Stem(name) + ".png";
    ++checked;
    if (!ReadPngRgba(out, output)) {
      ++missing;
      if (firstProblem.empty()) {
        firstProblem = "missing or unreadable " + out;
      }
      continue;
    }
    if (output.width != source.width || output.height != source.height ||
        output.pixels != source.pixels) {
      ++different;
      if (firstProblem.empty()) {
        firstProblem = "pixels differ: " + out;
      }
    }
  }
  std::printf("%d checked, %d missing, %d different%s%s\n", checked, missing, different,
              firstProblem.empty() ? "" : "; first: ", firstProblem.c_str());
  return (missing == 0 && different == 0) ? 0 : 1;
}

int Largest(const std::string& folder) {
  uint64_t largest = 0;
  for (const std::string& name : Sources(folder)) {
    Image image;
    if (ReadSource(folder + "/" + name, image)) {
      // The engine keeps rows padded to four bytes: RGBA sources at 4 bytes a
      // pixel, the others at 3.
      const int bytes = Extension(name) == ".png" ? 4 : 3;
      const uint64_t stride = (uint64_t(image.width) * bytes + 3) & ~uint64_t(3);
      largest = std::max(largest, stride * image.height);
    }
  }
  std::printf("%llu\n", static_cast<unsigned long long>(largest));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "corpus" && argc == 3) {
    return MakeCorpus(argv[2]);
  }
  if (command == "single" && argc == 3) {
    return MakeSingle(argv[2]);
  }
  if (command == "screens" && argc == 3) {
    return MakeScreens(argv[2]);
  }
  if (command == "verify" && argc == 4) {
    return Verify(argv[2], argv[3]);
  }
  if (command == "largest" && argc == 3) {
    return Largest(argv[2]);
  }
  std::fprintf(stderr,
               "usage: bench_tool corpus DIR | single DIR | screens DIR | verify SRC OUT | "
               "largest SRC\n");
  return 2;
}
