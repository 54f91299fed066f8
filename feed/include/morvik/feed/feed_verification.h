// The rules every front-end applies to a feed before it believes a word of it, and to an
// image before it hands it to the engine.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "morvik/checked_image.h"
#include "morvik/feed/feed.h"
#include "morvik/feed/feed_crypto.h"
#include "morvik/feed/feed_problem.h"
#include "morvik/feed/public_keys.h"

namespace morvik::feed {

// What the caller brings: the keys it trusts, its platform's crypto, the time, and the highest
// serial it has seen under a key (nothing when none). The caller stores a verified feed's
// serial under its key itself, where its platform keeps state.
struct FeedTrust {
  std::span<const TrustedKey> keys;
  FeedCrypto& crypto;
  std::chrono::sys_seconds now;
  std::function<std::optional<std::uint64_t>(const std::string& keyId)> highestSeenSerial;
};

struct VerifiedFeed {
  Feed feed;
  std::string keyId;  // the trusted key that signed it
};

// The feed in `feedJson`, when `signatureJson` is a signature of exactly those bytes by a
// trusted key, the feed is well formed, not past its expiry, and its serial is not lower than
// one seen under that key. The signature is checked before the feed is parsed.
std::variant<VerifiedFeed, FeedRefusal> verifyFeed(std::span<const std::uint8_t> feedJson,
                                                   std::span<const std::uint8_t> signatureJson, const FeedTrust& trust);

// The newest release (the highest version), or the one of `version`.
std::variant<Release, FeedRefusal> chooseRelease(const Feed& feed, std::optional<std::uint32_t> version);

// The image `bytes` (the whole .dat file) when it has the release's size and SHA-256, passes
// the engine's image check and its header gives the release's version.
std::variant<CheckedImage, FeedRefusal> checkReleaseImage(const Release& release,
                                                          std::shared_ptr<const ImageBytes> bytes, FeedCrypto& crypto);

// The release of `feed` whose image `bytes` are, by checkReleaseImage, if any. Only a release of
// the file's size has its digest asked for.
std::optional<Release> releaseOfImage(const Feed& feed, const std::shared_ptr<const ImageBytes>& bytes,
                                      FeedCrypto& crypto);

}  // namespace morvik::feed
