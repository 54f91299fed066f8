#include "feed/image_in_feed.h"

#include "console/printable_text.h"
#include "morvik/version_text.h"
#include "morvik/feed/openssl_feed_crypto.h"

namespace morvik::cli {
namespace {

InfoAddition inFeed(const FetchedFeed& fetched, const CheckedImage& image) {
  feed::OpenSslFeedCrypto crypto;
  const auto release = feed::releaseOfImage(fetched.verified.feed, image.bytes, crypto);
  const std::uint64_t serial = fetched.verified.feed.serial;
  const std::string& keyId = fetched.verified.keyId;
  const std::string verdict =
      release ? "yes: release " + versionText(release->version) + " of the feed, signed by key " + keyId
              : "no: the file is not a release of the feed";
  return {"Feed:          " + printable(fetched.url) + " (serial " + std::to_string(serial) + ")\n" +
              "In the feed:   " + verdict + '\n',
          [url = fetched.url, serial, keyId, release](JsonLine& line) {
            line.add("feed", url)
                .add("feed_serial", serial)
                .add("feed_key_id", keyId)
                .add("in_feed", release.has_value())
                .add("feed_release", release ? std::optional(versionText(release->version)) : std::nullopt);
          },
          ExitCode::Success};
}

}  // namespace

InfoLookup imageInFeedLookup(const FeedRequest& request, std::ostream& err) {
  if (!asksForFeed(request)) return nullptr;
  return [request, &err](const CheckedImage& image) -> InfoAddition {
    const auto fetched = fetchFeed(request, err);
    if (const auto* failure = std::get_if<FeedFailure>(&fetched)) {
      return {"",
              [sentence = failure->sentence](JsonLine& line) {
                line.add("in_feed", std::optional<std::string>()).add("feed_problem", sentence);
              },
              refuseFeed(*failure, err)};
    }
    return inFeed(std::get<FetchedFeed>(fetched), image);
  };
}

}  // namespace morvik::cli
