// The 28-byte header at the start of a ".dat" firmware image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace morvik {

inline constexpr std::size_t kHeaderSize = 28;

struct FirmwareHeader {
  std::uint32_t version = 0;                // firmware version x 100
  std::uint32_t opaqueWord = 0;             // handed back to the pad unchanged
  std::uint32_t imageLength = 0;            // payload bytes to send
  std::array<std::uint8_t, 16> reserved{};  // bytes 12..27, not interpreted

  static FirmwareHeader decode(std::span<const std::uint8_t, kHeaderSize> bytes);
  std::array<std::uint8_t, kHeaderSize> encode() const;

  friend bool operator==(const FirmwareHeader&, const FirmwareHeader&) = default;
};

std::uint32_t readLe32(const std::uint8_t* p);
void writeLe32(std::uint8_t* p, std::uint32_t value);

}  // namespace morvik
