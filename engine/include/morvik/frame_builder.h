// Building update frames and driver-command frames; cutting frames into report pieces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "morvik/protocol.h"

namespace morvik {

// Largest payload that fits the frame buffer with its 7-byte head.
inline constexpr std::size_t kMaxFramePayloadBytes = kFrameBufferSize - 7;

// Writes a MsgUpdate frame for `command` into `frame` and returns its size.
// A payloadLength of 0 or less makes the 5-byte frame without payload (any payload is ignored);
// a payload too large for the buffer makes no frame at all (returns 0).
std::size_t buildUpdateFrame(std::span<std::uint8_t, kFrameBufferSize> frame, std::uint8_t command,
                             const std::uint8_t* payload, std::int32_t payloadLength);

// The 5-byte driver-command frame: 00, code, 01, 00, value.
std::array<std::uint8_t, 5> buildDriverFrame(std::uint8_t code, std::uint8_t value);

// Puts `piece` (at most 63 bytes) into a 64-byte report behind its count byte.
// The bytes after the piece are cleared, so no report carries leftovers of an earlier one.
void fillReport(std::span<std::uint8_t, kReportSize> report, std::span<const std::uint8_t> piece);

// The message of an input report: the bytes after the count byte that actually arrived,
// at most 63, whatever the count byte claims.
std::span<const std::uint8_t> messageOfReport(std::span<const std::uint8_t> report);

}  // namespace morvik
