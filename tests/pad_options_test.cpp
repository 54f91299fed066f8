// The simulated pad programs' command line and its trace lines. A scenario that asks for one fault and
// gets another, or a trace that misstates a report, would make an end-to-end run lie.
#include <gtest/gtest.h>

#include <vector>

#include "morvik/pad_options.h"
#include "morvik/report_trace.h"

namespace morvik {
namespace {

struct OptionCase {
  const char* name;
  std::vector<std::string> args;
  const char* error;  // nullptr: accepted
  void (*check)(const PadOptions&);
};

TEST(PadOptions, ScenariosAndBadInput) {
  const OptionCase cases[] = {
      {"defaults",
       {},
       nullptr,
       [](const PadOptions& o) {
         EXPECT_EQ(o.behaviour.version, 110u);
         EXPECT_EQ(o.behaviour.bootFlag, 1u);
         EXPECT_FALSE(o.behaviour.failAfterDataFrames || o.behaviour.silentAfterDataFrames ||
                      o.behaviour.vanishAfterDataFrames || o.stallAfterDataFrames);
         EXPECT_EQ(o.reportLengths.input, 65u);  // the real pad's, with the report id byte
         EXPECT_EQ(o.reportLengths.output, 65u);
       }},
      {"report lengths, input first",
       {"--report-lengths", "64/2"},
       nullptr,
       [](const PadOptions& o) {
         EXPECT_EQ(o.reportLengths.input, 64u);
         EXPECT_EQ(o.reportLengths.output, 2u);
       }},
      {"factory",
       {"--version", "factory"},
       nullptr,
       [](const PadOptions& o) { EXPECT_EQ(o.behaviour.version, kFactoryVersion); }},
      {"each fault its own field",
       {"--not-boot", "--fail-after", "3", "--silent-after", "0", "--vanish-after", "7", "--stall-after", "9",
        "--stall-hold-ms", "500", "--header-delay-ms", "1500", "--latency-us", "1000"},
       nullptr,
       [](const PadOptions& o) {
         EXPECT_EQ(o.behaviour.bootFlag, 0u);
         EXPECT_EQ(o.behaviour.failAfterDataFrames, 3u);
         EXPECT_EQ(o.behaviour.silentAfterDataFrames, 0u);  // 0 is "never answers", not "off"
         EXPECT_EQ(o.behaviour.vanishAfterDataFrames, 7u);
         EXPECT_EQ(o.stallAfterDataFrames, 9u);
         EXPECT_EQ(o.stallHoldMs, 500u);
         EXPECT_EQ(o.behaviour.headerAnswerDelay.count(), 1500);
         EXPECT_EQ(o.behaviour.latency.count(), 1000);
       }},
      {"another program's device information, and USB's clock",
       {"--stray-info-after", "0", "--stray-info-flag", "2", "--usb-frame-us", "125"},
       nullptr,
       [](const PadOptions& o) {
         EXPECT_EQ(o.behaviour.strayDeviceInfoAfterDataFrames, 0u);  // 0 is "after the header", not "off"
         EXPECT_EQ(o.behaviour.strayBootFlag, 2u);
         EXPECT_EQ(o.behaviour.usbFrame.count(), 125);
       }},
      {"paths kept as given",
       {"--trace", "Z:/a b/pad.trace", "--received", "r.dat"},
       nullptr,
       [](const PadOptions& o) {
         EXPECT_EQ(o.tracePath, "Z:/a b/pad.trace");
         EXPECT_EQ(o.receivedPath, "r.dat");
       }},
      {"value missing", {"--fail-after"}, "--fail-after needs a value", nullptr},
      {"negative", {"--silent-after", "-1"}, "bad value for --silent-after: -1", nullptr},
      {"beyond 32 bits", {"--version", "4294967296"}, "bad value for --version: 4294967296", nullptr},
      {"trailing junk", {"--fail-after", "3x"}, "bad value for --fail-after: 3x", nullptr},
      {"one length only",
       {"--report-lengths", "64"},
       "bad value for --report-lengths: 64 (IN/OUT, each 2 to 65)",
       nullptr},
      {"longer than a report",
       {"--report-lengths", "65/66"},
       "bad value for --report-lengths: 65/66 (IN/OUT, each 2 to 65)",
       nullptr},
      {"unknown option", {"--fast", "1"}, "unknown option --fast", nullptr},
      {"stray argument", {"pad.dat"}, "unknown argument pad.dat", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto options = parsePadOptions(c.args, error);
    if (c.error) {
      EXPECT_FALSE(options);
      EXPECT_EQ(error, c.error);
    } else {
      ASSERT_TRUE(options) << error;
      c.check(*options);
    }
  }
}

TEST(PadTrace, CountByteBoundsTheLine) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> report;
    const char* line;
  } cases[] = {
      {"bytes past the count left out", {0x05, 0x00, 0x16, 0x01, 0x00, 0x04, 0xEE}, "out 05 00 16 01 00 04"},
      {"count of zero", {0x00, 0x11}, "out 00"},
      {"count beyond what arrived", {0xFF, 0x01, 0x02}, "out FF 01 02"},
      {"nothing delivered", {}, "out"},
  };
  for (const auto& c : cases) EXPECT_EQ(traceLine("out", c.report), c.line) << c.name;
  std::vector<std::uint8_t> full(64, 0xAB);
  full[0] = 0xFF;  // at most 63 counted bytes, as a report holds
  EXPECT_EQ(traceLine("in", full).size(), std::string("in").size() + 64 * 3);
}

}  // namespace
}  // namespace morvik
