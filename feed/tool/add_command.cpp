#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "console/printable_text.h"
#include "morvik/version_text.h"
#include "feed/feed_files.h"
#include "feed_folder.h"
#include "morvik/feed/feed_json.h"
#include "morvik/feed/feed_text.h"
#include "morvik/feed/openssl_feed_crypto.h"
#include "tool_commands.h"

namespace morvik::feed {
namespace {

std::string todayUtc() { return formatUtcTime(utcNow()).substr(0, 10); }

// Puts the image into the folder under its name; one already there must be the same bytes.
std::optional<std::string> copyIntoFolder(const std::string& destination, const ImageBytes& bytes) {
  const auto present = cli::readFileBounded(destination, kMaxReleaseBytes);
  if (const auto* held = std::get_if<std::vector<std::uint8_t>>(&present)) {
    if (*held == bytes) return std::nullopt;
    return destination + " already exists with other contents";
  }
  if (!std::get<cli::FileError>(present).missing) return std::get<cli::FileError>(present).sentence;
  if (auto error = cli::writeFileWhole(destination, bytes)) return error->sentence;
  return std::nullopt;
}

}  // namespace

int addCommand(const ToolOptions& options) {
  const std::string& folder = options.target;
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    return refuse("cannot make the folder " + cli::printable(folder) + ": " + std::strerror(errno));
  }
  auto loaded = loadFeed(folder);
  if (const auto* error = std::get_if<std::string>(&loaded)) return refuse(cli::printable(*error));
  Feed feed = std::get<Feed>(std::move(loaded));

  auto read = cli::readFileBounded(options.image, kMaxReleaseBytes);
  if (const auto* error = std::get_if<cli::FileError>(&read)) return refuse(cli::printable(error->sentence));
  const auto bytes = std::make_shared<const ImageBytes>(std::get<std::vector<std::uint8_t>>(std::move(read)));
  const auto checked = checkImage(bytes);
  if (const auto* problem = std::get_if<ImageProblem>(&checked)) {
    return refuse("cannot add " + cli::printable(options.image) + ": " + std::string(problemName(*problem)));
  }
  const std::uint32_t version = std::get<CheckedImage>(checked).header.version;
  const std::string file = std::filesystem::path(options.image).filename().string();
  const auto listed = [&](const auto& test) { return std::any_of(feed.releases.begin(), feed.releases.end(), test); };
  if (listed([&](const Release& release) { return release.version == version; })) {
    return refuse("the feed already lists version " + versionText(version));
  }
  if (!isPlainFileName(file)) {
    return refuse("the image's name " + cli::printable(file) +
                  " is not a plain file name (letters, digits, '.', '_', '-', '+'): rename it");
  }
  if (listed([&](const Release& release) { return release.file == file; })) {
    return refuse("the feed already lists a release in " + file);
  }
  const auto urgency = urgencyNamed(options.urgency.value_or("medium"));
  if (!urgency) return refuse("--urgency is low, medium, high or critical");
  const std::string date = options.date.value_or(todayUtc());
  if (!isCalendarDate(date)) return refuse("--date is a date written YYYY-MM-DD");
  const auto digest = OpenSslFeedCrypto().sha256(*bytes);
  if (!digest) return refuse("libcrypto could not hash the image");

  feed.releases.push_back({version, versionText(version), file, bytes->size(), *digest, date, *urgency,
                           *options.notesEn, *options.notesZh});
  const auto json = publishableJson(feed);
  if (!json) return refuse("the notes are not UTF-8 text");
  if (auto error = copyIntoFolder(inFolder(folder, file), *bytes)) return refuse(cli::printable(*error));
  if (auto error = cli::writeFileWhole(inFolder(folder, kFeedFile), cli::bytesOf(*json))) {
    return refuse(cli::printable(error->sentence));
  }
  // The old signature is of the old list: keeping it would publish a feed that fails to verify.
  ::unlink(inFolder(folder, kSignatureFile).c_str());
  std::cout << "Added version " << versionText(version) << " (" << file << ", " << bytes->size() << " bytes, SHA-256 "
            << digestHex(*digest) << ") to " << cli::printable(inFolder(folder, kFeedFile))
            << ".\nSign the feed again: morvik-feed sign " << cli::printable(folder) << " --key KEY.pem\n";
  return 0;
}

}  // namespace morvik::feed
