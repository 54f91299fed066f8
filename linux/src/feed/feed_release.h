// morvik-update's way to a release of the maker's feed: the feed fetched (or read from the
// cache with --offline), verified by the feed's rules against the trusted keys and the serials
// seen before, a release chosen, and its image fetched, checked and cached. Nothing that fails
// a rule is handed on.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "cli/cli_options.h"
#include "morvik/exit_codes.h"
#include "feed/feed_origin.h"
#include "morvik/checked_image.h"
#include "morvik/feed/feed_verification.h"

namespace morvik::cli {

struct FeedRequest {
  std::optional<std::string> url;             // --feed, else the build's MORVIK_FEED_URL
  std::optional<std::string> caCertificates;  // --cacert
  std::optional<std::string> keyFile;         // --feed-key: trusted beside the built-in keys
  std::optional<std::uint32_t> version;       // --release; the newest without it
  bool offline = false;                       // the cache alone
  DownloadListener* progress = nullptr;       // hears each download's progress
};

FeedRequest feedRequestOf(const CliOptions& options);
// Whether `request` names a feed at all: a feed option, or the build's default feed.
bool asksForFeed(const FeedRequest& request);

struct FeedFailure {
  ExitCode code;
  std::string sentence;  // one sentence, with the URL or file and the reason
};

struct FetchedFeed {
  feed::VerifiedFeed verified;
  FeedOrigin origin;
  std::string url;                         // feed.json's URL
  std::optional<std::string> cacheFolder;  // where its files are kept, when there is a cache
};

struct ReleaseImage {
  feed::Release release;
  CheckedImage image;
  std::string source;  // the cached file, or the URL when there is no cache
  std::uint64_t serial = 0;
  std::string keyId;
};

// Says `failure` on `err` and gives its exit status.
ExitCode refuseFeed(const FeedFailure& failure, std::ostream& err);

// The verified feed; `notes` hears what is worth saying on the way (a serial that could not be
// kept, the cache used offline).
std::variant<FetchedFeed, FeedFailure> fetchFeed(const FeedRequest& request, std::ostream& notes);
// The chosen release of `fetched` and its verified image.
std::variant<ReleaseImage, FeedFailure> fetchRelease(const FetchedFeed& fetched, const FeedRequest& request);

}  // namespace morvik::cli
