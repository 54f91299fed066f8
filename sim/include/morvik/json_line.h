// One JSON object on one line, for morvik-update's --json and --log and every trace file. Only what those need:
// strings, numbers, booleans and null, with every string escaped so a file name cannot break the line, and bytes that
// are not UTF-8 replaced by U+FFFD so that every JSON reader takes the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvik {

// Every line morvik-update writes in JSON carries this as "schema"; it grows only when a field
// changes its meaning or goes away (new fields may appear at any time).
inline constexpr int kJsonSchemaVersion = 1;

class JsonLine {
 public:
  // Starts {"schema":1,"event":EVENT
  explicit JsonLine(std::string_view event);
  JsonLine& add(std::string_view key, std::string_view text);
  JsonLine& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
  JsonLine& add(std::string_view key, const std::string& text) { return add(key, std::string_view(text)); }
  JsonLine& add(std::string_view key, std::uint64_t number);
  JsonLine& add(std::string_view key, bool value);
  // null when absent.
  JsonLine& add(std::string_view key, const std::optional<std::string>& text);
  // The object and its newline.
  std::string line() const { return text_ + "}\n"; }

 private:
  void key(std::string_view name);
  std::string text_;
};

std::string jsonString(std::string_view text);

// The length of the well-formed UTF-8 character that starts `text` (1 for ASCII), or 0 when its
// first byte starts none: a stray or cut sequence, an overlong form, a surrogate.
std::size_t utf8Length(std::string_view text);

}  // namespace morvik
