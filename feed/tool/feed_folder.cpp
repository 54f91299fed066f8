#include "feed_folder.h"

#include "feed/feed_files.h"
#include "feed/feed_origin.h"
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

FeedFiles folderFiles(const std::string& folder) {
  return FeedFiles{
      inFolder(folder, kFeedFile),
      [folder](const std::string& name, std::uint64_t limit) -> std::variant<std::vector<std::uint8_t>, std::string> {
        auto read = readFileBounded(inFolder(folder, name), limit);
        if (const auto* error = std::get_if<FileError>(&read)) return error->sentence;
        return std::get<std::vector<std::uint8_t>>(std::move(read));
      }};
}

std::variant<FeedFiles, std::string> feedFilesAt(const std::string& target,
                                                 const std::optional<std::string>& caCertificates) {
  if (target.find("://") == std::string::npos) return folderFiles(target);
  auto origin = cli::FeedOrigin::fromUrl(target);
  if (const auto* error = std::get_if<std::string>(&origin)) return *error;
  const cli::FeedOrigin& at = std::get<cli::FeedOrigin>(origin);
  return FeedFiles{
      at.urlOf(kFeedFile),
      [at, settings = cli::DownloadSettings{caCertificates}](
          const std::string& name, std::uint64_t limit) -> std::variant<std::vector<std::uint8_t>, std::string> {
        auto got = at.fetch(name, limit, settings);
        if (const auto* failure = std::get_if<cli::FetchFailure>(&got)) return failure->sentence;
        return std::get<std::vector<std::uint8_t>>(std::move(got));
      }};
}

// Why the release's image is not the one the feed lists, or nothing when it is.
std::optional<std::string> checkImageOf(const FeedFiles& files, const Release& release, FeedCrypto& crypto) {
  auto got = files.fetch(release.file, release.size);
  if (const auto* error = std::get_if<std::string>(&got)) return *error;
  auto bytes = std::make_shared<const ImageBytes>(std::get<std::vector<std::uint8_t>>(std::move(got)));
  const auto checked = checkReleaseImage(release, std::move(bytes), crypto);
  if (const auto* refusal = std::get_if<FeedRefusal>(&checked)) return release.file + ": " + describeRefusal(*refusal);
  return std::nullopt;
}

}  // namespace morvik::feed
