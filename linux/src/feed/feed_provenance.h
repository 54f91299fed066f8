// Where a verified image came from, for the lines that record an update (--log, --json): its
// release of the maker's feed, the feed's serial and the key that signed it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "morvik/json_line.h"

namespace morvik::cli {

struct FeedProvenance {
  std::uint32_t version = 0;  // the release's, x 100
  std::uint64_t serial = 0;   // the feed's
  std::string keyId;
};

// "feed_release", "feed_serial", "feed_key_id" and "feed_verified"; none for an image that came
// from no feed, so that those lines stay as they were.
void addProvenanceFields(JsonLine& line, const std::optional<FeedProvenance>& feed);

}  // namespace morvik::cli
