#include "morvik/report_trace.h"

#include <algorithm>

#include "morvik/protocol.h"

namespace morvik {

std::string traceLine(std::string_view direction, std::span<const std::uint8_t> report) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line(direction);
  if (report.empty()) return line;
  const std::size_t counted = std::min({std::size_t{report[0]}, report.size() - 1, kMaxMessageBytes});
  for (std::size_t i = 0; i <= counted; ++i) {
    line += ' ';
    line += kHex[report[i] >> 4];
    line += kHex[report[i] & 0x0F];
  }
  return line;
}

}  // namespace morvik
