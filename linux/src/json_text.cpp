#include "json_text.h"

#include <cstdio>

namespace morvik::cli {

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
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
          out += c;  // UTF-8 passes as it is
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

}  // namespace morvik::cli
