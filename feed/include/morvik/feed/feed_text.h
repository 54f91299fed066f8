// The textual forms feed.json and its signature use: RFC 3339 UTC times, dates, hex digests,
// base64. Every reader here is strict: it takes exactly the form, or gives nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvik/feed/feed.h"

namespace morvik::feed {

// "2026-11-30T08:00:00Z"; fractions of a second ("…:00.25Z") are dropped, an offset
// ("+08:00") is taken into account. Nothing for any other form or an impossible date.
std::optional<std::chrono::sys_seconds> parseUtcTime(std::string_view text);
// "2026-11-30T08:00:00Z".
std::string formatUtcTime(std::chrono::sys_seconds time);
// Whether `text` is a real calendar date written YYYY-MM-DD.
bool isCalendarDate(std::string_view text);

// 64 lowercase or uppercase hex digits.
std::optional<Sha256Digest> parseDigestHex(std::string_view text);
std::string digestHex(const Sha256Digest& digest);

// Standard base64 with padding; whitespace or any other character gives nothing.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);
std::string encodeBase64(std::span<const std::uint8_t> bytes);

}  // namespace morvik::feed
