#include "page_feed.h"

#include <utility>

#include "morvik/feed/built_in_keys.h"
#include "morvik/feed/public_keys.h"

namespace morvik::web {
namespace {

// `check`'s result, or Pending when it asked the crypto anything it had no answer for.
template <typename Result, typename Check>
Result answeredOrPending(AnsweredCrypto& crypto, Check check) {
  crypto.startRun();
  Result result = check();
  if (!crypto.questions().empty()) return Pending{};
  return result;
}

}  // namespace

std::variant<feed::VerifiedFeed, feed::FeedRefusal, Pending> PageFeed::verify(
    std::span<const std::uint8_t> feedJson, std::span<const std::uint8_t> signatureJson, std::chrono::sys_seconds now,
    const SeenSerials& seen) {
  using Result = std::variant<feed::VerifiedFeed, feed::FeedRefusal, Pending>;
  verified_.reset();
  newest_.reset();
  auto result = answeredOrPending<Result>(crypto_, [&]() -> Result {
    const auto keys = feed::trustedKeysFromPem(feed::builtInFeedKeysPem(), crypto_);
    if (!keys) return feed::FeedRefusal{feed::FeedProblem::NoTrustedKeys, "the built-in keys cannot be read"};
    const feed::FeedTrust trust{*keys, crypto_, now, [&seen](const std::string& keyId) -> std::optional<std::uint64_t> {
                                  const auto found = seen.find(keyId);
                                  if (found == seen.end()) return std::nullopt;
                                  return found->second;
                                }};
    auto verified = feed::verifyFeed(feedJson, signatureJson, trust);
    if (auto* refusal = std::get_if<feed::FeedRefusal>(&verified)) return std::move(*refusal);
    return std::get<feed::VerifiedFeed>(std::move(verified));
  });
  if (const auto* verified = std::get_if<feed::VerifiedFeed>(&result)) {
    verified_ = *verified;
    auto newest = feed::chooseRelease(verified->feed, std::nullopt);
    if (auto* release = std::get_if<feed::Release>(&newest)) newest_ = std::move(*release);
  }
  return result;
}

std::variant<CheckedImage, feed::FeedRefusal, Pending> PageFeed::checkNewest(std::shared_ptr<const ImageBytes> bytes) {
  using Result = std::variant<CheckedImage, feed::FeedRefusal, Pending>;
  if (!newest_) return feed::FeedRefusal{feed::FeedProblem::NoSuchRelease, "the feed lists no release"};
  return answeredOrPending<Result>(crypto_, [&]() -> Result {
    auto checked = feed::checkReleaseImage(*newest_, bytes, crypto_);
    if (auto* refusal = std::get_if<feed::FeedRefusal>(&checked)) return std::move(*refusal);
    return std::get<CheckedImage>(std::move(checked));
  });
}

std::variant<std::optional<feed::Release>, Pending> PageFeed::releaseOf(
    const std::shared_ptr<const ImageBytes>& bytes) {
  using Result = std::variant<std::optional<feed::Release>, Pending>;
  if (!verified_ || !bytes) return std::optional<feed::Release>{};
  return answeredOrPending<Result>(crypto_,
                                   [&]() -> Result { return feed::releaseOfImage(verified_->feed, bytes, crypto_); });
}

}  // namespace morvik::web
