#include "feed/feed_release.h"

#include "console/printable_text.h"
#include "morvik/version_text.h"
#include "feed/feed_cache.h"
#include "feed/feed_files.h"
#include "morvik/feed/built_in_keys.h"
#include "morvik/feed/feed_json.h"
#include "morvik/feed/openssl_feed_crypto.h"

namespace morvik::cli {
namespace {

using feed::FeedRefusal;

constexpr const char* kFeedFile = "feed.json";
constexpr const char* kSignatureFile = "feed.json.sig";
constexpr std::uint64_t kMaxKeyFileBytes = 64 * 1024;

ExitCode exitCodeOf(FetchProblem problem) {
  switch (problem) {
    case FetchProblem::Unreadable: return ExitCode::DownloadFailed;
    case FetchProblem::HostNotFound: return ExitCode::HostNotFound;
    case FetchProblem::ConnectionFailed: return ExitCode::ConnectionFailed;
    case FetchProblem::TlsFailed: return ExitCode::TlsFailed;
    case FetchProblem::HttpError: return ExitCode::HttpError;
    case FetchProblem::TooLarge: return ExitCode::DownloadTooLarge;
    case FetchProblem::CutShort: return ExitCode::DownloadCutShort;
    case FetchProblem::Stalled: return ExitCode::DownloadStalled;
    case FetchProblem::TooManyRedirects: return ExitCode::TooManyRedirects;
    case FetchProblem::Other: return ExitCode::DownloadFailed;
  }
  return ExitCode::DownloadFailed;
}

FeedFailure failureOf(const FetchFailure& failure) { return {exitCodeOf(failure.problem), failure.sentence}; }

// The built-in keys and --feed-key's.
std::variant<std::vector<feed::TrustedKey>, FeedFailure> trustedKeys(const FeedRequest& request,
                                                                     feed::FeedCrypto& crypto) {
  std::string pem(feed::builtInFeedKeysPem());
  if (request.keyFile) {
    const auto read = readFileBounded(*request.keyFile, kMaxKeyFileBytes);
    if (const auto* error = std::get_if<FileError>(&read)) return FeedFailure{ExitCode::Usage, error->sentence};
    const auto& bytes = std::get<std::vector<std::uint8_t>>(read);
    const auto given = feed::parsePublicKeysPem(std::string(bytes.begin(), bytes.end()));
    if (!given || given->empty()) {
      return FeedFailure{ExitCode::Usage, "--feed-key " + *request.keyFile + " holds no P-256 public key in PEM"};
    }
    pem += "\n" + std::string(bytes.begin(), bytes.end());
  }
  auto keys = feed::trustedKeysFromPem(pem, crypto);
  if (!keys) return FeedFailure{ExitCode::Error, "the built-in feed keys cannot be read"};
  return std::move(*keys);
}

// A file of the feed: from the origin (and then kept in the cache), or with --offline from the
// cache alone.
std::variant<std::vector<std::uint8_t>, FeedFailure> feedFile(const FetchedFeed& fetched, const std::string& name,
                                                              std::uint64_t limit, const FeedRequest& request,
                                                              const DownloadSettings& settings) {
  if (request.offline) {
    auto read = fetched.cacheFolder ? readFileBounded(*fetched.cacheFolder + name, limit)
                                    : std::variant<std::vector<std::uint8_t>, FileError>(FileError{"", true});
    if (const auto* error = std::get_if<FileError>(&read)) {
      if (error->missing) {
        return FeedFailure{ExitCode::NotCached, "--offline: no verified copy of " + fetched.origin.urlOf(name) +
                                                    " is cached (run once without --offline)"};
      }
      return FeedFailure{ExitCode::NotCached, error->sentence};
    }
    return std::get<std::vector<std::uint8_t>>(std::move(read));
  }
  auto got = fetched.origin.fetch(name, limit, settings);
  if (const auto* failure = std::get_if<FetchFailure>(&got)) return failureOf(*failure);
  return std::get<std::vector<std::uint8_t>>(std::move(got));
}

DownloadSettings settingsOf(const FeedRequest& request) {
  return DownloadSettings{request.caCertificates, request.progress};
}

}  // namespace

FeedRequest feedRequestOf(const CliOptions& options) {
  return {options.feedUrl, options.caCertificates, options.feedKey, options.release, options.offline};
}

bool asksForFeed(const FeedRequest& request) {
  return request.url || request.caCertificates || request.keyFile || request.offline ||
         !std::string_view(MORVIK_FEED_URL).empty();
}

ExitCode refuseFeed(const FeedFailure& failure, std::ostream& err) {
  err << "morvik-update: " << printable(failure.sentence) << ".\n";
  return failure.code;
}

std::variant<FetchedFeed, FeedFailure> fetchFeed(const FeedRequest& request, std::ostream& notes) {
  const std::string url = request.url.value_or(MORVIK_FEED_URL);
  if (url.empty()) {
    return FeedFailure{ExitCode::NoFeed,
                       "this build knows no firmware feed: give its address with --feed URL "
                       "(or build with -DMORVIK_FEED_URL=URL)"};
  }
  auto origin = FeedOrigin::fromUrl(url);
  if (const auto* error = std::get_if<std::string>(&origin)) return FeedFailure{ExitCode::Usage, *error};
  feed::OpenSslFeedCrypto crypto;
  auto keys = trustedKeys(request, crypto);
  if (auto* failure = std::get_if<FeedFailure>(&keys)) return std::move(*failure);
  auto memory = SerialMemory::load();
  if (const auto* error = std::get_if<FileError>(&memory)) {
    return FeedFailure{ExitCode::Error, error->sentence + " (they are how an old feed is told apart)"};
  }
  SerialMemory& serials = std::get<SerialMemory>(memory);

  const FeedOrigin& at = std::get<FeedOrigin>(origin);
  FetchedFeed fetched{{}, at, at.urlOf(kFeedFile), feedCacheFolder(at.folderUrl())};
  const DownloadSettings settings = settingsOf(request);
  auto feedJson = feedFile(fetched, kFeedFile, feed::kMaxFeedBytes, request, settings);
  if (auto* failure = std::get_if<FeedFailure>(&feedJson)) return std::move(*failure);
  auto signatureJson = feedFile(fetched, kSignatureFile, feed::kMaxSignatureFileBytes, request, settings);
  if (auto* failure = std::get_if<FeedFailure>(&signatureJson)) return std::move(*failure);

  const auto& feedBytes = std::get<std::vector<std::uint8_t>>(feedJson);
  const auto& signatureBytes = std::get<std::vector<std::uint8_t>>(signatureJson);
  const feed::FeedTrust trust{std::get<std::vector<feed::TrustedKey>>(keys), crypto,
                              std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()),
                              [&serials](const std::string& keyId) { return serials.highest(keyId); }};
  auto verified = feed::verifyFeed(feedBytes, signatureBytes, trust);
  if (const auto* refusal = std::get_if<FeedRefusal>(&verified)) {
    return FeedFailure{ExitCode::FeedRefused, "the feed " + fetched.url + " is refused: " + describeRefusal(*refusal)};
  }
  fetched.verified = std::get<feed::VerifiedFeed>(std::move(verified));
  if (auto error = serials.remember(fetched.verified.keyId, fetched.verified.feed.serial)) {
    notes << "morvik-update: " << error->sentence << " (an older feed could pass next time).\n";
  }
  // Only a verified feed is kept, so that --offline starts from one.
  if (fetched.cacheFolder && !request.offline) {
    for (const auto& [name, bytes] : {std::pair{kFeedFile, &feedBytes}, std::pair{kSignatureFile, &signatureBytes}}) {
      if (auto error = writeFileWhole(*fetched.cacheFolder + name, *bytes))
        notes << "morvik-update: " << error->sentence << ".\n";
    }
  }
  return fetched;
}

std::variant<ReleaseImage, FeedFailure> fetchRelease(const FetchedFeed& fetched, const FeedRequest& request) {
  const feed::Feed& verifiedFeed = fetched.verified.feed;
  const std::string& keyId = fetched.verified.keyId;
  auto chosen = feed::chooseRelease(verifiedFeed, request.version);
  if (std::holds_alternative<FeedRefusal>(chosen)) {
    const std::string which = request.version ? "release " + versionText(*request.version) : "any release";
    return FeedFailure{ExitCode::FeedRefused, "the feed " + fetched.url + " has no " + which};
  }
  const feed::Release& release = std::get<feed::Release>(chosen);
  feed::OpenSslFeedCrypto crypto;
  const auto verify = [&](std::vector<std::uint8_t> bytes) {
    return feed::checkReleaseImage(release, std::make_shared<const ImageBytes>(std::move(bytes)), crypto);
  };
  const auto result = [&](CheckedImage image, std::string source) {
    return ReleaseImage{release, std::move(image), std::move(source), verifiedFeed.serial, keyId};
  };
  const std::optional<std::string> cached =
      fetched.cacheFolder ? std::optional(*fetched.cacheFolder + release.file) : std::nullopt;
  if (cached) {
    auto read = readFileBounded(*cached, feed::kMaxReleaseBytes);
    if (auto* bytes = std::get_if<std::vector<std::uint8_t>>(&read)) {
      auto checked = verify(std::move(*bytes));
      if (auto* image = std::get_if<CheckedImage>(&checked)) return result(std::move(*image), *cached);
      if (request.offline) {
        return FeedFailure{ExitCode::FeedRefused, "the cached image " + *cached + " is refused: " +
                                                      describeRefusal(std::get<FeedRefusal>(checked))};
      }
    }
  }
  auto bytes = feedFile(fetched, release.file, release.size, request, settingsOf(request));
  if (auto* failure = std::get_if<FeedFailure>(&bytes)) return std::move(*failure);
  auto checked = verify(std::get<std::vector<std::uint8_t>>(std::move(bytes)));
  if (const auto* refusal = std::get_if<FeedRefusal>(&checked)) {
    return FeedFailure{ExitCode::FeedRefused,
                       "the image " + fetched.origin.urlOf(release.file) + " is refused: " + describeRefusal(*refusal)};
  }
  auto& image = std::get<CheckedImage>(checked);
  const bool kept = cached && !writeFileWhole(*cached, *image.bytes);
  return result(std::move(image), kept ? *cached : fetched.origin.urlOf(release.file));
}

}  // namespace morvik::cli
