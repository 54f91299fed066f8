#include "morvik/feed/feed_verification.h"

#include <algorithm>

#include "morvik/feed/feed_json.h"
#include "morvik/feed/feed_text.h"

namespace morvik::feed {
namespace {

std::string versionName(std::uint32_t version) { return "version " + std::to_string(version); }

}  // namespace

std::variant<VerifiedFeed, FeedRefusal> verifyFeed(std::span<const std::uint8_t> feedJson,
                                                   std::span<const std::uint8_t> signatureJson,
                                                   const FeedTrust& trust) {
  if (trust.keys.empty()) return FeedRefusal{FeedProblem::NoTrustedKeys, ""};
  // Before the signature: a bounded reader hands on the limit and a byte, whose signature fails.
  if (feedJson.size() > kMaxFeedBytes) {
    return FeedRefusal{FeedProblem::FeedTooLarge, "more than " + std::to_string(kMaxFeedBytes) + " bytes"};
  }
  const auto signature = parseSignatureJson(signatureJson);
  if (const auto* refusal = std::get_if<FeedRefusal>(&signature)) return *refusal;
  const std::string& keyId = std::get<FeedSignature>(signature).keyId;
  const auto key = std::find_if(trust.keys.begin(), trust.keys.end(),
                                [&keyId](const TrustedKey& trusted) { return trusted.id == keyId; });
  if (key == trust.keys.end()) return FeedRefusal{FeedProblem::UnknownKey, "key " + keyId};
  if (!trust.crypto.verifyP256Sha256(key->der, feedJson, std::get<FeedSignature>(signature).signature)) {
    return FeedRefusal{FeedProblem::BadSignature, "key " + keyId};
  }

  auto parsed = parseFeedJson(feedJson);
  if (auto* refusal = std::get_if<FeedRefusal>(&parsed)) return std::move(*refusal);
  Feed& feed = std::get<Feed>(parsed);
  if (trust.now >= feed.expires) return FeedRefusal{FeedProblem::Expired, "on " + formatUtcTime(feed.expires)};
  const auto seen = trust.highestSeenSerial ? trust.highestSeenSerial(keyId) : std::nullopt;
  if (seen && feed.serial < *seen) {
    return FeedRefusal{FeedProblem::SerialRolledBack,
                       "serial " + std::to_string(feed.serial) + ", already seen " + std::to_string(*seen)};
  }
  return VerifiedFeed{std::move(feed), keyId};
}

std::variant<Release, FeedRefusal> chooseRelease(const Feed& feed, std::optional<std::uint32_t> version) {
  if (version) {
    const auto found = std::find_if(feed.releases.begin(), feed.releases.end(),
                                    [&](const Release& release) { return release.version == *version; });
    if (found == feed.releases.end()) return FeedRefusal{FeedProblem::NoSuchRelease, versionName(*version)};
    return *found;
  }
  const auto newest = std::max_element(feed.releases.begin(), feed.releases.end(),
                                       [](const Release& a, const Release& b) { return a.version < b.version; });
  if (newest == feed.releases.end()) return FeedRefusal{FeedProblem::NoSuchRelease, "the feed lists no release"};
  return *newest;
}

std::variant<CheckedImage, FeedRefusal> checkReleaseImage(const Release& release,
                                                          std::shared_ptr<const ImageBytes> bytes, FeedCrypto& crypto) {
  if (!bytes || bytes->size() != release.size) {
    return FeedRefusal{FeedProblem::ImageSizeMismatch, std::to_string(bytes ? bytes->size() : 0) +
                                                           " bytes, the feed gives " + std::to_string(release.size)};
  }
  const auto digest = crypto.sha256(*bytes);
  if (!digest) return FeedRefusal{FeedProblem::CryptoFailed, "SHA-256 of " + release.file};
  if (*digest != release.sha256) return FeedRefusal{FeedProblem::ImageDigestMismatch, release.file};
  auto checked = checkImage(std::move(bytes));
  if (const auto* problem = std::get_if<ImageProblem>(&checked)) {
    return FeedRefusal{FeedProblem::ImageRefused, std::string(problemName(*problem))};
  }
  auto& image = std::get<CheckedImage>(checked);
  if (image.header.version != release.version) {
    return FeedRefusal{FeedProblem::ImageVersionMismatch, "the header gives " + versionName(image.header.version) +
                                                              ", the feed " + versionName(release.version)};
  }
  return std::move(image);
}

std::optional<Release> releaseOfImage(const Feed& feed, const std::shared_ptr<const ImageBytes>& bytes,
                                      FeedCrypto& crypto) {
  if (!bytes) return std::nullopt;
  for (const Release& release : feed.releases) {
    if (release.size != bytes->size()) continue;
    if (std::holds_alternative<CheckedImage>(checkReleaseImage(release, bytes, crypto))) return release;
  }
  return std::nullopt;
}

}  // namespace morvik::feed
