#include "fuzz_images.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace morvik::fuzz {
namespace {

std::filesystem::path g_directory;

void removeDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(g_directory, ignored);
}

FuzzImage writeImage(const std::string& name, std::uint32_t imageLength, std::size_t payloadBytes,
                     std::size_t fileBytesCap = SIZE_MAX) {
  FuzzImage image;
  image.header.version = 123;
  image.header.opaqueWord = 0x11223344;
  image.header.imageLength = imageLength;
  for (std::size_t i = 0; i < image.header.reserved.size(); ++i)
    image.header.reserved[i] = static_cast<std::uint8_t>(0xE0 + i);
  image.payload.resize(payloadBytes);
  for (std::size_t i = 0; i < payloadBytes; ++i) image.payload[i] = static_cast<std::uint8_t>(i * 13 + 5);

  std::vector<std::uint8_t> bytes;
  const auto head = image.header.encode();
  bytes.insert(bytes.end(), head.begin(), head.end());
  bytes.insert(bytes.end(), image.payload.begin(), image.payload.end());
  bytes.resize(std::min(bytes.size(), fileBytesCap));

  const auto path = g_directory / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  image.path = path.string();
  image.unreadable = bytes.size() < kHeaderSize || image.payload.size() < imageLength || imageLength == 0;
  return image;
}

std::vector<FuzzImage> makeImages() {
  std::string pattern = (std::filesystem::temp_directory_path() / "morvik-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  g_directory = pattern;
  std::atexit(removeDirectory);

  std::vector<FuzzImage> images;
  images.push_back(writeImage("exact.dat", 64, 64));
  images.push_back(writeImage("short-last-block.dat", 100, 100));
  images.push_back(writeImage("longer-than-header.dat", 100, 128));
  images.push_back(writeImage("empty.dat", 0, 0));
  images.push_back(writeImage("payload-missing.dat", 100, 50));
  images.push_back(writeImage("truncated-header.dat", 64, 64, 27));
  FuzzImage missing;
  missing.path = (g_directory / "missing.dat").string();
  missing.unreadable = true;
  images.push_back(missing);
  images.push_back(FuzzImage{});  // no choice
  return images;
}

}  // namespace

const std::vector<FuzzImage>& fuzzImages() {
  static const std::vector<FuzzImage> images = makeImages();
  return images;
}

}  // namespace morvik::fuzz
