// --releases: the verified feed's releases, newest first, with their dates, urgency and notes.
#pragma once

#include <ostream>

#include "morvik/exit_codes.h"
#include "feed/feed_release.h"

namespace morvik::cli {

ExitCode listReleases(const FetchedFeed& fetched, bool json, std::ostream& out);

}  // namespace morvik::cli
