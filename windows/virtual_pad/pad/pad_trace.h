// The pad program's trace: one line per report, as morvik-update --trace writes them.
// "out" is a report the host sent to the pad, "in" one the pad sent to the host; then the
// report's count byte and the bytes it counts, in hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace morvik::vpad {

std::string traceLine(std::string_view direction, std::span<const std::uint8_t> report);

}  // namespace morvik::vpad
