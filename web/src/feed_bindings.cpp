// The maker's feed as the page's window checks it: the feed library's rules, exported to the
// window's script with embind. The engine that updates the pad runs on the page's worker
// (page_bindings.cpp); the window hands it the release's image once it passed these checks.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <string>

#include "feed/feed_values.h"
#include "feed/page_feed.h"
#include "image_values.h"
#include "morvik/feed/feed_json.h"

namespace morvik::web {
namespace {

using emscripten::val;

// Each check gives pendingValue until WebCrypto answered its questions.
class Feed {
 public:
  // {verified: true, keyId, serial (decimal text: it may pass 2^53), product, newest (or null)}.
  val verifyFeed(const val& json, const val& signature, double nowSeconds, const val& seenSerials) {
    const auto feedBytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(json);
    const auto signatureBytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(signature);
    const std::chrono::sys_seconds now{std::chrono::seconds{static_cast<std::int64_t>(nowSeconds)}};
    auto result = feed_.verify(feedBytes, signatureBytes, now, seenSerialsOf(seenSerials));
    if (std::holds_alternative<Pending>(result)) return pendingValue(feed_.crypto().questions());
    if (const auto* refusal = std::get_if<feed::FeedRefusal>(&result)) return refusalValue(*refusal);
    const auto& verified = std::get<feed::VerifiedFeed>(result);
    val value = val::object();
    value.set("verified", true);
    value.set("keyId", verified.keyId);
    value.set("serial", std::to_string(verified.feed.serial));
    value.set("product", verified.feed.product);
    value.set("newest", feed_.newest() ? releaseValue(*feed_.newest()) : val::null());
    return value;
  }
  // The newest release's downloaded image: checkedImageValue, or the refusal.
  val checkRelease(const val& data) {
    auto result = feed_.checkNewest(bytesOf(data));
    if (std::holds_alternative<Pending>(result)) return pendingValue(feed_.crypto().questions());
    if (const auto* refusal = std::get_if<feed::FeedRefusal>(&result)) return refusalValue(*refusal);
    return checkedImageValue(std::get<CheckedImage>(result));
  }
  // {release} of the verified feed whose image `data` is ({release: null} when none).
  val releaseOf(const val& data) {
    auto result = feed_.releaseOf(bytesOf(data));
    if (std::holds_alternative<Pending>(result)) return pendingValue(feed_.crypto().questions());
    const auto& release = std::get<std::optional<feed::Release>>(result);
    val value = val::object();
    value.set("release", release ? releaseValue(*release) : val::null());
    return value;
  }
  // WebCrypto's answers: the digest (null when hashing failed), whether the signature verified.
  void answerDigest(unsigned index, const val& digest) {
    std::optional<feed::Sha256Digest> answer;
    if (!digest.isNull()) {
      const auto bytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(digest);
      if (bytes.size() == answer.emplace().size())
        std::copy(bytes.begin(), bytes.end(), answer->begin());
      else
        answer.reset();
    }
    feed_.crypto().answerDigest(index, answer);
  }
  void answerVerification(unsigned index, bool verified) { feed_.crypto().answerVerification(index, verified); }

 private:
  PageFeed feed_;
};

}  // namespace

EMSCRIPTEN_BINDINGS(morvik_feed) {
  emscripten::class_<Feed>("Feed")
      .constructor<>()
      .function("verifyFeed", &Feed::verifyFeed)
      .function("checkRelease", &Feed::checkRelease)
      .function("releaseOf", &Feed::releaseOf)
      .function("answerDigest", &Feed::answerDigest)
      .function("answerVerification", &Feed::answerVerification);
  emscripten::constant("maxFeedBytes", static_cast<std::uint32_t>(feed::kMaxFeedBytes));
  emscripten::constant("maxSignatureBytes", static_cast<std::uint32_t>(feed::kMaxSignatureFileBytes));
}

}  // namespace morvik::web
