// The image's SHA-256, which says which image a pad got beyond its version: in the outcome log
// and in a trace, whose replay is refused for any other image.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvik::cli {

// Lower-case hex (64 characters). Empty when libcrypto cannot compute it.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace morvik::cli
