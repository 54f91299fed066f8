// Paths outside the ANSI code page, on the real platform (run under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/wide_image_files.h"
#include "framework/utf16.h"

namespace morvik::win {
namespace {

TEST(WideImageFiles, AnImageWhosePathIsNotInTheAnsiCodePageOpens) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / L"固件-морвик.dat";
  {
    std::ofstream file(path, std::ios::binary);
    file << "image";
  }
  WideImageFiles files;
  {
    const auto image = files.open(narrow(path.wstring()));
    ASSERT_NE(image, nullptr);
    std::uint8_t bytes[8] = {};
    EXPECT_EQ(image->read(bytes, sizeof bytes), 5);
  }
  EXPECT_EQ(files.open(narrow(path.wstring()) + ".missing"), nullptr);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace morvik::win
