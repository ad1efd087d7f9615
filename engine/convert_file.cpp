#include "engine/convert_file.h"

#include <new>
#include <utility>

#include "engine/bitmap.h"
#include "engine/file_list.h"
#include "engine/option_set.h"
#include "engine/output_naming.h"

namespace {

ConvertOutcome WithState(const wchar_t* state) {
  ConvertOutcome outcome;
  outcome.stateText = state;
  return outcome;
}

// A name can be taken by another worker or program between the decision and
// the write; each such loss moves rename mode on to a later number, so a
// bound a little above the counter range is never reached in practice.
constexpr int kMaxWriteAttempts = kMaxRenameCounter + 2;

ConvertOutcome Convert(const std::wstring& source, const std::wstring& outputPath,
                       OptionSet& options) {
  Bitmap loaded;
  Bitmap::LoadOptions load;
  load.autoOrient = !options.IsOn(Option::kKeepOrientation);
  if (!loaded.Load(source, load)) {
    return WithState(kStateReadFailed);
  }
  if (options.IsOn(Option::kStrip)) {
    loaded.Ancillary().clear();
  }

  const int mode = options.GetOverwriteMode();
  OverwriteDecision decision = DecideOverwrite(mode, outputPath);
  if (decision.action == OverwriteDecision::Action::kNothing) {
    return ConvertOutcome();
  }
  if (decision.action == OverwriteDecision::Action::kRefuse) {
    return WithState(kStateWriteFailed);
  }

  const Bitmap* image = &loaded;
  Bitmap reduced;
  if (options.IsOn(Option::k24Bit) && loaded.BitCount() != 24) {
    const BitmapRect whole{0, 0, loaded.Width(), loaded.Height()};
    if (!reduced.Create(loaded.Width(), loaded.Height(), 24) ||
        !Bitmap::CopyRect(whole, reduced, loaded)) {
      return WithState(kStateWriteFailed);
    }
    // Every chunk a reader keeps fits an RGB output too (see colour_chunks.h).
    reduced.Ancillary() = std::move(loaded.Ancillary());
    loaded.Clear();
    image = &reduced;
  }

  const int level = options.GetCompressLevel();
  const bool interlace = options.IsOn(Option::kInterlacePng);
  for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
    const Bitmap::SaveResult result = image->SavePng(
        decision.path, level, interlace,
        decision.createNew ? Bitmap::SaveMode::kCreateNew : Bitmap::SaveMode::kReplace);
    if (result == Bitmap::SaveResult::kSaved) {
      ConvertOutcome outcome = WithState(kStateConverted);
      outcome.writtenPath = decision.path;
      return outcome;
    }
    if (result != Bitmap::SaveResult::kTargetExists ||
        mode != static_cast<int>(OverwriteMode::kRename)) {
      // A failed write, or fail mode finding a file that appeared after its
      // check: either way nothing was written and nothing was touched.
      return WithState(kStateWriteFailed);
    }
    decision = DecideOverwrite(mode, outputPath);
    if (decision.action != OverwriteDecision::Action::kWrite) {
      return WithState(kStateWriteFailed);
    }
  }
  return WithState(kStateWriteFailed);
}

}  // namespace

ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options) {
  try {
    return Convert(source, outputPath, options);
  } catch (const std::bad_alloc&) {
    // Out of memory while holding a large image: this file fails, the run goes on.
    return WithState(kStateWriteFailed);
  }
}
