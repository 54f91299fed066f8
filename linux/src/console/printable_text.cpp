#include "console/printable_text.h"

#include <cstdio>

#include "morvik/json_line.h"

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
