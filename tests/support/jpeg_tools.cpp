// Test support: JPEG files (grey, colour, CMYK with and without Adobe's marker, YCCK,
// progressive) made with libjpeg, and libjpeg as the reference decoder.
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>

#include "tests/support/image_makers.h"

namespace testimg {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
};

void JumpOnError(j_common_ptr cinfo) {
  longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void IgnoreMessage(j_common_ptr) {}

void InstallErrors(ErrorManager& errors) {
  jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpOnError;
  errors.base.output_message = IgnoreMessage;
}

int Components(JpegKind kind) {
  switch (kind) {
    case JpegKind::kGrey:
      return 1;
    case JpegKind::kColour:
      return 3;
    default:
      return 4;
  }
}

bool Compress(jpeg_compress_struct& cinfo, ErrorManager& errors, const JpegRecipe& recipe,
              unsigned char** buffer, unsigned long* size) {
  if (setjmp(errors.jump)) {
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = static_cast<JDIMENSION>(recipe.width);
  cinfo.image_height = static_cast<JDIMENSION>(recipe.height);
  cinfo.input_components = Components(recipe.kind);
  cinfo.in_color_space = recipe.kind == JpegKind::kGrey     ? JCS_GRAYSCALE
                         : recipe.kind == JpegKind::kColour ? JCS_RGB
                                                            : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  if (recipe.kind == JpegKind::kYcck) {
    jpeg_set_colorspace(&cinfo, JCS_YCCK);
  }
  if (recipe.kind == JpegKind::kCmykPlain) {
    cinfo.write_Adobe_marker = FALSE;
  }
  jpeg_set_quality(&cinfo, recipe.quality, TRUE);
  if (recipe.progressive) {
    jpeg_simple_progression(&cinfo);
  }
  if (recipe.densityUnit != 0) {
    cinfo.density_unit = static_cast<UINT8>(recipe.densityUnit);
    cinfo.X_density = static_cast<UINT16>(recipe.density[0]);
    cinfo.Y_density = static_cast<UINT16>(recipe.density[1]);
  }
  jpeg_start_compress(&cinfo, TRUE);
  if (!recipe.app1.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, recipe.app1.data(),
                      static_cast<unsigned int>(recipe.app1.size()));
  }
  if (!recipe.iccProfile.empty()) {
    jpeg_write_icc_profile(&cinfo, recipe.iccProfile.data(),
                           static_cast<unsigned int>(recipe.iccProfile.size()));
  }
  const size_t rowBytes = static_cast<size_t>(recipe.width) * cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(recipe.samples.data() + cinfo.next_scanline * rowBytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

bool Decompress(jpeg_decompress_struct& cinfo, ErrorManager& errors,
                const std::vector<uint8_t>& bytes, DecodedJpeg& result) {
  if (setjmp(errors.jump)) {
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  result.width = static_cast<int>(cinfo.output_width);
  result.height = static_cast<int>(cinfo.output_height);
  result.components = cinfo.output_components;
  result.adobe = cinfo.saw_Adobe_marker != 0;
  const size_t rowBytes = static_cast<size_t>(result.width) * result.components;
  result.samples.resize(rowBytes * result.height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = result.samples.data() + cinfo.output_scanline * rowBytes;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

std::vector<uint8_t> MakeJpeg(const JpegRecipe& recipe) {
  jpeg_compress_struct cinfo{};
  ErrorManager errors{};
  InstallErrors(errors);
  cinfo.err = &errors.base;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const bool ok = Compress(cinfo, errors, recipe, &buffer, &size);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out;
  if (ok && buffer != nullptr) {
    out.assign(buffer, buffer + size);
  }
  std::free(buffer);
  return out;
}

DecodedJpeg DecodeJpegReference(const std::vector<uint8_t>& bytes) {
  DecodedJpeg result;
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  InstallErrors(errors);
  cinfo.err = &errors.base;
  result.ok = Decompress(cinfo, errors, bytes, result);
  jpeg_destroy_decompress(&cinfo);
  return result;
}

}  // namespace testimg
