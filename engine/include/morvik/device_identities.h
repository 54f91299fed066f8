// USB identities of the pad. Only the boot-mode identity is ever opened and updated;
// the run-mode identities are recognised so that users can be told how to reach boot mode.
#pragma once

#include <array>
#include <cstdint>

namespace morvik {

struct UsbIdentity {
  std::uint16_t vendorId;
  std::uint16_t productId;
  const char* model;

  friend constexpr bool operator==(const UsbIdentity& a, const UsbIdentity& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId;
  }
};

inline constexpr UsbIdentity kBootModeIdentity{0x0483, 0x5750, "GamePad (boot mode)"};

// The pad models in their normal (run) mode, one identity each, in matching order.
// These are this project's own assignment for the four models; none is the boot pair.
inline constexpr std::array<UsbIdentity, 4> kRunModeIdentities{{
    {0x0483, 0x5751, "Zelto"},
    {0x0483, 0x5752, "Pravik"},
    {0x0483, 0x5753, "Zelto Pro"},
    {0x0483, 0x5754, "Pravik Pro"},
}};

// Identity tests compare the low 16 bits of what the platform reports.
constexpr bool isBootMode(std::uint32_t vendorId, std::uint32_t productId) {
  return (vendorId & 0xFFFF) == kBootModeIdentity.vendorId && (productId & 0xFFFF) == kBootModeIdentity.productId;
}

constexpr const UsbIdentity* findRunModeIdentity(std::uint32_t vendorId, std::uint32_t productId) {
  for (const auto& id : kRunModeIdentities)
    if ((vendorId & 0xFFFF) == id.vendorId && (productId & 0xFFFF) == id.productId) return &id;
  return nullptr;
}

}  // namespace morvik
