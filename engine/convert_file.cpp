#include "engine/convert_file.h"

#include <new>
#include <utility>

#include "engine/file_list.h"
#include "engine/option_set.h"
#include "engine/output_claims.h"
#include "engine/output_naming.h"
#include "engine/spare_cores.h"
#include "image/bitmap.h"
#include "image/png_encode.h"

namespace {

ConvertOutcome WithState(const wchar_t* state) {
  ConvertOutcome outcome;
  outcome.stateText = state;
  return outcome;
}

// Each name lost to another program between the decision and the write
// moves rename mode on to a later number, so a bound a little above the
// counter range is never reached in practice.
constexpr int kMaxWriteAttempts = kMaxRenameCounter + 2;

ConvertOutcome Refused(std::wstring blockedBy) {
  ConvertOutcome outcome = WithState(kStateWriteFailed);
  outcome.blockedBy = std::move(blockedBy);
  return outcome;
}

ConvertOutcome Convert(const RowJob& job, OptionSet& options) {
  Bitmap loaded;
  Bitmap::LoadOptions load;
  load.autoOrient = !options.IsOn(Option::kKeepOrientation);
  if (!loaded.Load(job.source, load)) {
    return WithState(kStateReadFailed);
  }
  if (options.IsOn(Option::kStrip)) {
    loaded.Ancillary().clear();
  }

  const OverwriteDecision& decision = job.decision.overwrite;
  if (decision.action == OverwriteDecision::Action::kNothing) {
    return ConvertOutcome();
  }
  if (decision.action == OverwriteDecision::Action::kRefuse) {
    return Refused(job.decision.blockedBy);
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

  // The pieces of a large image go to the cores other conversions leave idle.
  SpareCores::Runner runner(SpareCores::Shared(), options.GetConvertCount());
  PngEncodeOptions encode;
  encode.level = options.GetCompressLevel();
  encode.interlace = options.IsOn(Option::kInterlacePng);
  encode.runner = &runner;
  encode.reduce = options.IsOn(Option::kReduce);
  std::optional<kiv::FileStamp> written;
  OutputClaims::Decision claimed = job.decision;
  for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
    const OverwriteDecision& target = claimed.overwrite;
    Bitmap::SaveResult result = image->SavePng(
        target.path, encode,
        target.createNew ? Bitmap::SaveMode::kCreateNew : Bitmap::SaveMode::kReplace, &written);
    if (result == Bitmap::SaveResult::kTargetExists && target.createNew &&
        job.claims->TwinHolds(claimed.ticket)) {
      // Force mode where nothing stood: a later row of the same source, which
      // may replace this row's file, put its own PNG there first. It holds
      // the same image; this row replaces it as that row would have replaced
      // this.
      result = image->SavePng(target.path, encode, Bitmap::SaveMode::kReplace, &written);
    }
    if (result == Bitmap::SaveResult::kSaved) {
      ConvertOutcome outcome = WithState(kStateConverted);
      outcome.writtenPath = target.path;
      outcome.ticket = claimed.ticket;
      outcome.hasWrittenStamp = written.has_value();
      if (written) {
        outcome.writtenStamp = *written;
      }
      return outcome;
    }
    if (result != Bitmap::SaveResult::kTargetExists ||
        options.GetOverwriteMode() != static_cast<int>(OverwriteMode::kRename)) {
      // A failed write, or a file that appeared after the decision: either
      // way nothing was written and nothing was touched.
      return WithState(kStateWriteFailed);
    }
    // Rename mode: another program took the name since the decision; the
    // next free number is taken (the first claim stays reserved).
    claimed =
        job.claims->Claim(static_cast<int>(OverwriteMode::kRename), job.outputPath, job.source);
    if (claimed.overwrite.action != OverwriteDecision::Action::kWrite) {
      return Refused(std::move(claimed.blockedBy));
    }
  }
  return WithState(kStateWriteFailed);
}

}  // namespace

ConvertOutcome ConvertRow(const RowJob& job, OptionSet& options) {
  const SpareCores::Busy busy(SpareCores::Shared());
  try {
    return Convert(job, options);
  } catch (const std::bad_alloc&) {
    // Out of memory while holding a large image: this file fails, the run goes on.
    return WithState(kStateWriteFailed);
  }
}

ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options) {
  try {
    OutputClaims alone;
    alone.AddSource(source);
    RowJob job;
    job.source = source;
    job.outputPath = outputPath;
    job.claims = &alone;
    job.decision = alone.Claim(options.GetOverwriteMode(), outputPath, source);
    return ConvertRow(job, options);
  } catch (const std::bad_alloc&) {
    return WithState(kStateWriteFailed);
  }
}
