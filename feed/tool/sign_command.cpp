#include <iostream>
#include <limits>

#include "console/printable_text.h"
#include "feed/feed_files.h"
#include "feed_folder.h"
#include "morvik/feed/feed_json.h"
#include "morvik/feed/feed_text.h"
#include "morvik/feed/openssl_feed_crypto.h"
#include "morvik/feed/signing_key.h"
#include "tool_commands.h"

namespace morvik::feed {
namespace {

constexpr std::uint64_t kMaxKeyFileBytes = 64 * 1024;

}  // namespace

int signCommand(const ToolOptions& options) {
  const std::string& folder = options.target;
  auto loaded = loadFeed(folder);
  if (const auto* error = std::get_if<std::string>(&loaded)) return refuse(cli::printable(*error));
  Feed feed = std::get<Feed>(std::move(loaded));
  if (feed.releases.empty()) return refuse(cli::printable(folder) + " lists no release: add one first");

  const auto keyFile = cli::readFileBounded(*options.key, kMaxKeyFileBytes);
  if (const auto* error = std::get_if<cli::FileError>(&keyFile)) return refuse(cli::printable(error->sentence));
  const auto& keyBytes = std::get<std::vector<std::uint8_t>>(keyFile);
  const auto key = SigningKey::fromPem(std::string(keyBytes.begin(), keyBytes.end()));
  const auto publicDer = key ? key->publicKeyDer() : std::nullopt;
  if (!publicDer) return refuse(cli::printable(*options.key) + " is not a P-256 private key");

  // A feed that names an image not beside it, or not as listed, is never signed.
  OpenSslFeedCrypto crypto;
  const FeedFiles files = folderFiles(folder);
  for (const Release& release : feed.releases) {
    if (auto error = checkImageOf(files, release, crypto)) return refuse(cli::printable(*error));
  }
  if (feed.serial == std::numeric_limits<std::uint64_t>::max()) return refuse("the serial cannot rise any further");
  ++feed.serial;
  feed.issued = utcNow();
  feed.expires = feed.issued + std::chrono::days{options.expiresDays};
  const auto json = publishableJson(feed);
  const auto signature = json ? key->sign(cli::bytesOf(*json)) : std::nullopt;
  const auto id = keyIdOf(*publicDer, crypto);
  // Checked as an updater will check it, before anything is written.
  if (!signature || !id || !crypto.verifyP256Sha256(*publicDer, cli::bytesOf(*json), *signature)) {
    return refuse("the feed could not be signed");
  }
  if (auto error = cli::writeFileWhole(inFolder(folder, kFeedFile), cli::bytesOf(*json))) {
    return refuse(cli::printable(error->sentence));
  }
  const std::string signatureJson = writeSignatureJson({*id, *signature});
  if (auto error = cli::writeFileWhole(inFolder(folder, kSignatureFile), cli::bytesOf(signatureJson))) {
    return refuse(cli::printable(error->sentence));
  }
  std::cout << "Signed " << cli::printable(inFolder(folder, kFeedFile)) << " with key " << *id << ": serial "
            << feed.serial << ", " << feed.releases.size() << " release" << (feed.releases.size() == 1 ? "" : "s")
            << ", expires " << formatUtcTime(feed.expires) << ".\n";
  return 0;
}

}  // namespace morvik::feed
