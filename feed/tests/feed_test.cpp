// Feeds are written, signed with keys made for this run (no private key is kept anywhere) and
// verified as a front-end verifies them: each row changes one thing and names the refusal.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>

#include "morvik/feed/feed_json.h"
#include "morvik/feed/feed_text.h"
#include "morvik/feed/feed_verification.h"
#include "morvik/feed/openssl_feed_crypto.h"
#include "morvik/feed/signing_key.h"

namespace morvik::feed {
namespace {

using nlohmann::json;
using namespace std::chrono;

const sys_seconds kIssued = sys_days{2026y / 12 / 1};
const sys_seconds kNow = kIssued + days{3};

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

ImageBytes imageBytes(std::uint32_t version, std::uint32_t imageLength, std::size_t payload) {
  const auto header = FirmwareHeader{version, 0x11223344, imageLength, {}}.encode();
  ImageBytes bytes(header.begin(), header.end());
  for (std::size_t i = 0; i < payload; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
  return bytes;
}

Release releaseOf(std::uint32_t version, const ImageBytes& image) {
  return {version,
          std::to_string(version / 100) + "." + std::to_string(version % 100),
          "pad-" + std::to_string(version) + ".dat",
          image.size(),
          *OpenSslFeedCrypto().sha256(image),
          "2026-11-28",
          Urgency::High,
          "Fixes the D-pad.",
          "修复方向键。"};
}

class FeedTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (auto* key : {&first_, &second_, &stranger_}) *key = SigningKey::generate();
    const std::string pem = publicKeyPem(*first_->publicKeyDer()) + publicKeyPem(*second_->publicKeyDer());
    trusted_ = *trustedKeysFromPem(pem, crypto_);
  }

  static Feed goodFeed() {
    return {kFeedSchema,
            "Morvik GamePad",
            7,
            kIssued,
            kIssued + days{30},
            {releaseOf(110, imageBytes(110, 100, 100)), releaseOf(123, imageBytes(123, 100, 100))}};
  }
  // The signature file of `feedJson` by `key`, naming the key `claimedBy` (the signer's own by default).
  static std::string signatureBy(const SigningKey& key, const std::string& feedJson,
                                 const SigningKey* claimedBy = nullptr) {
    const auto id = keyIdOf(*(claimedBy ? claimedBy : &key)->publicKeyDer(), crypto_);
    return writeSignatureJson({*id, *key.sign(bytesOf(feedJson))});
  }
  std::variant<VerifiedFeed, FeedRefusal> verify(const std::string& feedJson, const std::string& signature,
                                                 sys_seconds now = kNow, std::optional<std::uint64_t> seen = {}) {
    const FeedTrust trust{trusted_, crypto_, now, [&](const std::string&) { return seen; }};
    return verifyFeed(bytesOf(feedJson), bytesOf(signature), trust);
  }

  static inline OpenSslFeedCrypto crypto_;
  static inline std::optional<SigningKey> first_, second_, stranger_;
  static inline std::vector<TrustedKey> trusted_;
};

enum class Signer { First, Second, Stranger, StrangerClaimingFirst };

struct FeedCase {
  const char* name;
  std::function<void(json&)> editFeed = nullptr;           // before signing
  std::function<void(std::string&)> editSigned = nullptr;  // after signing: the bytes in transit
  std::function<void(json&)> editSignature = nullptr;
  Signer signer = Signer::First;
  sys_seconds now = kNow;
  std::optional<std::uint64_t> seenSerial = std::nullopt;
  std::optional<FeedProblem> refusal = std::nullopt;  // nothing: the feed is accepted
};

std::function<void(json&)> setRelease(const char* field, json value) {
  return [=](json& feed) { feed["releases"][0][field] = value; };
}

TEST_F(FeedTest, EachRuleRefusesItsFeedByName) {
  const FeedCase cases[] = {
      {.name = "good"},
      {.name = "the second trusted key", .signer = Signer::Second},
      {.name = "a serial seen before, again", .seenSerial = 7},
      {.name = "a flipped byte",
       .editSigned = [](std::string& bytes) { bytes[bytes.find("GamePad")] ^= 0x20; },
       .refusal = FeedProblem::BadSignature},
      {.name = "an untrusted key", .signer = Signer::Stranger, .refusal = FeedProblem::UnknownKey},
      {.name = "another key than it names",
       .signer = Signer::StrangerClaimingFirst,
       .refusal = FeedProblem::BadSignature},
      {.name = "another algorithm",
       .editSignature = [](json& sig) { sig["algorithm"] = "ecdsa-p384-sha384"; },
       .refusal = FeedProblem::UnsupportedAlgorithm},
      {.name = "a signature cut short",
       .editSignature = [](json& sig) { sig["signature"] = "AAAA"; },
       .refusal = FeedProblem::SignatureUnreadable},
      {.name = "expired", .now = kIssued + days{30}, .refusal = FeedProblem::Expired},
      {.name = "a lower serial", .seenSerial = 8, .refusal = FeedProblem::SerialRolledBack},
      {.name = "larger than 1 MiB",
       .editFeed = [](json& feed) { feed["padding"] = std::string(kMaxFeedBytes, ' '); },
       .refusal = FeedProblem::FeedTooLarge},
      {.name = "larger than 1 MiB, read up to the limit and a byte",
       .editFeed = [](json& feed) { feed["padding"] = std::string(kMaxFeedBytes, ' '); },
       .editSigned = [](std::string& bytes) { bytes.resize(kMaxFeedBytes + 1); },
       .refusal = FeedProblem::FeedTooLarge},
      {.name = "a newer schema",
       .editFeed = [](json& feed) { feed["schema"] = 2; },
       .refusal = FeedProblem::UnsupportedSchema},
      {.name = "no serial", .editFeed = [](json& feed) { feed.erase("serial"); }, .refusal = FeedProblem::FieldMissing},
      {.name = "a serial in quotes",
       .editFeed = [](json& feed) { feed["serial"] = "8"; },
       .refusal = FeedProblem::FieldWrongType},
      {.name = "a negative serial",
       .editFeed = [](json& feed) { feed["serial"] = -1; },
       .refusal = FeedProblem::BadValue},
      {.name = "releases not a list",
       .editFeed = [](json& feed) { feed["releases"] = json::object(); },
       .refusal = FeedProblem::FieldWrongType},
      {.name = "a release without digest",
       .editFeed = [](json& feed) { feed["releases"][0].erase("sha256"); },
       .refusal = FeedProblem::FieldMissing},
      {.name = "Chinese notes as a number",
       .editFeed = [](json& feed) { feed["releases"][1]["notes"]["zh"] = 1; },
       .refusal = FeedProblem::FieldWrongType},
      {.name = "a version beyond 32 bits",
       .editFeed = setRelease("version", 1ull << 32),
       .refusal = FeedProblem::BadValue},
      {.name = "an impossible expiry",
       .editFeed = [](json& feed) { feed["expires"] = "2026-02-30T00:00:00Z"; },
       .refusal = FeedProblem::BadTime},
      {.name = "a date without dashes", .editFeed = setRelease("date", "20261128"), .refusal = FeedProblem::BadTime},
      {.name = "an unknown urgency", .editFeed = setRelease("urgency", "urgent"), .refusal = FeedProblem::BadValue},
      {.name = "a version twice", .editFeed = setRelease("version", 123), .refusal = FeedProblem::DuplicateVersion},
      {.name = "a file up the tree",
       .editFeed = setRelease("file", "../pad.dat"),
       .refusal = FeedProblem::UnsafeFileName},
      {.name = "a file in a folder",
       .editFeed = setRelease("file", "old/pad.dat"),
       .refusal = FeedProblem::UnsafeFileName},
      {.name = "a Windows path",
       .editFeed = setRelease("file", "old\\pad.dat"),
       .refusal = FeedProblem::UnsafeFileName},
      {.name = "a URL", .editFeed = setRelease("file", "https:pad.dat"), .refusal = FeedProblem::UnsafeFileName},
      {.name = "an escaped slash",
       .editFeed = setRelease("file", "%2e%2e%2fpad.dat"),
       .refusal = FeedProblem::UnsafeFileName},
      {.name = "no file name", .editFeed = setRelease("file", ""), .refusal = FeedProblem::UnsafeFileName},
      {.name = "a size beyond the limit",
       .editFeed = setRelease("size", kMaxReleaseBytes + 1),
       .refusal = FeedProblem::SizeTooLarge},
      {.name = "a digest of 62 digits",
       .editFeed = setRelease("sha256", std::string(62, 'a')),
       .refusal = FeedProblem::BadDigest},
      {.name = "a digest of 66 digits",
       .editFeed = setRelease("sha256", std::string(66, 'a')),
       .refusal = FeedProblem::BadDigest},
      {.name = "a digest not in hex",
       .editFeed = setRelease("sha256", std::string(64, 'g')),
       .refusal = FeedProblem::BadDigest},
  };
  for (const FeedCase& row : cases) {
    SCOPED_TRACE(row.name);
    json feed = json::parse(writeFeedJson(goodFeed()));
    if (row.editFeed) row.editFeed(feed);
    std::string bytes = feed.dump(2);
    const SigningKey& signer = row.signer == Signer::First    ? *first_
                               : row.signer == Signer::Second ? *second_
                                                              : *stranger_;
    json signature =
        json::parse(signatureBy(signer, bytes, row.signer == Signer::StrangerClaimingFirst ? &*first_ : nullptr));
    if (row.editSignature) row.editSignature(signature);
    if (row.editSigned) row.editSigned(bytes);
    const auto result = verify(bytes, signature.dump(), row.now, row.seenSerial);
    if (!row.refusal) {
      ASSERT_TRUE(std::holds_alternative<VerifiedFeed>(result)) << describeRefusal(std::get<FeedRefusal>(result));
      EXPECT_EQ(std::get<VerifiedFeed>(result).feed, goodFeed());
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<FeedRefusal>(result));
    EXPECT_EQ(std::get<FeedRefusal>(result).problem, *row.refusal) << describeRefusal(std::get<FeedRefusal>(result));
  }
}

TEST_F(FeedTest, ABuildWithoutKeysTrustsNoFeed) {
  const std::string bytes = writeFeedJson(goodFeed());
  const FeedTrust trust{{}, crypto_, kNow, nullptr};
  const auto result = verifyFeed(bytesOf(bytes), bytesOf(signatureBy(*first_, bytes)), trust);
  ASSERT_TRUE(std::holds_alternative<FeedRefusal>(result));
  EXPECT_EQ(std::get<FeedRefusal>(result).problem, FeedProblem::NoTrustedKeys);
}

TEST_F(FeedTest, AnImageIsHandedOnOnlyWhenItIsTheRelease) {
  const ImageBytes good = imageBytes(123, 100, 100);
  const Release release = releaseOf(123, good);
  auto changed = good, longer = good;
  changed[60] ^= 1;
  longer.push_back(0);
  const struct {
    const char* name;
    ImageBytes image;
    Release release;
    std::optional<FeedProblem> refusal;
  } cases[] = {
      {"the release", good, release, std::nullopt},
      {"one byte changed", changed, release, FeedProblem::ImageDigestMismatch},
      {"one byte more", longer, release, FeedProblem::ImageSizeMismatch},
      {"a header of another version", imageBytes(110, 100, 100), releaseOf(123, imageBytes(110, 100, 100)),
       FeedProblem::ImageVersionMismatch},
      {"an image without firmware", imageBytes(123, 0, 100), releaseOf(123, imageBytes(123, 0, 100)),
       FeedProblem::ImageRefused},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const auto result = checkReleaseImage(row.release, std::make_shared<const ImageBytes>(row.image), crypto_);
    if (!row.refusal) {
      ASSERT_TRUE(std::holds_alternative<CheckedImage>(result));
      EXPECT_EQ(*std::get<CheckedImage>(result).bytes, good);
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<FeedRefusal>(result));
    EXPECT_EQ(std::get<FeedRefusal>(result).problem, *row.refusal);
  }
}

TEST(ReleaseOfImage, OnlyAReleasesOwnBytesAreThatRelease) {
  const ImageBytes older = imageBytes(110, 100, 100), newer = imageBytes(123, 100, 100);
  Feed feed;
  feed.releases = {releaseOf(110, older), releaseOf(123, newer)};
  auto changed = newer, longer = newer;
  changed[60] ^= 1;
  longer.push_back(0);
  OpenSslFeedCrypto crypto;
  const struct {
    const char* name;
    ImageBytes image;
    std::optional<std::uint32_t> release;
  } cases[] = {
      {"the first release", older, 110},
      {"the second release", newer, 123},
      {"one byte changed", changed, std::nullopt},
      {"one byte more", longer, std::nullopt},
      {"a release's size, another header", imageBytes(124, 100, 100), std::nullopt},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const auto found = releaseOfImage(feed, std::make_shared<const ImageBytes>(row.image), crypto);
    EXPECT_EQ(found ? std::optional(found->version) : std::nullopt, row.release);
  }
  EXPECT_EQ(releaseOfImage(feed, nullptr, crypto), std::nullopt);
}

TEST(ReleaseChoice, NewestIsTheHighestVersionWhereverItIsListed) {
  Feed feed;
  for (const std::uint32_t version : {110u, 123u, 105u})
    feed.releases.push_back(releaseOf(version, imageBytes(version, 1, 1)));
  EXPECT_EQ(std::get<Release>(chooseRelease(feed, std::nullopt)).version, 123u);
  EXPECT_EQ(std::get<Release>(chooseRelease(feed, 105)).version, 105u);
  EXPECT_EQ(std::get<FeedRefusal>(chooseRelease(feed, 124)).problem, FeedProblem::NoSuchRelease);
  EXPECT_EQ(std::get<FeedRefusal>(chooseRelease(Feed{}, std::nullopt)).problem, FeedProblem::NoSuchRelease);
}

TEST(FeedText, TimesAreReadStrictly) {
  const struct {
    const char* text;
    std::optional<sys_seconds> time;
  } cases[] = {
      {"2026-12-01T00:00:00Z", kIssued},          {"2026-12-01T08:30:00+08:30", kIssued},
      {"2026-11-30T23:00:00.999-01:00", kIssued}, {"2028-02-29T00:00:00Z", sys_days{2028y / 2 / 29}},
      {"2026-02-29T00:00:00Z", std::nullopt},     {"2026-12-01T24:00:00Z", std::nullopt},
      {"2026-12-01T00:00:00", std::nullopt},      {"2026-12-01 00:00:00Z", std::nullopt},
      {"2026-12-01T00:00:00.Z", std::nullopt},
  };
  for (const auto& row : cases) EXPECT_EQ(parseUtcTime(row.text), row.time) << row.text;
}

TEST(FeedText, Base64HasOneEncodingPerByteString) {
  for (const std::string text : {"", "a", "ab", "abc", "abcd"}) {
    const auto bytes = bytesOf(text);
    EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes) << text;
  }
  for (const char* bad : {"YQ", "YR==", "YWJ=", "Y Q==", "YQ==YQ=="}) EXPECT_EQ(decodeBase64(bad), std::nullopt) << bad;
}

TEST(PublicKeys, OnlyP256KeysAreTrusted) {
  // An Ed25519 key: a key of a curve every platform cannot verify is refused, not skipped.
  EXPECT_EQ(
      parsePublicKeysPem("-----BEGIN PUBLIC KEY-----\nMCowBQYDK2VwAyEAGb9ECWmEzf6FQbrBZ9w7lshQhqowtrbLDFw4rXAxZuE=\n"
                         "-----END PUBLIC KEY-----\n"),
      std::nullopt);
  EXPECT_EQ(parsePublicKeysPem("-----BEGIN PUBLIC KEY-----\nMFkw"), std::nullopt);
  EXPECT_EQ(parsePublicKeysPem("no keys here"), std::vector<PublicKeyDer>{});
}

}  // namespace
}  // namespace morvik::feed
