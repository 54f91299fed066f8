// The pad's link through hidapi, against a stand-in for hidapi: what it hands hid_write and
// hid_read_timeout, and how it reads their results.
#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "hidapi_stand_in.h"
#include "pads/hidapi_pad.h"

namespace morvik::cli {
namespace {

using testing::HidapiStandIn;
using testing::resetHidapiStandIn;

TEST(HidapiPad, HandsHidapiReportIdZeroThenTheSixtyFourBytesAndReadsWithTheSetWait) {
  HidapiStandIn& hidapi = resetHidapiStandIn();
  HidapiPad pad("/dev/hidraw7");
  ASSERT_TRUE(pad.OpenReadWrite());
  std::array<std::uint8_t, kReportSize> report{};
  std::iota(report.begin(), report.end(), std::uint8_t{1});
  ASSERT_EQ(pad.writeReport(report), kLinkOk);
  ASSERT_EQ(hidapi.written.size(), 1u);
  std::vector<unsigned char> expected{0};
  expected.insert(expected.end(), report.begin(), report.end());
  EXPECT_EQ(hidapi.written[0], expected);

  std::size_t length = 0;
  EXPECT_EQ(pad.readReport(report, length), ReadStatus::NoReport);
  pad.SetReadTimeout(10);
  EXPECT_EQ(pad.readReport(report, length), ReadStatus::NoReport);
  EXPECT_EQ(hidapi.readTimeouts, (std::vector<int>{200, 10}));
  EXPECT_EQ(hidapi.readLengths, (std::vector<std::size_t>{kReportSize, kReportSize}));
}

struct LinkCase {
  const char* name;
  bool opens;
  int writeResult;
  HidapiStandIn::Read read;
  LinkStatus written;
  ReadStatus readStatus;
  std::size_t length;
  const char* error;
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class HidapiOutcome : public ::testing::TestWithParam<LinkCase> {};

TEST_P(HidapiOutcome, IsToldApartAndNamed) {
  const LinkCase& c = GetParam();
  HidapiStandIn& hidapi = resetHidapiStandIn();
  hidapi.opens = c.opens;
  hidapi.writeResult = c.writeResult;
  hidapi.reads.push_back(c.read);
  HidapiPad pad("/dev/hidraw7");
  EXPECT_EQ(pad.OpenReadWrite(), c.opens);
  EXPECT_EQ(pad.writeReport(std::array<std::uint8_t, kReportSize>{}), c.written);
  EXPECT_EQ(pad.lastError(), c.error);
  std::array<std::uint8_t, kReportSize> report{};
  std::size_t length = 0;
  EXPECT_EQ(pad.readReport(report, length), c.readStatus);
  EXPECT_EQ(length, c.length);
  if (!c.opens) {
    EXPECT_TRUE(hidapi.written.empty() && hidapi.readLengths.empty()) << "nothing reaches hidapi";
  }
}

const std::vector<unsigned char> kReport(kReportSize, 0x42);

INSTANTIATE_TEST_SUITE_P(
    Links, HidapiOutcome,
    ::testing::Values(
        LinkCase{"WholeReports", true, -2, {kReport}, kLinkOk, ReadStatus::Report, kReportSize, "Input/output error"},
        LinkCase{"ShortReportRead", true, -2, {{1, 2, 3}}, kLinkOk, ReadStatus::Report, 3, "Input/output error"},
        LinkCase{"PadGone", true, -1, {{}, -1}, kLinkWriteFailed, ReadStatus::Failed, 0, "Input/output error"},
        // part of a report is not a report sent
        LinkCase{"OnlyPartOfTheReportWritten",
                 true,
                 64,
                 {},
                 kLinkWriteFailed,
                 ReadStatus::NoReport,
                 0,
                 "the pad took 64 of 65 bytes"},
        LinkCase{"NotOpen", false, -2, {kReport}, kLinkWriteFailed, ReadStatus::Failed, 0, "Input/output error"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace morvik::cli
