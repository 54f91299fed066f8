#include "morvik/firmware_header.h"

#include <algorithm>

namespace morvik {

std::uint32_t readLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeLe32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

FirmwareHeader FirmwareHeader::decode(std::span<const std::uint8_t, kHeaderSize> bytes) {
  FirmwareHeader header;
  header.version = readLe32(&bytes[0]);
  header.opaqueWord = readLe32(&bytes[4]);
  header.imageLength = readLe32(&bytes[8]);
  std::copy(bytes.begin() + 12, bytes.end(), header.reserved.begin());
  return header;
}

std::array<std::uint8_t, kHeaderSize> FirmwareHeader::encode() const {
  std::array<std::uint8_t, kHeaderSize> bytes{};
  writeLe32(&bytes[0], version);
  writeLe32(&bytes[4], opaqueWord);
  writeLe32(&bytes[8], imageLength);
  std::copy(reserved.begin(), reserved.end(), bytes.begin() + 12);
  return bytes;
}

}  // namespace morvik
