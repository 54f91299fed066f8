#include "feed/feed_provenance.h"

#include "morvik/version_text.h"

namespace morvik::cli {

void addProvenanceFields(JsonLine& line, const std::optional<FeedProvenance>& feed) {
  if (!feed) return;
  // Only an image that passed the feed's rules is ever sent: one that failed them has no line.
  line.add("feed_release", versionText(feed->version))
      .add("feed_serial", feed->serial)
      .add("feed_key_id", feed->keyId)
      .add("feed_verified", true);
}

}  // namespace morvik::cli
