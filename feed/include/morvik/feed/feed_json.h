// feed.json and feed.json.sig as bytes: reading them strictly, and writing them as the maker's
// tool publishes them. docs/feed.md describes both.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "morvik/feed/feed.h"
#include "morvik/feed/feed_crypto.h"
#include "morvik/feed/feed_problem.h"

namespace morvik::feed {

inline constexpr std::string_view kSignatureAlgorithm = "ecdsa-p256-sha256";
// feed.json.sig holds a key id, a name and 88 characters of base64.
inline constexpr std::size_t kMaxSignatureFileBytes = 4096;

// The feed in `json`, with every field checked (types, times, digests, file names, sizes,
// versions given once). It says nothing of the signature, the expiry or the serial: read a
// feed through verifyFeed.
std::variant<Feed, FeedRefusal> parseFeedJson(std::span<const std::uint8_t> json);
// The feed as feed.json text: one field a line, releases in the feed's order.
std::string writeFeedJson(const Feed& feed);

struct FeedSignature {
  std::string keyId;
  std::array<std::uint8_t, kRawSignatureBytes> signature{};
};

// feed.json.sig's key id and signature: refused when it is not that object, names another
// algorithm, or its signature is not 64 bytes of base64.
std::variant<FeedSignature, FeedRefusal> parseSignatureJson(std::span<const std::uint8_t> json);
std::string writeSignatureJson(const FeedSignature& signature);

// Whether `name` may be a release's file: letters, digits, '.', '_', '-' and '+', not starting
// with '.', without "..", at most 128 characters. Nothing else reaches a path or a URL.
bool isPlainFileName(std::string_view name);

}  // namespace morvik::feed
