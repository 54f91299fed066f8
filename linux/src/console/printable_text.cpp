#include "console/printable_text.h"

#include <cstdio>

namespace morvik::cli {
namespace {

// The length of the printable character that starts `text`, or 0 for a control character or a
// byte that starts no valid UTF-8 sequence.
std::size_t printableLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x20 || lead == 0x7F) return 0;
  if (lead == 0xC2 && text.size() > 1 && static_cast<unsigned char>(text[1]) < 0xA0)
    return 0;  // U+0080..U+009F, the C1 controls (CSI among them)
  return utf8Length(text);
}

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

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    if (const std::size_t length = printableLength(text.substr(at))) {
      shown.append(text.substr(at, length));
      at += length;
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
    shown += escaped;
    ++at;
  }
  return shown;
}

}  // namespace morvik::cli
