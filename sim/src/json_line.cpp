#include "morvik/json_line.h"

#include <algorithm>
#include <cstdio>

namespace morvik {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::size_t utf8Length(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  const std::size_t length = lead > 0xF4 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || text.size() < length) return 0;
  // The second byte's range also rules out overlong forms, surrogates and code points beyond U+10FFFF.
  const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t at = 2; at < length; ++at)
    if ((byte(at) & 0xC0) != 0x80) return 0;
  return length;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    if (static_cast<unsigned char>(c) >= 0x80) {
      // JSON text is UTF-8: each byte that is not part of a character (a Latin-1 file name, a
      // cut sequence) becomes U+FFFD, so that the line stays readable to every JSON reader.
      const std::size_t length = utf8Length(text.substr(at));
      out += length ? text.substr(at, length) : kReplacement;
      at += std::max<std::size_t>(length, 1);
      continue;
    }
    ++at;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + '"';
}

JsonLine::JsonLine(std::string_view event) : text_("{\"schema\":" + std::to_string(kJsonSchemaVersion)) {
  add("event", event);
}

void JsonLine::key(std::string_view name) { text_ += ',' + jsonString(name) + ':'; }

JsonLine& JsonLine::add(std::string_view name, std::string_view text) {
  key(name);
  text_ += jsonString(text);
  return *this;
}

JsonLine& JsonLine::add(std::string_view name, std::uint64_t number) {
  key(name);
  text_ += std::to_string(number);
  return *this;
}

JsonLine& JsonLine::add(std::string_view name, bool value) {
  key(name);
  text_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::add(std::string_view name, const std::optional<std::string>& text) {
  if (text) return add(name, std::string_view(*text));
  key(name);
  text_ += "null";
  return *this;
}

}  // namespace morvik
