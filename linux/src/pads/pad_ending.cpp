#include "pads/pad_ending.h"

#include "console/printable_text.h"
#include "console/user_texts.h"

namespace morvik::cli {
namespace {

constexpr const char* kNothingSent = "before anything was sent";

}  // namespace

const char* outcomeName(PadOutcome outcome) {
  switch (outcome) {
    case PadOutcome::Updated: return "updated";
    case PadOutcome::Failed: return "failed";
    case PadOutcome::Skipped: return "skipped";
    case PadOutcome::Interrupted: return "interrupted";
  }
  return "failed";
}

PadEnding padInUse(const std::string& path, const std::string& refusal) {
  return {PadOutcome::Failed, ExitCode::PadInUse,
          "The pad at " + printable(path) + " is not free: " + refusal + ". Nothing was sent to it.\n", refusal};
}

PadEnding padNotOpened(const std::string& path, const std::string& error) {
  return {PadOutcome::Failed, ExitCode::NoAccess, "Cannot open the pad at " + printable(path) + ": " + error + ".\n",
          "cannot open it: " + error};
}

std::optional<PadEnding> versionQueryEnding(VersionQueryResult result, const std::string& linkError) {
  switch (result) {
    case VersionQueryResult::Reported: return std::nullopt;
    case VersionQueryResult::OpenFailed:
      return PadEnding{PadOutcome::Failed, ExitCode::NoAccess, "Cannot open the pad for reading and writing.\n",
                       "cannot open it: " + linkError};
    case VersionQueryResult::NoAnswer:
      return PadEnding{PadOutcome::Failed, ExitCode::PadLost,
                       "The pad did not report its firmware version. Reconnect it in boot mode and try again.\n",
                       "it did not report its firmware version"};
    case VersionQueryResult::LinkLost:
      return PadEnding{PadOutcome::Failed, ExitCode::PadLost,
                       "The pad went away before it reported its firmware version.\n",
                       "it went away before it reported its version"};
    case VersionQueryResult::Stopped:
      return PadEnding{PadOutcome::Interrupted, ExitCode::Cancelled,
                       "Cancelled before the update began; the pad's firmware is unchanged.\n", kNothingSent};
  }
  return PadEnding{};
}

std::optional<PadEnding> readerEnding(ReaderOutcome outcome, bool writingStarted, const std::string& linkError) {
  switch (outcome) {
    case ReaderOutcome::Ended: return std::nullopt;
    case ReaderOutcome::BeginFailed:
      return PadEnding{PadOutcome::Failed, ExitCode::PadLost, "Cannot send to the pad: the update could not begin.\n",
                       "the update could not begin: " + linkError};
    case ReaderOutcome::Stopped:
      if (writingStarted)
        return PadEnding{PadOutcome::Interrupted, ExitCode::Cancelled,
                         "Update cancelled part-way. The pad stays in boot mode; run the update again to finish it.\n",
                         "part-way: the pad stays in boot mode and can be updated again"};
      return PadEnding{PadOutcome::Interrupted, ExitCode::Cancelled, kNothingChangedText, kNothingSent};
  }
  return PadEnding{};
}

}  // namespace morvik::cli
