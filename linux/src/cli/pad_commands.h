// The commands that work on pads: --list, and the update of one pad or a bench of them, from
// reading the image (or fetching the feed's release) to the pad's exit status; and --releases.
#pragma once

#include "cli/cli_options.h"
#include "morvik/exit_codes.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

ExitCode listPadsCommand(const CliOptions& options);
// An update with IMAGE.dat, or with the maker's feed's release (--latest, --release).
ExitCode updateCommand(const CliOptions& options, StopToken stop);
// --releases.
ExitCode releasesCommand(const CliOptions& options);

}  // namespace morvik::cli
