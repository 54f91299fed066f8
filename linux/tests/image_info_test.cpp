#include "image_info.h"

#include <gtest/gtest.h>

#include "test_image.h"

namespace morvik::cli {
namespace {

using testing::imageBytes;
using testing::writeTestFile;

struct ImageCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::optional<ImageFault> fault;
  std::uint64_t payloadBytes;
  const char* agreeLine;  // nullptr: no header to describe
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

class ImageInspection : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageInspection, JudgesWhetherTheImageCanBeSent) {
  const ImageCase& c = GetParam();
  const std::string path = writeTestFile("image.dat", c.bytes);
  const ImageReport report = inspectImage(path);
  EXPECT_EQ(report.fault, c.fault);
  EXPECT_EQ(report.payloadBytes, c.payloadBytes);
  const std::string info = imageInfoText(path, report);
  if (c.agreeLine) {
    EXPECT_NE(info.find(c.agreeLine), std::string::npos) << info;
  } else {
    EXPECT_NE(info.find("Problem:"), std::string::npos) << info;
  }
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImageInspection,
    ::testing::Values(
        ImageCase{"Exact", imageBytes(123, 64, 64), std::nullopt, 64, "Agree:         yes"},
        // Larger than one read chunk, so the payload count must add up across reads.
        ImageCase{"Large", imageBytes(123, 65536, 65536), std::nullopt, 65536, "Agree:         yes"},
        ImageCase{"Surplus", imageBytes(123, 100, 128), std::nullopt, 128, "no: 28 bytes beyond"},
        ImageCase{"ShortPayload", imageBytes(123, 100, 99), ImageFault::PayloadTooShort, 99,
                  "promises 100 bytes of firmware but it holds only 99"},
        ImageCase{"NoPayload", imageBytes(123, 0, 0), ImageFault::NoPayload, 0, "image length of 0"},
        ImageCase{"HeaderOnly27", truncated(imageBytes(123, 64, 0), 27), ImageFault::HeaderTooShort, 0, nullptr},
        ImageCase{"Empty", {}, ImageFault::HeaderTooShort, 0, nullptr}),
    [](const ::testing::TestParamInfo<ImageCase>& param) { return param.param.name; });

TEST(ImageInspection, MissingFileCannotBeOpened) {
  const ImageReport report = inspectImage(::testing::TempDir() + "morvik_no_such_image.dat");
  EXPECT_EQ(report.fault, ImageFault::CannotOpen);
  EXPECT_FALSE(report.header);
}

TEST(ImageInspection, DirectoryIsNotAnImage) {
  EXPECT_EQ(inspectImage(::testing::TempDir()).fault, ImageFault::CannotOpen);
}

}  // namespace
}  // namespace morvik::cli
