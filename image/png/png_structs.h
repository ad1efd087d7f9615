// The libpng structures of one PNG read or write, shared by the PNG reader and the PNG writer.
// Internal to the image codecs.
//
// libpng reports errors by longjmp. The structures made here print nothing: an error jumps to
// the setjmp of the function that drives libpng, and warnings are ignored. The words of the last
// error are kept (ErrorText) so that a failed read can say what was wrong. That function must
// hold no object with a destructor; the structures live in its caller's frame, owned by
// PngStructs, so a jump neither leaks nor skips a destructor.
//
// Threads: one object belongs to one thread; any number may exist at once.
#pragma once

#include <png.h>

class PngStructs {
 public:
  enum class Kind { kRead, kWrite };

  // Creates a read or write structure and its info structure. Check ok() before use.
  explicit PngStructs(Kind kind);
  ~PngStructs();
  PngStructs(const PngStructs&) = delete;
  PngStructs& operator=(const PngStructs&) = delete;

  // True when both structures were created (false only when memory ran out).
  bool ok() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  // libpng's words for the error that ended the work; empty when none was raised.
  const char* ErrorText() const { return error_; }

 private:
  static void OnError(png_structp png, png_const_charp message);

  Kind kind_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  char error_[128] = {};
};
