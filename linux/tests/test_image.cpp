#include "test_image.h"

#include <fcntl.h>
#include <unistd.h>

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

std::thread writeFifoLate(const std::string& path, std::vector<std::uint8_t> bytes, std::chrono::milliseconds delay) {
  return std::thread([path, bytes = std::move(bytes), delay] {
    std::this_thread::sleep_for(delay);
    // Opened without blocking, so that a test whose reader never comes does not hang.
    int fd = -1;
    for (int tries = 0; tries < 500 && (fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The images given here fit in a pipe's buffer: one write delivers them.
    if (fd >= 0 && !bytes.empty() && write(fd, bytes.data(), bytes.size()) < 0) ADD_FAILURE() << "cannot feed the FIFO";
    if (fd >= 0) close(fd);
  });
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
