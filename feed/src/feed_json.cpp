#include "morvik/feed/feed_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <set>

#include "json_fields.h"
#include "morvik/feed/feed_text.h"

namespace morvik::feed {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::array<Urgency, 4> kUrgencies = {Urgency::Low, Urgency::Medium, Urgency::High, Urgency::Critical};

// The JSON of `bytes`, or a discarded value; never throws.
json parsed(std::span<const std::uint8_t> bytes) { return json::parse(bytes.begin(), bytes.end(), nullptr, false); }

std::optional<std::chrono::sys_seconds> timeField(JsonFields& fields, const char* key) {
  const auto text = fields.text(key);
  if (!text) return std::nullopt;
  const auto time = parseUtcTime(*text);
  if (!time) fields.refuse(FeedProblem::BadTime, fields.path(key));
  return time;
}

std::optional<Release> readRelease(const json& object, const std::string& where, std::optional<FeedRefusal>& refusal) {
  JsonFields fields(object, where, refusal);
  const auto version = fields.number("version", std::numeric_limits<std::uint32_t>::max());
  const auto versionText = fields.text("version_text");
  const auto file = fields.text("file");
  const auto size = fields.number("size", std::numeric_limits<std::uint64_t>::max());
  const auto sha256 = fields.text("sha256");
  const auto date = fields.text("date");
  const auto urgency = fields.text("urgency");
  const json* notes = fields.object("notes");
  if (refusal) return std::nullopt;
  JsonFields noteFields(*notes, fields.path("notes"), refusal);
  const auto notesEn = noteFields.text("en");
  const auto notesZh = noteFields.text("zh");
  if (refusal) return std::nullopt;

  if (!isPlainFileName(*file)) fields.refuse(FeedProblem::UnsafeFileName, fields.path("file"));
  if (*size > kMaxReleaseBytes) fields.refuse(FeedProblem::SizeTooLarge, fields.path("size"));
  const auto digest = parseDigestHex(*sha256);
  if (!digest) fields.refuse(FeedProblem::BadDigest, fields.path("sha256"));
  if (!isCalendarDate(*date)) fields.refuse(FeedProblem::BadTime, fields.path("date"));
  const auto level = urgencyNamed(*urgency);
  if (!level) fields.refuse(FeedProblem::BadValue, fields.path("urgency") + " must be low, medium, high or critical");
  if (refusal) return std::nullopt;
  return Release{
      static_cast<std::uint32_t>(*version), *versionText, *file, *size, *digest, *date, *level, *notesEn, *notesZh};
}

std::optional<std::vector<Release>> readReleases(const json& list, std::optional<FeedRefusal>& refusal) {
  std::vector<Release> releases;
  std::set<std::uint32_t> versions;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string where = "releases[" + std::to_string(i) + "]";
    if (!list[i].is_object()) {
      refusal = FeedRefusal{FeedProblem::FieldWrongType, where};
      return std::nullopt;
    }
    auto release = readRelease(list[i], where, refusal);
    if (!release) return std::nullopt;
    if (!versions.insert(release->version).second) {
      refusal = FeedRefusal{FeedProblem::DuplicateVersion, where + ".version " + std::to_string(release->version)};
      return std::nullopt;
    }
    releases.push_back(std::move(*release));
  }
  return releases;
}

}  // namespace

std::string_view urgencyName(Urgency urgency) {
  switch (urgency) {
    case Urgency::Low: return "low";
    case Urgency::Medium: return "medium";
    case Urgency::High: return "high";
    case Urgency::Critical: return "critical";
  }
  return "low";
}

std::optional<Urgency> urgencyNamed(std::string_view name) {
  const auto found = std::find_if(kUrgencies.begin(), kUrgencies.end(),
                                  [name](Urgency urgency) { return urgencyName(urgency) == name; });
  if (found == kUrgencies.end()) return std::nullopt;
  return *found;
}

bool isPlainFileName(std::string_view name) {
  const auto allowed = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == '+';
  };
  return !name.empty() && name.size() <= 128 && name.front() != '.' && name.find("..") == std::string_view::npos &&
         std::all_of(name.begin(), name.end(), allowed);
}

std::variant<Feed, FeedRefusal> parseFeedJson(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxFeedBytes) {
    return FeedRefusal{FeedProblem::FeedTooLarge, std::to_string(bytes.size()) + " bytes"};
  }
  const json root = parsed(bytes);
  if (root.is_discarded() || !root.is_object()) return FeedRefusal{FeedProblem::NotJson, ""};
  std::optional<FeedRefusal> refusal;
  JsonFields fields(root, "", refusal);
  // The schema first: a newer feed is "unsupported", not a list of missing fields.
  const auto schema = fields.number("schema", std::numeric_limits<std::uint32_t>::max());
  if (schema && *schema != kFeedSchema) fields.refuse(FeedProblem::UnsupportedSchema, std::to_string(*schema));
  if (refusal) return *refusal;
  Feed feed;
  const auto product = fields.text("product");
  const auto serial = fields.number("serial", std::numeric_limits<std::uint64_t>::max());
  const auto issued = timeField(fields, "issued");
  const auto expires = timeField(fields, "expires");
  const json* list = fields.array("releases");
  if (refusal) return *refusal;
  if (*expires < *issued) return FeedRefusal{FeedProblem::BadTime, "expires is before issued"};
  auto releases = readReleases(*list, refusal);
  if (!releases) return *refusal;
  return Feed{kFeedSchema, *product, *serial, *issued, *expires, std::move(*releases)};
}

std::string writeFeedJson(const Feed& feed) {
  ordered_json releases = ordered_json::array();
  for (const Release& release : feed.releases) {
    releases.push_back({{"version", release.version},
                        {"version_text", release.versionText},
                        {"file", release.file},
                        {"size", release.size},
                        {"sha256", digestHex(release.sha256)},
                        {"date", release.date},
                        {"urgency", urgencyName(release.urgency)},
                        {"notes", {{"en", release.notesEn}, {"zh", release.notesZh}}}});
  }
  const ordered_json root = {{"schema", feed.schema},
                             {"product", feed.product},
                             {"serial", feed.serial},
                             {"issued", formatUtcTime(feed.issued)},
                             {"expires", formatUtcTime(feed.expires)},
                             {"releases", releases}};
  // Text that is not UTF-8 is replaced rather than thrown over: a maker's tool reads its
  // output back and compares.
  return root.dump(2, ' ', false, ordered_json::error_handler_t::replace) + '\n';
}

std::variant<FeedSignature, FeedRefusal> parseSignatureJson(std::span<const std::uint8_t> bytes) {
  const FeedRefusal unreadable{FeedProblem::SignatureUnreadable, ""};
  if (bytes.size() > kMaxSignatureFileBytes) return unreadable;
  const json root = parsed(bytes);
  if (root.is_discarded() || !root.is_object()) return unreadable;
  std::optional<FeedRefusal> refusal;
  JsonFields fields(root, "feed.json.sig", refusal);
  const auto keyId = fields.text("key_id");
  const auto algorithm = fields.text("algorithm");
  const auto signature = fields.text("signature");
  if (refusal) return FeedRefusal{FeedProblem::SignatureUnreadable, refusal->subject};
  if (*algorithm != kSignatureAlgorithm) return FeedRefusal{FeedProblem::UnsupportedAlgorithm, *algorithm};
  const auto raw = decodeBase64(*signature);
  if (!raw || raw->size() != kRawSignatureBytes) return FeedRefusal{FeedProblem::SignatureUnreadable, "signature"};
  FeedSignature result{*keyId, {}};
  std::copy(raw->begin(), raw->end(), result.signature.begin());
  return result;
}

std::string writeSignatureJson(const FeedSignature& signature) {
  const ordered_json root = {{"key_id", signature.keyId},
                             {"algorithm", kSignatureAlgorithm},
                             {"signature", encodeBase64(signature.signature)}};
  return root.dump(2, ' ', false, ordered_json::error_handler_t::replace) + '\n';
}

}  // namespace morvik::feed
