#include <iostream>

#include "console/printable_text.h"
#include "feed/feed_files.h"
#include "feed_folder.h"
#include "morvik/feed/built_in_keys.h"
#include "morvik/feed/feed_json.h"
#include "morvik/feed/feed_text.h"
#include "morvik/feed/feed_verification.h"
#include "morvik/feed/openssl_feed_crypto.h"
#include "tool_commands.h"

namespace morvik::feed {
namespace {

constexpr std::uint64_t kMaxKeyFileBytes = 64 * 1024;

// The keys of --key, or the build's own; a sentence when there are none to trust.
std::variant<std::vector<TrustedKey>, std::string> keysToTrust(const ToolOptions& options, FeedCrypto& crypto) {
  std::string pem(builtInFeedKeysPem());
  if (options.key) {
    const auto read = cli::readFileBounded(*options.key, kMaxKeyFileBytes);
    if (const auto* error = std::get_if<cli::FileError>(&read)) return error->sentence;
    const auto& bytes = std::get<std::vector<std::uint8_t>>(read);
    pem.assign(bytes.begin(), bytes.end());
  }
  auto keys = trustedKeysFromPem(pem, crypto);
  if (!keys) return (options.key ? *options.key : std::string("the built-in keys")) + " hold a broken or non-P-256 key";
  if (keys->empty() && !options.key) {
    return "this build trusts no feed key (it was built without MORVIK_FEED_KEYS): give --key PUB.pem";
  }
  if (keys->empty()) return *options.key + " holds no PEM public key";
  return std::move(*keys);
}

void printRelease(const Release& release, const std::optional<std::string>& problem) {
  std::cout << "  " << cli::printable(release.versionText) << "  " << release.date << "  "
            << urgencyName(release.urgency) << "  " << release.file << "  " << release.size << " bytes  "
            << (problem ? "REFUSED: " + cli::printable(*problem) : std::string("image verified")) << "\n"
            << "      en: " << cli::printable(release.notesEn) << "\n"
            << "      zh: " << cli::printable(release.notesZh) << "\n";
}

}  // namespace

int verifyCommand(const ToolOptions& options) {
  const auto source = feedFilesAt(options.target, options.caCertificates);
  if (const auto* error = std::get_if<std::string>(&source)) return refuse(cli::printable(*error));
  const FeedFiles& files = std::get<FeedFiles>(source);
  OpenSslFeedCrypto crypto;
  auto keys = keysToTrust(options, crypto);
  if (const auto* error = std::get_if<std::string>(&keys)) return refuse(cli::printable(*error));

  const auto feedJson = files.fetch(kFeedFile, kMaxFeedBytes);
  if (const auto* error = std::get_if<std::string>(&feedJson)) return refuse(cli::printable(*error));
  const auto signatureJson = files.fetch(kSignatureFile, kMaxSignatureFileBytes);
  if (const auto* error = std::get_if<std::string>(&signatureJson)) return refuse(cli::printable(*error));
  const FeedTrust trust{std::get<std::vector<TrustedKey>>(keys), crypto, utcNow(), nullptr};
  const auto verified = verifyFeed(std::get<std::vector<std::uint8_t>>(feedJson),
                                   std::get<std::vector<std::uint8_t>>(signatureJson), trust);
  if (const auto* refusal = std::get_if<FeedRefusal>(&verified)) {
    return refuse(cli::printable(files.feedLocation) + ": " + cli::printable(describeRefusal(*refusal)));
  }
  const auto& [feed, keyId] = std::get<VerifiedFeed>(verified);
  std::cout << cli::printable(files.feedLocation) << ": " << cli::printable(feed.product) << ", signed by key " << keyId
            << ", serial " << feed.serial << ", issued " << formatUtcTime(feed.issued) << ", expires "
            << formatUtcTime(feed.expires) << ", " << feed.releases.size() << " release"
            << (feed.releases.size() == 1 ? "" : "s") << "\n";
  std::size_t refused = 0;
  for (const Release& release : feed.releases) {
    const auto problem = checkImageOf(files, release, crypto);
    refused += problem.has_value();
    printRelease(release, problem);
  }
  if (refused) return refuse(std::to_string(refused) + " of the feed's images did not verify");
  std::cout << "The feed and every image verified.\n";
  return 0;
}

}  // namespace morvik::feed
