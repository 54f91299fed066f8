// The commands that work on pads: --list, and the update of one pad or a bench of them, from
// reading the image to the pad's exit status.
#pragma once

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

ExitCode listPadsCommand(const CliOptions& options);
ExitCode updateCommand(const CliOptions& options, StopToken stop);

}  // namespace morvik::cli
