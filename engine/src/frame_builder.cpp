#include "morvik/frame_builder.h"

#include <algorithm>
#include <cstring>

namespace morvik {

std::size_t buildUpdateFrame(std::span<std::uint8_t, kFrameBufferSize> frame, std::uint8_t command,
                             const std::uint8_t* payload, std::int32_t payloadLength) {
  frame[0] = 0x00;
  frame[1] = kMsgUpdate;
  if (payloadLength <= 0) {
    frame[2] = 0x01;
    frame[3] = 0x00;
    frame[4] = command;
    return 5;
  }
  const auto n = static_cast<std::size_t>(payloadLength);
  if (n > kMaxFramePayloadBytes || payload == nullptr) return 0;
  const std::size_t length = n + 3;
  frame[2] = static_cast<std::uint8_t>(length);
  frame[3] = static_cast<std::uint8_t>(length >> 8);
  frame[4] = command;
  frame[5] = static_cast<std::uint8_t>(n);
  frame[6] = static_cast<std::uint8_t>(n >> 8);
  std::memcpy(&frame[7], payload, n);
  return n + 7;
}

std::array<std::uint8_t, 5> buildDriverFrame(std::uint8_t code, std::uint8_t value) {
  return {0x00, code, 0x01, 0x00, value};
}

void fillReport(std::span<std::uint8_t, kReportSize> report, std::span<const std::uint8_t> piece) {
  const std::size_t n = std::min(piece.size(), kMaxMessageBytes);
  report[0] = static_cast<std::uint8_t>(n);
  std::copy_n(piece.begin(), n, report.begin() + 1);
  std::fill(report.begin() + 1 + static_cast<std::ptrdiff_t>(n), report.end(), std::uint8_t{0});
}

std::span<const std::uint8_t> messageOfReport(std::span<const std::uint8_t> report) {
  if (report.size() <= 1) return {};
  return report.subspan(1, std::min(report.size() - 1, kMaxMessageBytes));
}

}  // namespace morvik
