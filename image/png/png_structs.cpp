#include "image/png/png_structs.h"

#include <cstring>

namespace {

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

void PngStructs::OnError(png_structp png, png_const_charp message) {
  auto* self = static_cast<PngStructs*>(png_get_error_ptr(png));
  if (self != nullptr && message != nullptr) {
    std::strncpy(self->error_, message, sizeof self->error_ - 1);
    self->error_[sizeof self->error_ - 1] = '\0';
  }
  png_longjmp(png, 1);
}

PngStructs::PngStructs(Kind kind) : kind_(kind) {
  png_ = kind == Kind::kRead
             ? png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, IgnoreWarning)
             : png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, IgnoreWarning);
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
