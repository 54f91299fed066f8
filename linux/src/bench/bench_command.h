// morvik-update --all, --watch, --json or --log: the bench run as the command line asks for it,
// with its view, its outcome log and its one question.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "feed/feed_provenance.h"
#include "morvik/exit_codes.h"
#include "morvik/checked_image.h"
#include "morvik/stop_signal.h"
#include "pads/pad_source.h"

namespace morvik::cli {

// `only`: the one pad to update (path or serial), for a bench of one; `feed`: the release the
// image is, when it came from the feed.
ExitCode updateBench(const CliOptions& options, PadSource& source, const CheckedImage& image,
                     std::optional<std::string> only, StopToken stop,
                     const std::optional<FeedProvenance>& feed = std::nullopt);

}  // namespace morvik::cli
