// The maker's feed as the page reads it: the feed library's own rules and choice of a release,
// with WebCrypto behind its crypto seam. Every check may end Pending: WebCrypto then answers the
// questions in crypto() and the page runs the same check again (see AnsweredCrypto).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "answered_crypto.h"
#include "morvik/checked_image.h"
#include "morvik/feed/feed_verification.h"

namespace morvik::web {

struct Pending {};

// The highest serial the page has kept per key id.
using SeenSerials = std::map<std::string, std::uint64_t>;

class PageFeed {
 public:
  // Verifies feed.json and feed.json.sig against the built-in keys; a verified feed and its
  // newest release become the page's.
  std::variant<feed::VerifiedFeed, feed::FeedRefusal, Pending> verify(std::span<const std::uint8_t> feedJson,
                                                                      std::span<const std::uint8_t> signatureJson,
                                                                      std::chrono::sys_seconds now,
                                                                      const SeenSerials& seen);
  // The newest release of the verified feed, if any.
  const std::optional<feed::Release>& newest() const { return newest_; }
  // The newest release's image, downloaded: checked by the feed's rules and the engine's.
  std::variant<CheckedImage, feed::FeedRefusal, Pending> checkNewest(std::shared_ptr<const ImageBytes> bytes);
  // The verified feed's release whose image `bytes` are, if any.
  std::variant<std::optional<feed::Release>, Pending> releaseOf(const std::shared_ptr<const ImageBytes>& bytes);

  AnsweredCrypto& crypto() { return crypto_; }

 private:
  AnsweredCrypto crypto_;
  std::optional<feed::VerifiedFeed> verified_;
  std::optional<feed::Release> newest_;
};

}  // namespace morvik::web
