// What --trace=FILE and --sim-replay need before any pad is looked for: the trace to replay,
// read and checked against the image, and the trace file, open.
#pragma once

#include <fstream>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/cli_options.h"
#include "morvik/exit_codes.h"
#include "morvik/checked_image.h"
#include "trace/replay_source.h"

namespace morvik::cli {

struct TraceSetup {
  std::ofstream file;                    // open when --trace=FILE was given
  std::unique_ptr<ReplaySource> replay;  // set with --sim-replay
  std::ostream* openFile() { return file.is_open() ? &file : nullptr; }
};

// Nothing when all is ready; else the exit status, once `err` was told why.
std::optional<ExitCode> prepareTracing(const CliOptions& options, const CheckedImage& image, TraceSetup& setup,
                                       std::ostream& err);

}  // namespace morvik::cli
