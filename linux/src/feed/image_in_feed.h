// --info with a feed: whether the image is a signed release of the maker's feed, the feed
// fetched and verified by the same rules as for an update.
#pragma once

#include <ostream>

#include "feed/feed_release.h"
#include "image/image_text.h"

namespace morvik::cli {

// What --info adds for `request`'s feed; a feed that fails is said on `err`, with its exit
// status. Nothing when `request` names no feed: --info is then as without one.
InfoLookup imageInFeedLookup(const FeedRequest& request, std::ostream& err);

}  // namespace morvik::cli
