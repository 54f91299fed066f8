// Reading a trace file back: what is refused, with which line.
#include "morvik/trace_file.h"
#include "morvik/trace_writer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "morvik/protocol.h"

namespace morvik {
namespace {

const std::string kFirst = R"(# morvik-trace 1 {"image":"f\u00fcr \"x\".dat","image_size":284,"pad_serial":null})"
                           "\n";
const std::string kLast = R"(# outcome {"exit_code":0,"reason":""})"
                          "\n";

TEST(TraceFile, ReadsTheFieldsAndTheEvents) {
  const auto read =
      readTrace(kFirst + "t=0 out 05 00 16 01 00 04\nt=7 in 03 00 16 03\nt=9 read-failed\nt=9 write-failed\n" + kLast);
  ASSERT_TRUE(std::holds_alternative<RecordedTrace>(read)) << std::get<TraceRefusal>(read).reason;
  const RecordedTrace& trace = std::get<RecordedTrace>(read);
  EXPECT_EQ(trace.start.at("image"), "f\xC3\xBCr \"x\".dat");
  EXPECT_EQ(trace.start.at("pad_serial"), "null");
  EXPECT_EQ(trace.outcome.at("exit_code"), "0");
  ASSERT_EQ(trace.events.size(), 4u);
  EXPECT_EQ(trace.events[1].kind, TraceEventKind::In);
  EXPECT_EQ(trace.events[1].at.count(), 7);
  EXPECT_EQ(trace.events[1].bytes, (std::vector<std::uint8_t>{0x03, 0x00, 0x16, 0x03}));
  EXPECT_EQ(trace.events[1].line, 3u);
  EXPECT_EQ(trace.events[3].kind, TraceEventKind::WriteFailed);
}

TEST(TraceFile, RefusesWhatIsNotATraceWithItsLine) {
  struct Case {
    std::string text;
    std::size_t line;
    const char* reason;
  };
  const std::string tooLong = [] {  // 65 bytes: more than a report holds
    std::string line = "t=0 in";
    for (int i = 0; i < 65; ++i) line += " 00";
    return line;
  }();
  const Case cases[] = {
      {"", 1, "empty"},
      {"t=0 out 05\n" + kLast, 1, "not a morvik trace"},
      {"# morvik-trace 1 {\"a\":}\n" + kLast, 1, "not one JSON object"},
      {kFirst + "t=0 out 05 00 16 01 00 04\n", 2, "without its outcome line"},
      {kFirst + "t=5 out 05\nt=4 in 03\n" + kLast, 3, "earlier"},
      {kFirst + "t=0 out 0a 00\n" + kLast, 2, "not a line of a trace"},
      {kFirst + "t=0 out\n" + kLast, 2, "not a line of a trace"},
      {kFirst + "t=-1 out 05\n" + kLast, 2, "not a line of a trace"},
      {kFirst + "t=0 read-failed 00\n" + kLast, 2, "not a line of a trace"},
      {kFirst + tooLong + "\n" + kLast, 2, "not a line of a trace"},
      {kFirst + kLast + "t=0 out 05\n", 3, "after the outcome line"},
      {kFirst + "# outcome {\"a\":1\n", 2, "not one JSON object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto read = readTrace(c.text);
    ASSERT_TRUE(std::holds_alternative<TraceRefusal>(read));
    EXPECT_EQ(std::get<TraceRefusal>(read).line, c.line);
    EXPECT_NE(std::get<TraceRefusal>(read).reason.find(c.reason), std::string::npos)
        << std::get<TraceRefusal>(read).reason;
  }
}

}  // namespace
}  // namespace morvik

namespace morvik {
namespace {

// What the page and the command line write reads back as written: a browser's user agent and an
// image name with any bytes in them, and a report saved with no update (no image, no pad, no
// exit status).
TEST(TraceFile, WhatTheWriterWritesReadsBack) {
  struct Case {
    const char* what;
    TraceStart start;
    std::optional<ExitCode> code;
  };
  const TracePad pad{"0483:5750", "WebHID", std::nullopt, kFactoryVersion};
  const Case cases[] = {
      {"an update's report",
       {"morvik update page",
        "1.0.0",
        "2026-12-10T01:00:00Z",
        TraceImage{"f\"\n\xFF.dat", 284, 123, "ab12"},
        pad,
        {{"user_agent", "Mozilla/5.0 \"x\"\t\\"}}},
       ExitCode::PadFailed},
      {"a report with no update", {"morvik update page", "1.0.0", "2026-12-10T01:00:00Z", {}, {}, {}}, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::uint8_t report[] = {0x03, 0x00, 0x16, 0x03};
    const std::string text = traceFirstLine(c.start) + '\n' +
                             traceReportLine(std::chrono::microseconds(7), "in", report) + '\n' +
                             traceFailureLine(std::chrono::microseconds(9), kTraceReadFailed) + '\n' +
                             traceOutcomeLine("2026-12-10T01:00:01Z", c.code, "error event 0x15") + '\n';
    const auto read = readTrace(text);
    ASSERT_TRUE(std::holds_alternative<RecordedTrace>(read)) << c.what << ": " << std::get<TraceRefusal>(read).reason;
    const RecordedTrace& trace = std::get<RecordedTrace>(read);
    EXPECT_EQ(trace.events.size(), 2u) << c.what;
    EXPECT_EQ(trace.outcome.at("reason"), "error event 0x15") << c.what;
    EXPECT_EQ(trace.outcome.contains("exit_code"), c.code.has_value()) << c.what;
    EXPECT_EQ(trace.start.contains("image_sha256"), c.start.image.has_value()) << c.what;
    if (!c.start.image) continue;
    EXPECT_EQ(trace.start.at("image"), "f\"\n\xEF\xBF\xBD.dat") << c.what;  // a byte that is not UTF-8: U+FFFD
    EXPECT_EQ(trace.start.at("image_version"), "1.23") << c.what;
    EXPECT_EQ(trace.start.at("pad_version"), "factory firmware") << c.what;
    EXPECT_EQ(trace.start.at("user_agent"), "Mozilla/5.0 \"x\"\t\\") << c.what;
    EXPECT_EQ(trace.outcome.at("exit_code"), "7") << c.what;
  }
}

}  // namespace
}  // namespace morvik
