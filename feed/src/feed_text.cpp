#include "morvik/feed/feed_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace morvik::feed {
namespace {

using namespace std::chrono;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The `count` digits at `text[at]` as a number, or nothing when any is not a digit.
std::optional<int> digitsAt(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!isDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::optional<year_month_day> dateAt(std::string_view text) {
  const auto year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  const year_month_day date{std::chrono::year{*year}, std::chrono::month{static_cast<unsigned>(*month)},
                            std::chrono::day{static_cast<unsigned>(*day)}};
  if (!date.ok()) return std::nullopt;
  return date;
}

// The offset at the end of a time, "Z" or "+hh:mm" / "-hh:mm", as seconds east of UTC.
std::optional<seconds> offsetOf(std::string_view zone) {
  if (zone == "Z" || zone == "z") return seconds{0};
  if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
  const auto hours = digitsAt(zone, 1, 2), minutes = digitsAt(zone, 4, 2);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  const seconds offset = std::chrono::hours{*hours} + std::chrono::minutes{*minutes};
  return zone[0] == '+' ? offset : -offset;
}

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
  const auto at = kBase64Alphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<sys_seconds> parseUtcTime(std::string_view text) {
  if (text.size() < 20 || (text[10] != 'T' && text[10] != 't') || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const auto date = dateAt(text);
  const auto hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
  if (!date || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  std::size_t zoneAt = 19;
  if (text[zoneAt] == '.') {
    do ++zoneAt;
    while (zoneAt < text.size() && isDigit(text[zoneAt]));
    if (zoneAt == 20) return std::nullopt;
  }
  const auto offset = offsetOf(text.substr(zoneAt));
  if (!offset) return std::nullopt;
  return sys_days{*date} + hours{*hour} + minutes{*minute} + seconds{*second} - *offset;
}

std::string formatUtcTime(sys_seconds time) {
  const auto day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text.data();
}

bool isCalendarDate(std::string_view text) { return text.size() == 10 && dateAt(text).has_value(); }

std::optional<Sha256Digest> parseDigestHex(std::string_view text) {
  Sha256Digest digest{};
  if (text.size() != 2 * digest.size()) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = hexValue(text[2 * i]), low = hexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

std::string digestHex(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xF];
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    const std::size_t padding = !last || text[at + 3] != '=' ? 0 : text[at + 2] == '=' ? 2 : 1;
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const int value = i < 4 - padding ? base64Value(text[at + i]) : 0;
      if (value < 0) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    // Bits below the last byte must be zero, so that each byte string has one encoding.
    if ((padding == 1 && (group & 0xFF)) || (padding == 2 && (group & 0xFFFF))) return std::nullopt;
    for (std::size_t i = 0; i < 3 - padding; ++i) bytes.push_back(static_cast<std::uint8_t>(group >> (16 - 8 * i)));
  }
  return bytes;
}

std::string encodeBase64(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) group = group << 8 | (i < count ? bytes[at + i] : 0u);
    for (std::size_t i = 0; i < 4; ++i) text += i <= count ? kBase64Alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
  }
  return text;
}

}  // namespace morvik::feed
