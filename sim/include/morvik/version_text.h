// Firmware versions are stored as version x 100; people read them with two decimals.
#pragma once

#include <cstdint>
#include <string>

namespace morvik {

// 123 -> "1.23", 5 -> "0.05". Exact: no floating point, so large values print correctly too.
std::string versionText(std::uint32_t versionTimes100);

// The pad's own version, which may be the factory marker.
std::string padVersionText(std::uint32_t versionTimes100);

}  // namespace morvik
