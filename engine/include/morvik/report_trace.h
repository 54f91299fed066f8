// One line of a report trace, as the updaters and the virtual pad write them:
//   "out 05 00 16 01 00 04" / "in 07 00 16 03 00 14 00 00"
// the direction ("out": host to pad, "in": pad to host), then the report's count byte and the
// bytes it counts, in upper-case hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace morvik {

// `report` holds the bytes that were delivered, count byte first. A count byte that claims
// more than arrived (or more than a report holds) prints only what is there.
std::string traceLine(std::string_view direction, std::span<const std::uint8_t> report);

}  // namespace morvik
