// How one pad's update ends when the engine's notifications do not say it: the pad could not be
// locked or opened, did not report its version, or the update could not begin or was stopped.
// One table gives each ending its outcome, exit status and words, for one pad on the console
// and for a pad on a bench alike.
#pragma once

#include <optional>
#include <string>

#include "morvik/exit_codes.h"
#include "morvik/update_engine.h"

namespace morvik::cli {

enum class PadOutcome { Updated, Failed, Skipped, Interrupted };

const char* outcomeName(PadOutcome outcome);  // "updated", "failed", ...

struct PadEnding {
  PadOutcome outcome = PadOutcome::Failed;
  ExitCode code = ExitCode::Error;
  std::string sentence;  // for one pad: the console's sentence, with its newline
  std::string reason;    // for a pad on a bench: the words after its name ("it went away ...")
};

// Another program holds the pad (`refusal` says which), or it cannot be opened (`error`).
PadEnding padInUse(const std::string& path, const std::string& refusal);
PadEnding padNotOpened(const std::string& path, const std::string& error);

// Nothing when the pad reported its version; `linkError` is the link's last error.
std::optional<PadEnding> versionQueryEnding(VersionQueryResult result, const std::string& linkError);

// Nothing when the update ended through the engine's notifications (ReaderOutcome::Ended).
// `writingStarted`: the header went out, so the pad may hold part of an image.
std::optional<PadEnding> readerEnding(ReaderOutcome outcome, bool writingStarted, const std::string& linkError);

}  // namespace morvik::cli
