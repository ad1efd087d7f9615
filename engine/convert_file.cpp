#include "engine/convert_file.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/file.h"
#include "base/file_identity.h"
#include "base/folder_listing.h"
#include "base/temporary_room.h"
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
  outcome.reason = blockedBy.empty() ? RefusalReason(mode) : kReasonTakenInRun + blockedBy;
  outcome.blockedBy = std::move(blockedBy);
  return outcome;
}

// True when the image is one page or frame of a source that has more.
bool HoldsLessThanSource(const BitmapLoadNotes& notes) {
  return notes.pages > 1 || notes.frames > 1;
}

// The truncation a load or a write's decoding found, and the metadata the PNG cannot hold
// (`leftOut`), on the outcome of a converted row.
ConvertOutcome& WithLoadNotes(ConvertOutcome& outcome, const Bitmap& loaded,
                              const std::string& leftOut) {
  outcome.warning = LoadWarning(loaded.Notes());
  outcome.keepSource = loaded.Notes().samplesRounded || loaded.Notes().truncated ||
                       HoldsLessThanSource(loaded.Notes());
  // Metadata the PNG cannot hold: the source stays beside it.
  if (!leftOut.empty()) {
    outcome.warning +=
        (outcome.warning.empty() ? L"" : L"; ") + std::wstring(leftOut.begin(), leftOut.end());
    outcome.keepSource = true;
  }
  return outcome;
}

// The source already holds these pixels, as the user wants them, in fewer bytes: it stays.
ConvertOutcome LeftAsItWas() {
  ConvertOutcome outcome = WithState(kStateConverted, kNoteAlreadySmaller);
  outcome.unchanged = true;
  outcome.keepSource = true;
  return outcome;
}

// What the write of `path` checks before the PNG takes its place. Before a source goes (deleted
// afterwards, or replaced by its own PNG), the PNG is read back from the disk. A PNG source
// replaced by its own PNG, with the same pixels and interlacing, is left as it was when the
// new file would be larger.
Bitmap::SaveChecks ChecksFor(const RowJob& job, const std::wstring& path, const Bitmap& loaded,
                             const PngEncodeOptions& encode, bool to24Bit, OptionSet& options) {
  Bitmap::SaveChecks checks;
  const bool inPlace = ReplacesSource(path, job.source);
  checks.readBack = inPlace || options.IsOn(Option::kDeleteSrcFile);
  kiv::FileStamp source;
  if (inPlace && loaded.Notes().png && !to24Bit && encode.interlace == loaded.Notes().interlaced &&
      kiv::ReadFileStamp(job.source, &source)) {
    checks.largestBytes = source.size;
  }
  return checks;
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
    loaded.Metadata().Clear();
  }
  const std::string leftOut = loaded.Metadata().LeftOutText();

  const int mode = options.GetOverwriteMode();
  const OverwriteDecision& decision = job.decision.overwrite;
  if (decision.action == OverwriteDecision::Action::kNothing) {
    return ConvertOutcome();
  }
  if (decision.action == OverwriteDecision::Action::kRefuse) {
    if (!job.decision.reason.empty()) {
      return WithState(kStateWriteFailed, job.decision.reason);  // the claims' own refusal
    }
    return Refused(job.decision.blockedBy, mode);
  }
  const bool to24Bit = options.IsOn(Option::k24Bit) && loaded.BitCount() != 24;
  if (to24Bit && loaded.Wide()) {
    // The 24-bit option rounds 16-bit samples to 8 bits: the PNG holds less than its source.
    loaded.Notes().samplesRounded = true;
  }
  if (loaded.Notes().samplesRounded && !decision.createNew &&
      ReplacesSource(decision.path, job.source)) {
    // Written in place, the 8-bit copy would be all that is left of the 16-bit file.
    return WithState(kStateWriteFailed,
                     L"16-bit source: an 8-bit PNG would replace it (choose another output "
                     L"folder)");
  }
  if (!leftOut.empty() && !decision.createNew && ReplacesSource(decision.path, job.source)) {
    // Written in place, the PNG would be all that is left of the source, without these.
    return WithState(kStateWriteFailed,
                     std::wstring(leftOut.begin(), leftOut.end()) +
                         L": the PNG would replace it without them (choose another output folder)");
  }
  if (HoldsLessThanSource(loaded.Notes()) && !decision.createNew &&
      ReplacesSource(decision.path, job.source)) {
    return WithState(kStateWriteFailed,
                     L"several pages or frames: one would replace them (choose another output "
                     L"folder)");
  }

  PngEncodeOptions encode;
  encode.level = options.GetCompressLevel();
  encode.interlace = options.IsOn(Option::kInterlacePng);
  encode.reduce = options.IsOn(Option::kReduce);
  if (job.planOnly) {
    // What the write would meet at the output folder, as far as the disk tells it now.
    std::wstring folderProblem = OutputFolderProblem(decision.path);
    if (!folderProblem.empty()) {
      return WithState(kStateWriteFailed, std::move(folderProblem));
    }
    // Whether the PNG would be larger than the source it would replace: encoded, not written.
    const Bitmap::SaveChecks checks =
        ChecksFor(job, decision.path, loaded, encode, to24Bit, options);
    if (checks.largestBytes != UINT64_MAX) {
      std::vector<uint8_t> bytes;
      kiv::File stream;
      stream.AttachVector(bytes);
      if (loaded.WritePng(stream, encode) && bytes.size() > checks.largestBytes) {
        return LeftAsItWas();
      }
    }
    ConvertOutcome outcome = WithState(kStateConverted);
    outcome.writtenPath = decision.path;
    outcome.ticket = job.decision.ticket;
    return WithLoadNotes(outcome, loaded, leftOut);
  }

  const Bitmap* image = &loaded;
  Bitmap reduced;
  if (to24Bit) {
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
    reduced.Metadata() = std::move(loaded.Metadata());
    reduced.SetAnimation(loaded.TakeAnimation());
    loaded.Clear();
    image = &reduced;
  }

  // The pieces of a large image go to the cores other conversions leave idle.
  SpareCores::Runner runner(SpareCores::Shared(), options.GetConvertCount());
  encode.runner = &runner;
  // A PNG whose source is to be deleted goes to the device before its move, through the handle
  // that wrote it: a later reopen for writing would be refused while a viewer holds the file.
  encode.durable = options.IsOn(Option::kDeleteSrcFile);
  // The temporary is made in the run's room of the output folder: in a folder of thousands of
  // files, a new name made there costs a search of the whole folder under Wine.
  encode.inRoom = true;
  std::optional<kiv::FileStamp> written;
  OutputClaims::Decision claimed = job.decision;
  for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
    const OverwriteDecision& target = claimed.overwrite;
    const Bitmap::SaveChecks checks = ChecksFor(job, target.path, loaded, encode, to24Bit, options);
    kiv::FileError error = kiv::FileError::kNone;
    Bitmap::SaveResult result =
        image->SavePng(target.path, encode,
                       target.createNew ? Bitmap::SaveMode::kCreateNew : Bitmap::SaveMode::kReplace,
                       &error, &written, checks);
    if (result == Bitmap::SaveResult::kTargetExists && target.createNew &&
        job.claims->TwinHolds(claimed.ticket)) {
      // Force mode where nothing stood: a later row of the same source, which
      // may replace this row's file, put its own PNG there first. It holds
      // the same image; this row replaces it as that row would have replaced
      // this.
      result =
          image->SavePng(target.path, encode, Bitmap::SaveMode::kReplace, &error, &written, checks);
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
      return WithLoadNotes(outcome, loaded, leftOut);
    }
    if (result == Bitmap::SaveResult::kFailed && image->Animation() != nullptr &&
        !image->Animation()->Error().empty()) {
      // A frame that cannot be read: the animation cannot be carried, and nothing was written.
      const std::string why = image->Animation()->Error();
      return WithState(kStateWriteFailed,
                       L"animation not carried: " + std::wstring(why.begin(), why.end()));
    }
    if (result == Bitmap::SaveResult::kLarger) {
      return LeftAsItWas();
    }
    if (result == Bitmap::SaveResult::kReadBackDiffers) {
      ConvertOutcome outcome = WithState(kStateWriteFailed, kReasonReadBackDiffers);
      outcome.keepSource = true;
      return outcome;
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
    ConvertOutcome outcome = ConvertRow(job, options);
    kiv::temporary_rooms::CloseIdle();
    return outcome;
  } catch (const std::bad_alloc&) {
    return WithState(kStateWriteFailed, L"out of memory");
  }
}
