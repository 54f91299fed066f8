#include "feed_folder.h"

#include "feed/feed_files.h"
#include "morvik/feed/feed_json.h"
#include "morvik/feed/feed_verification.h"

namespace morvik::feed {

using cli::bytesOf;
using cli::FileError;
using cli::readFileBounded;

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::chrono::sys_seconds utcNow() { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); }

std::variant<Feed, std::string> loadFeed(const std::string& folder) {
  auto read = readFileBounded(inFolder(folder, kFeedFile), kMaxFeedBytes);
  if (const auto* error = std::get_if<FileError>(&read)) {
    if (!error->missing) return error->sentence;
    return Feed{kFeedSchema, kProductName, 0, utcNow(), utcNow(), {}};
  }
  auto feed = parseFeedJson(std::get<std::vector<std::uint8_t>>(read));
  if (const auto* refusal = std::get_if<FeedRefusal>(&feed))
    return inFolder(folder, kFeedFile) + ": " + describeRefusal(*refusal);
  return std::get<Feed>(std::move(feed));
}

std::optional<std::string> publishableJson(const Feed& feed) {
  std::string json = writeFeedJson(feed);
  const auto back = parseFeedJson(bytesOf(json));
  if (!std::holds_alternative<Feed>(back) || std::get<Feed>(back) != feed) return std::nullopt;
  return json;
}

std::optional<std::string> checkFolderImage(const std::string& folder, const Release& release, FeedCrypto& crypto) {
  auto read = readFileBounded(inFolder(folder, release.file), kMaxReleaseBytes);
  if (const auto* error = std::get_if<FileError>(&read)) return error->sentence;
  auto bytes = std::make_shared<const ImageBytes>(std::get<std::vector<std::uint8_t>>(std::move(read)));
  const auto checked = checkReleaseImage(release, std::move(bytes), crypto);
  if (const auto* refusal = std::get_if<FeedRefusal>(&checked)) return release.file + ": " + describeRefusal(*refusal);
  return std::nullopt;
}

}  // namespace morvik::feed
