#include "engine/convert_file.h"

#include <new>
#include <utility>

#include "base/file_identity.h"
#include "engine/failure_reason.h"
#include "engine/file_list.h"
#include "engine/option_set.h"
#include "engine/output_claims.h"
#include "engine/output_naming.h"
#include "engine/spare_cores.h"
#include "image/bitmap.h"
#include "image/png_encode.h"

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
  return kiv::ReadFileStamp(output, &a) && kiv::ReadFileStamp(source, &b) && a.SameFile(b);
}

// Why a row refused by the overwrite rule (not by another row) was refused.
std::wstring RefusalReason(int mode) {
  return mode == static_cast<int>(OverwriteMode::kRename) ? L"every numbered name taken"
                                                          : L"exists (fail mode)";
}

// A name can be taken by another worker or program between the decision and
// the write; each such loss moves rename mode on to a later number, so a
// bound a little above the counter range is never reached in practice.
constexpr int kMaxWriteAttempts = kMaxRenameCounter + 2;

// Owns a claim of the run: gives it back unless the written file keeps it.
class ClaimHolder {
 public:
  ClaimHolder(OutputClaims& claims, std::uint64_t ticket) : claims_(claims), ticket_(ticket) {}
  ~ClaimHolder() { Release(); }
  ClaimHolder(const ClaimHolder&) = delete;
  ClaimHolder& operator=(const ClaimHolder&) = delete;

  // The file is written at `path`: the claim stays for the rest of the run.
  void Keep(const std::wstring& path) {
    claims_.Written(ticket_, path);
    ticket_ = 0;
  }
  // Nothing was written: the name is free again.
  void Release() {
    if (ticket_ != 0) {
      claims_.Release(ticket_);
      ticket_ = 0;
    }
  }
  // Takes over another claim (after Release or Keep).
  void Hold(std::uint64_t ticket) { ticket_ = ticket; }

 private:
  OutputClaims& claims_;
  std::uint64_t ticket_;
};

ConvertOutcome Refused(std::wstring blockedBy, int mode) {
  ConvertOutcome outcome = WithState(kStateWriteFailed);
  outcome.reason =
      blockedBy.empty() ? RefusalReason(mode) : L"the output is taken in this run by " + blockedBy;
  outcome.blockedBy = std::move(blockedBy);
  return outcome;
}

ConvertOutcome Convert(const std::wstring& source, const std::wstring& outputPath,
                       OptionSet& options, OutputClaims& claims) {
  Bitmap loaded;
  Bitmap::LoadOptions load;
  load.autoOrient = !options.IsOn(Option::kKeepOrientation);
  if (!loaded.Load(source, load)) {
    return WithState(kStateReadFailed, ReadFailureReason(loaded.Notes()));
  }
  const std::wstring warning = LoadWarning(loaded.Notes());
  const bool keepSource = loaded.Notes().samplesRounded || loaded.Notes().truncated;
  if (options.IsOn(Option::kStrip)) {
    loaded.Ancillary().clear();
  }

  const int mode = options.GetOverwriteMode();
  if (loaded.Notes().samplesRounded && mode == static_cast<int>(OverwriteMode::kForce) &&
      ReplacesSource(outputPath, source)) {
    // Written in place, the 8-bit copy would be all that is left of the 16-bit file.
    return WithState(kStateWriteFailed,
                     L"16-bit source: an 8-bit PNG would replace it (choose another output "
                     L"folder)");
  }
  OutputClaims::Decision claimed = claims.Claim(mode, outputPath, source);
  if (claimed.overwrite.action == OverwriteDecision::Action::kNothing) {
    return ConvertOutcome();
  }
  if (claimed.overwrite.action == OverwriteDecision::Action::kRefuse) {
    return Refused(std::move(claimed.blockedBy), mode);
  }
  ClaimHolder claim(claims, claimed.ticket);

  const Bitmap* image = &loaded;
  Bitmap reduced;
  if (options.IsOn(Option::k24Bit) && loaded.BitCount() != 24) {
    const BitmapRect whole{0, 0, loaded.Width(), loaded.Height()};
    if (!reduced.Create(loaded.Width(), loaded.Height(), 24) ||
        !Bitmap::CopyRect(whole, reduced, loaded)) {
      return WithState(kStateWriteFailed, L"too large");
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
  for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
    const OverwriteDecision& decision = claimed.overwrite;
    kiv::FileError error = kiv::FileError::kNone;
    const Bitmap::SaveResult result = image->SavePng(
        decision.path, encode,
        decision.createNew ? Bitmap::SaveMode::kCreateNew : Bitmap::SaveMode::kReplace, &error);
    if (result == Bitmap::SaveResult::kSaved) {
      claim.Keep(decision.path);
      ConvertOutcome outcome = WithState(kStateConverted);
      outcome.writtenPath = decision.path;
      outcome.warning = warning;
      outcome.keepSource = keepSource;
      return outcome;
    }
    claim.Release();
    const bool force = mode == static_cast<int>(OverwriteMode::kForce);
    if (result != Bitmap::SaveResult::kTargetExists) {
      // Nothing was written and nothing was touched.
      return WithState(kStateWriteFailed, WriteFailureReason(error, decision.path));
    }
    if (!force && mode != static_cast<int>(OverwriteMode::kRename)) {
      // A file appeared after the check in fail mode.
      return WithState(kStateWriteFailed, RefusalReason(mode));
    }
    claimed = claims.Claim(mode, outputPath, source);
    if (claimed.overwrite.action != OverwriteDecision::Action::kWrite) {
      return Refused(std::move(claimed.blockedBy), mode);
    }
    claim.Hold(claimed.ticket);
    if (force && !claimed.sameSource) {
      // In force mode where nothing stood before, a file appeared: only the
      // output of a row of the same source may be written over.
      return WithState(kStateWriteFailed, L"another program wrote the output meanwhile");
    }
  }
  return WithState(kStateWriteFailed, L"another program kept taking the output name");
}

}  // namespace

ConvertOutcome ConvertFile(const std::wstring& source, const std::wstring& outputPath,
                           OptionSet& options, OutputClaims* claims) {
  const SpareCores::Busy busy(SpareCores::Shared());
  try {
    if (claims == nullptr) {
      OutputClaims alone;
      return Convert(source, outputPath, options, alone);
    }
    return Convert(source, outputPath, options, *claims);
  } catch (const std::bad_alloc&) {
    // Out of memory while holding a large image: this file fails, the run goes on.
    return WithState(kStateWriteFailed, L"out of memory");
  }
}
