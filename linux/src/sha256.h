// SHA-256 of an image, for the outcome log: which image a pad got, beyond its version.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvik::cli {

// The digest in lower-case hex (64 characters).
std::string sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace morvik::cli
