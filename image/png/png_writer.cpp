// Bitmap's PNG entry points: into a stream, into memory, and into a file by the safe way.
//
// A file is written under a temporary name beside its target and moved over the target only
// when complete (kiv::ReplacingFile); any failure removes the temporary and leaves the target
// as it was.
#include <new>
#include <string>
#include <vector>

#include "base/file.h"
#include "base/folder_listing.h"
#include "base/path.h"
#include "base/replacing_file.h"
#include "image/bitmap.h"
#include "image/png/apng_writer.h"
#include "image/png/png_encode.h"
#include "image/png/png_read_back.h"
#include "image/png/png_scanlines.h"

namespace {

PngEncodeOptions Options(int32_t level, bool interlace) {
  PngEncodeOptions options;
  options.level = level;
  options.interlace = interlace;
  return options;
}

}  // namespace

bool Bitmap::WritePng(kiv::File& stream, int32_t level, bool interlace) const {
  return WritePng(stream, Options(level, interlace));
}

bool Bitmap::WritePng(kiv::File& stream, const PngEncodeOptions& options) const {
  try {
    if (animation_ != nullptr) {
      std::string why;
      return EncodeApng(*this, *animation_, options, stream, why);
    }
    return EncodePngImage(*this, options, stream);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool Bitmap::EncodePng(std::vector<uint8_t>& out, int32_t level, bool interlace) const {
  out.clear();
  kiv::File stream;
  stream.AttachVector(out);
  const bool ok = WritePng(stream, level, interlace);
  stream.Close();
  if (!ok) {
    out.clear();
  }
  return ok;
}

Bitmap::SaveResult Bitmap::SavePng(const std::wstring& path, int32_t level, bool interlace,
                                   SaveMode mode, std::optional<kiv::FileStamp>* written) const {
  return SavePng(path, Options(level, interlace), mode, nullptr, written);
}

Bitmap::SaveResult Bitmap::SavePng(const std::wstring& path, const PngEncodeOptions& options,
                                   SaveMode mode, kiv::FileError* error,
                                   std::optional<kiv::FileStamp>* written,
                                   const SaveChecks& checks) const {
  kiv::FileError ignored = kiv::FileError::kNone;
  kiv::FileError& why = error != nullptr ? *error : ignored;
  why = kiv::FileError::kNone;
  PngLayout layout;
  if (Empty() || !ChoosePngLayout(*this, layout)) {
    return SaveResult::kFailed;  // nothing to write: the file system is not touched
  }
  if (mode == SaveMode::kCreateNew && kiv::ListedFileExists(path)) {
    return SaveResult::kTargetExists;
  }
  try {
    kiv::ReplacingFile file(path, options.inRoom ? kiv::ReplacingFile::Place::kInRoom
                                                 : kiv::ReplacingFile::Place::kBeside);
    if (!file.IsOpen()) {
      why = file.error();
      return SaveResult::kFailed;
    }
    if (options.durable) {
      file.MakeDurable();
    }
    std::vector<PngChunk> carried;
    PngEncodeOptions encode = options;
    encode.carried = &carried;
    if (!WritePng(file.stream(), encode)) {
      why = file.stream().error();
      return SaveResult::kFailed;  // the temporary goes with `file`
    }
    if (file.stream().size() > checks.largestBytes) {
      return SaveResult::kLarger;
    }
    if (checks.readBack) {
      if (!file.Seal()) {
        why = file.error();
        return SaveResult::kFailed;
      }
      if (ReadBackPng(file.temporary_path(), *this, carried) != ReadBackResult::kSame) {
        return SaveResult::kReadBackDiffers;
      }
    }
    auto saved = [&] {
      kiv::FileStamp stamp;
      if (written != nullptr && file.WrittenStamp(&stamp)) {
        *written = stamp;
      }
      return SaveResult::kSaved;
    };
    if (mode == SaveMode::kReplace) {
      // Force mode replaces a read-only output like any other file.
      if (file.Commit(kiv::ReplacingFile::ReadOnlyTarget::kReplace)) {
        return saved();
      }
      why = file.error();
      return SaveResult::kFailed;
    }
    const kiv::ReplacingFile::Result committed = file.CommitExclusive();
    why = file.error();
    switch (committed) {
      case kiv::ReplacingFile::Result::kDone:
        return saved();
      case kiv::ReplacingFile::Result::kExists:
        return SaveResult::kTargetExists;
      case kiv::ReplacingFile::Result::kFailed:
        break;
    }
    return SaveResult::kFailed;
  } catch (const std::bad_alloc&) {
    return SaveResult::kFailed;
  }
}

bool Bitmap::SavePng(const std::wstring& path, int32_t level, bool interlace) const {
  return SavePng(path, level, interlace, SaveMode::kReplace) == SaveResult::kSaved;
}
