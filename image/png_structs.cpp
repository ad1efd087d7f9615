#include "image/png_structs.h"

namespace {

void SilentError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

PngStructs::PngStructs(Kind kind) : kind_(kind) {
  png_ = kind == Kind::kRead
             ? png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, IgnoreWarning)
             : png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, IgnoreWarning);
  if (png_ != nullptr) {
    info_ = png_create_info_struct(png_);
  }
}

PngStructs::~PngStructs() {
  if (png_ == nullptr) {
    return;
  }
  png_infopp info = info_ != nullptr ? &info_ : nullptr;
  if (kind_ == Kind::kRead) {
    png_destroy_read_struct(&png_, info, nullptr);
  } else {
    png_destroy_write_struct(&png_, info);
  }
}
