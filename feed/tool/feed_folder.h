// The folder a maker publishes: feed.json, feed.json.sig and the images beside them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "morvik/feed/feed.h"
#include "morvik/feed/feed_crypto.h"

namespace morvik::feed {

inline constexpr const char* kFeedFile = "feed.json";
inline constexpr const char* kSignatureFile = "feed.json.sig";
inline constexpr const char* kProductName = "Morvik GamePad";

std::string inFolder(const std::string& folder, const std::string& name);
std::chrono::sys_seconds utcNow();

// The folder's feed.json as it stands (unsigned, while releases are added), or a new empty feed
// when there is none yet; a sentence when it cannot be read.
std::variant<Feed, std::string> loadFeed(const std::string& folder);
// The feed.json text of `feed`, read back before it is handed out: nothing when some text did
// not survive the writing (not UTF-8), so that nothing is published changed.
std::optional<std::string> publishableJson(const Feed& feed);

// The files beside feed.json, each whole and bounded; a sentence when one cannot be had.
struct FeedFiles {
  std::string feedLocation;  // for messages: the folder's feed.json, or its URL
  std::function<std::variant<std::vector<std::uint8_t>, std::string>(const std::string& name, std::uint64_t limit)>
      fetch;
};

FeedFiles folderFiles(const std::string& folder);
// A folder's, or a URL's (https, file://, http to this machine; `caCertificates` for https).
std::variant<FeedFiles, std::string> feedFilesAt(const std::string& target,
                                                 const std::optional<std::string>& caCertificates);

// Why the release's image is not the one the feed lists, or nothing when it is.
std::optional<std::string> checkImageOf(const FeedFiles& files, const Release& release, FeedCrypto& crypto);

}  // namespace morvik::feed
