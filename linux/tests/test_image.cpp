#include "test_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "morvik/firmware_header.h"

namespace morvik::cli::testing {

std::vector<std::uint8_t> imageBytes(std::uint32_t version, std::uint32_t imageLength, std::size_t payloadBytes) {
  std::vector<std::uint8_t> bytes(kHeaderSize + payloadBytes);
  writeLe32(&bytes[0], version);
  writeLe32(&bytes[4], 0xA1B2C3D4);
  writeLe32(&bytes[8], imageLength);
  for (std::size_t i = 12; i < kHeaderSize; ++i) bytes[i] = static_cast<std::uint8_t>(0xE0 + i - 12);
  for (std::size_t i = 0; i < payloadBytes; ++i) bytes[kHeaderSize + i] = static_cast<std::uint8_t>(i * 7 + i / 32);
  return bytes;
}

std::string writeTestFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string fileName = std::string("morvik_") + test->test_suite_name() + "_" + test->name() + "_" + name;
  std::replace(fileName.begin(), fileName.end(), '/', '_');  // parameterised test names hold '/'
  const std::string path = ::testing::TempDir() + fileName;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace morvik::cli::testing
