// The maker's feed as read from feed.json: what was published, and each release's image.
// The format is described in docs/feed.md.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvik/checked_image.h"

namespace morvik::feed {

inline constexpr std::uint32_t kFeedSchema = 1;
// feed.json is read whole before it is verified, so it is bounded.
inline constexpr std::size_t kMaxFeedBytes = 1u << 20;
// The largest file a release may name: the most firmware the engine takes, and its header.
inline constexpr std::uint64_t kMaxReleaseBytes = std::uint64_t{kMaxImagePayloadBytes} + kHeaderSize;

using Sha256Digest = std::array<std::uint8_t, 32>;

enum class Urgency { Low, Medium, High, Critical };

// "low", "medium", "high", "critical", as in feed.json.
std::string_view urgencyName(Urgency urgency);
// The urgency of that name; nothing for any other word.
std::optional<Urgency> urgencyNamed(std::string_view name);

struct Release {
  std::uint32_t version = 0;  // x 100, as in the image's header
  std::string versionText;    // "1.23"
  std::string file;           // a plain file name beside feed.json
  std::uint64_t size = 0;     // bytes of the whole .dat file
  Sha256Digest sha256{};      // of the whole .dat file
  std::string date;           // YYYY-MM-DD
  Urgency urgency = Urgency::Low;
  std::string notesEn;
  std::string notesZh;

  friend bool operator==(const Release&, const Release&) = default;
};

struct Feed {
  std::uint32_t schema = kFeedSchema;
  std::string product;
  std::uint64_t serial = 0;  // rises with every publication
  std::chrono::sys_seconds issued{};
  std::chrono::sys_seconds expires{};
  std::vector<Release> releases;

  friend bool operator==(const Feed&, const Feed&) = default;
};

}  // namespace morvik::feed
