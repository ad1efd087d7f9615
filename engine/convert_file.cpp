#include "engine/convert_file.h"

#include <new>
#include <utility>

#include "base/file_identity.h"
#include "base/folder_listing.h"
#include "engine/failure_reason.h"
#include "engine/file_list.h"
#include "engine/option_set.h"
#include "engine/output_claims.h"
#include "engine/output_naming.h"
#include "engine/spare_cores.h"
#include "image/bitmap.h"
#include "image/png/png_encode.h"

namespace {

ConvertOutcome WithState(const wchar_t* state, std::wstring reason = std::wstring()) {
  ConvertOutcome outcome;
  outcome.stateText = state;
  outcome.reason = std::move(reason);
  return outcome;
}

// True when writing `output` would replace `source` itself: the same spelling, or one file.
bool ReplacesSource(const std::wstring& output, const std::wstring& source) {
  if (output == source) {
    return true;
  }
  kiv::FileStamp a;
  kiv::FileStamp b;
  return kiv::ReadListedStamp(output, &a) && kiv::ReadFileStamp(source, &b) && a.SameFile(b);
}

// Why a row refused by the overwrite rule (not by another row) was refused.
std::wstring RefusalReason(int mode) {
  return mode == static_cast<int>(OverwriteMode::kRename) ? kReasonNumbersTaken : kReasonExists;
}

// Each name lost to another program between the decision and the write
// moves rename mode on to a later number, so a bound a little above the
// counter range is never reached in practice.
constexpr int kMaxWriteAttempts = kMaxRenameCounter + 2;

ConvertOutcome Refused(std::wstring blockedBy, int mode) {
  ConvertOutcome outcome = WithState(kStateWriteFailed);
  outcome.reason =
      blockedBy.empty() ? RefusalReason(mode) : L"the output is taken in this run by " + blockedBy;
  outcome.blockedBy = std::move(blockedBy);
  return outcome;
}

// The truncation a load or a write's decoding found, on the outcome of a converted row.
ConvertOutcome& WithLoadNotes(ConvertOutcome& outcome, const Bitmap& loaded) {
  outcome.warning = LoadWarning(loaded.Notes());
  outcome.keepSource = loaded.Notes().samplesRounded || loaded.Notes().truncated;
  return outcome;
}

ConvertOutcome Convert(const RowJob& job, OptionSet& options) {
  const bool writing =
      !job.planOnly && job.decision.overwrite.action == OverwriteDecision::Action::kWrite;
  Bitmap loaded;
  Bitmap::LoadOptions load;
  load.autoOrient = !options.IsOn(Option::kKeepOrientation);
  // A large JPEG is compressed while its lower rows are still being decoded.
  load.deferRows = writing;
  auto readFailure = [&loaded] {
    return WithState(kStateReadFailed, ReadFailureReason(loaded.Notes()));
  };
  if (!loaded.Load(job.source, load)) {
    return readFailure();
  }
  if (options.IsOn(Option::kStrip)) {
    loaded.Ancillary().clear();
  }

  const int mode = options.GetOverwriteMode();
  const OverwriteDecision& decision = job.decision.overwrite;
  if (decision.action == OverwriteDecision::Action::kNothing) {
    return ConvertOutcome();
  }
  if (decision.action == OverwriteDecision::Action::kRefuse) {
    return Refused(job.decision.blockedBy, mode);
  }
  if (loaded.Notes().samplesRounded && !decision.createNew &&
      ReplacesSource(decision.path, job.source)) {
    // Written in place, the 8-bit copy would be all that is left of the 16-bit file.
    return WithState(kStateWriteFailed,
                     L"16-bit source: an 8-bit PNG would replace it (choose another output "
                     L"folder)");
  }

  if (job.planOnly) {
    // What the write would meet at the output folder, as far as the disk tells it now.
    std::wstring folderProblem = OutputFolderProblem(decision.path);
    if (!folderProblem.empty()) {
      return WithState(kStateWriteFailed, std::move(folderProblem));
    }
    ConvertOutcome outcome = WithState(kStateConverted);
    outcome.writtenPath = decision.path;
    outcome.ticket = job.decision.ticket;
    return WithLoadNotes(outcome, loaded);
  }

  const Bitmap* image = &loaded;
  Bitmap reduced;
  if (options.IsOn(Option::k24Bit) && loaded.BitCount() != 24) {
    if (!loaded.FinishRows()) {
      return readFailure();
    }
    const BitmapRect whole{0, 0, loaded.Width(), loaded.Height()};
    if (!reduced.Create(loaded.Width(), loaded.Height(), 24) ||
        !Bitmap::CopyRect(whole, reduced, loaded)) {
      return WithState(kStateWriteFailed, L"out of memory");
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
  // A PNG whose source is to be deleted goes to the device before its move, through the handle
  // that wrote it: a later reopen for writing would be refused while a viewer holds the file.
  encode.durable = options.IsOn(Option::kDeleteSrcFile);
  std::optional<kiv::FileStamp> written;
  OutputClaims::Decision claimed = job.decision;
  for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
    const OverwriteDecision& target = claimed.overwrite;
    kiv::FileError error = kiv::FileError::kNone;
    Bitmap::SaveResult result =
        image->SavePng(target.path, encode,
                       target.createNew ? Bitmap::SaveMode::kCreateNew : Bitmap::SaveMode::kReplace,
                       &error, &written);
    if (result == Bitmap::SaveResult::kTargetExists && target.createNew &&
        job.claims->TwinHolds(claimed.ticket)) {
      // Force mode where nothing stood: a later row of the same source, which
      // may replace this row's file, put its own PNG there first. It holds
      // the same image; this row replaces it as that row would have replaced
      // this.
      result = image->SavePng(target.path, encode, Bitmap::SaveMode::kReplace, &error, &written);
    }
    if (!loaded.FinishRows()) {
      // The rows the write was decoding are damaged: the write failed and left nothing.
      return readFailure();
    }
    if (result == Bitmap::SaveResult::kSaved) {
      ConvertOutcome outcome = WithState(kStateConverted);
      outcome.writtenPath = target.path;
      outcome.ticket = claimed.ticket;
      outcome.hasWrittenStamp = written.has_value();
      outcome.synced = encode.durable;
      if (written) {
        outcome.writtenStamp = *written;
      }
      return WithLoadNotes(outcome, loaded);
    }
    if (result != Bitmap::SaveResult::kTargetExists) {
      // Nothing was written and nothing was touched.
      return WithState(kStateWriteFailed, WriteFailureReason(error, target.path));
    }
    if (mode != static_cast<int>(OverwriteMode::kRename)) {
      // A file appeared after the decision.
      return WithState(kStateWriteFailed, mode == static_cast<int>(OverwriteMode::kForce)
                                              ? L"another program wrote the output meanwhile"
                                              : RefusalReason(mode));
    }
    // Rename mode: another program took the name since the decision; the
    // next free number is taken (the first claim stays reserved).
    claimed =
        job.claims->Claim(static_cast<int>(OverwriteMode::kRename), job.outputPath, job.source);
    if (claimed.overwrite.action != OverwriteDecision::Action::kWrite) {
      return Refused(std::move(claimed.blockedBy), mode);
    }
  }
  return WithState(kStateWriteFailed, L"another program kept taking the output name");
}

}  // namespace

ConvertOutcome ConvertRow(const RowJob& job, OptionSet& options) {
  const SpareCores::Busy busy(SpareCores::Shared());
  try {
    return Convert(job, options);
  } catch (const std::bad_alloc&) {
    // Out of memory while holding a large image: this file fails, the run goes on.
    return WithState(kStateWriteFailed, L"out of memory");
  }
}

ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options) {
  // A conversion alone is a run of its own: it sees the output folder as it is now.
  kiv::ForgetFolderListings();
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
    return WithState(kStateWriteFailed, L"out of memory");
  }
}
