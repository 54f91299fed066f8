// Firmware images for tests, written to the test's temporary folder.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace morvik::cli::testing {

// A header (version, opaque word 0xA1B2C3D4, imageLength, bytes 12..27 = E0..EF) followed by
// `payloadBytes` bytes of a pattern that differs from block to block.
std::vector<std::uint8_t> imageBytes(std::uint32_t version, std::uint32_t imageLength, std::size_t payloadBytes);

// A writer that comes to the FIFO at `path` after `delay`, once a reader has it open (for at most
// a few seconds), writes `bytes` and leaves.
std::thread writeFifoLate(const std::string& path, std::vector<std::uint8_t> bytes, std::chrono::milliseconds delay);

// Writes `bytes` to a fresh file named after the running test and `name`; returns its path.
std::string writeTestFile(const std::string& name, const std::vector<std::uint8_t>& bytes);

}  // namespace morvik::cli::testing
