// The simulated pad: its answers on the wire, what it keeps, and the push form's pumping.
#include <gtest/gtest.h>

#include "morvik/frame_builder.h"
#include "test_support.h"

namespace morvik {
namespace {

using testing::hex;
using testing::patternBytes;
using testing::RecordingObserver;
using testing::TempImage;

std::array<std::uint8_t, kReportSize> reportOf(std::vector<std::uint8_t> piece) {
  std::array<std::uint8_t, kReportSize> report{};
  fillReport(report, piece);
  return report;
}

std::string nextAnswer(SimulatedPad& pad) {
  const auto r = pad.takeDueReport();
  if (!r) return "none";
  return hex(std::span(r->bytes).first(1 + r->bytes[0]));
}

TEST(SimulatedPad, AnswersEachCommandAsThePadDoes) {
  PadBehaviour b;
  b.version = 0x01020304;
  b.bootFlag = 7;
  SimulatedPad pad(b);
  pad.writeReport(reportOf({0x00, 0x16, 0x01, 0x00, 0x04}));
  EXPECT_EQ(nextAnswer(pad), "0B 00 16 07 00 04 04 00 04 03 02 01");
  pad.writeReport(reportOf({0x00, 0x1A, 0x01, 0x00, 0x00}));
  const auto info = pad.takeDueReport();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->bytes[1 + 1], kMsgDeviceInfo);
  EXPECT_EQ(readLe32(&info->bytes[1 + kBootFlagOffset]), 7u);
  pad.writeReport(reportOf({0x00, 0x1D, 0x01, 0x00, 0x00}));  // read-idle: no answer
  EXPECT_EQ(nextAnswer(pad), "none");
  pad.writeReport(reportOf({0x00, 0x16, 0x01, 0x00, 0x02}));  // finish: the pad restarts
  EXPECT_EQ(nextAnswer(pad), "none");
  EXPECT_TRUE(pad.finished());
  const auto got = pad.received();
  EXPECT_EQ(got.readIdles, 1u);
  EXPECT_EQ(got.reports.size(), 4u);
}

// USB's clock, in 1 ms frames counted from t = 0: each row writes (or readies) packets at the
// given microseconds and expects them taken (or delivered) at the given boundaries.
TEST(UsbFrameClock, HoldsEachPacketToAFrameBoundaryAndOnePerFrame) {
  using us = std::chrono::microseconds;
  struct Row {
    const char* name;
    bool answers;  // the host-bound direction
    std::vector<long> at, expected;
  };
  const std::vector<Row> rows = {
      {"WrittenJustAfterABoundaryIsTakenAtTheNext", false, {1}, {1000}},
      {"WrittenOnABoundaryWaitsForTheNext", false, {2000}, {3000}},
      {"TwoWritesInOneFrameTakeTwoFrames", false, {100, 200}, {1000, 2000}},
      {"AnswerReadyMidFrameComesAtTheNextBoundary", true, {1500}, {2000}},
      {"TwoAnswersReadyTogetherComeAFrameApart", true, {2000, 2000}, {3000, 4000}},
      {"AFrameLeftIdleIsNotMadeUpFor", false, {100, 5100}, {1000, 6000}},
  };
  const UsbFrameClock::Clock::time_point origin{};
  for (const Row& row : rows) {
    UsbFrameClock clock(origin, us(1000));
    std::vector<long> got;
    for (const long t : row.at) {
      const auto when = row.answers ? clock.delivered(origin + us(t)) : clock.taken(origin + us(t));
      got.push_back(static_cast<long>(std::chrono::duration_cast<us>(when - origin).count()));
    }
    EXPECT_EQ(got, row.expected) << row.name;
  }
}

// A pad that answers at once still costs a round trip of one to two frames.
TEST(SimulatedPad, KeepingUsbsClockARoundTripTakesOneToTwoFrames) {
  for (const auto frame : {std::chrono::microseconds(1000), std::chrono::microseconds(125)}) {
    PadBehaviour b;
    b.usbFrame = frame;
    SimulatedPad pad(b);
    for (int i = 0; i < 20; ++i) {
      const auto before = std::chrono::steady_clock::now();
      pad.writeReport(reportOf({0x00, 0x16, 0x01, 0x00, 0x04}));
      const auto after = std::chrono::steady_clock::now();
      const auto due = pad.nextDueTime();
      ASSERT_TRUE(due.has_value());
      EXPECT_GT(*due - after + (after - before), frame) << "frame " << frame.count() << " us";
      EXPECT_LE(*due - before, 2 * frame + (after - before)) << "frame " << frame.count() << " us";
      while (!pad.takeDueReport()) {
      }
    }
  }
}

TEST(SimulatedPad, JoinsADataFrameSentInSeveralReports) {
  SimulatedPad pad;
  RecordingObserver observer;
  UpdateEngine engine(FrontEndForm::Polling, observer);
  const auto payload = patternBytes(100);
  ASSERT_EQ(engine.Send_FirmwareDataPacket(pad, 0x97, payload.data(), 100), kLinkOk);
  const auto got = pad.received();
  EXPECT_EQ(got.payload, payload);
  EXPECT_EQ(got.dataFrames, 1u);
  EXPECT_EQ(got.reports.size(), 3u);
  EXPECT_EQ(nextAnswer(pad), "07 00 16 03 00 14 00 00");
}

TEST(SimulatedPad, AnswersFallDueOnlyAfterTheLatency) {
  PadBehaviour b;
  b.latency = std::chrono::hours(1);
  SimulatedPad pad(b);
  const auto before = std::chrono::steady_clock::now();
  pad.writeReport(reportOf({0x00, 0x16, 0x01, 0x00, 0x04}));
  EXPECT_EQ(nextAnswer(pad), "none");
  ASSERT_TRUE(pad.nextDueTime().has_value());
  EXPECT_GE(*pad.nextDueTime(), before + std::chrono::hours(1));
}

TEST(SimulatedPad, UnpluggedPadFailsReadsAndWrites) {
  SimulatedPad pad;
  pad.unplug();
  EXPECT_EQ(pad.writeReport(reportOf({0x00, 0x16, 0x01, 0x00, 0x04})), kLinkWriteFailed);
  std::array<std::uint8_t, kReportSize> report{};
  std::size_t length = 0;
  EXPECT_EQ(pad.readReport(report, length), ReadStatus::Failed);
  EXPECT_FALSE(pad.OpenReadWrite());
  EXPECT_FALSE(pad.takeDueReport().has_value());
}

// A bench updates one pad many times: what each update left must not leak into the next.
TEST(SimulatedPad, CountsEachUpdateAfresh) {
  SimulatedPad pad;
  for (const std::uint32_t size : {320u, 64u}) {
    RecordingObserver observer;
    UpdateEngine engine(FrontEndForm::Polling, observer);
    TempImage image(200 + size, size, patternBytes(size, static_cast<std::uint8_t>(size)));
    observer.imagePath = image.path();
    ASSERT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::Reported);
    ASSERT_EQ(engine.ReaderLoop(pad), ReaderOutcome::Ended);
    ASSERT_EQ(observer.events.back(), "succeeded") << size;
    const auto got = pad.received();
    ASSERT_TRUE(got.header.has_value());
    EXPECT_EQ(got.header->version, 200 + size);
    EXPECT_EQ(got.payload, image.payload()) << size;
    EXPECT_EQ(got.payloadBytes, size);
    EXPECT_EQ(got.dataFrames, size / kBlockSize);
  }
  const auto got = pad.received();
  EXPECT_EQ(got.beginUpdates, 2u);
  EXPECT_EQ(got.finishes, 2u);
}

// The push form, as the macOS front-end drives it: reports handed over from a run loop, the
// confirmation answered later.
TEST(PushForm, WholeUpdateWithALaterConfirmationAgainstThePad) {
  for (const bool noisy : {false, true}) {
    PadBehaviour b;
    b.malformedBeforeEachAnswer = noisy;
    SimulatedPad pad(b);
    RecordingObserver observer;
    UpdateEngine engine(FrontEndForm::Push, observer);
    TempImage image(321, 1000, patternBytes(1000));
    observer.imagePath = image.path();
    observer.confirmation = Confirmation::Later;

    engine.updateInit();
    engine.SendFirmwarePacket(pad, 0x97, kCmdVersionQuery, nullptr, 0);
    testing::pumpPad(engine, pad);
    ASSERT_EQ(engine.beginUpdate(pad), kLinkOk);
    testing::pumpPad(engine, pad);
    engine.answerConfirmation(pad, true);
    testing::pumpPad(engine, pad);

    EXPECT_EQ(observer.events.front(), "version 110");
    EXPECT_EQ(observer.events.back(), "succeeded");
    EXPECT_EQ(observer.progress.back(), 100);
    EXPECT_EQ(pad.received().payload, image.payload());
    EXPECT_TRUE(pad.finished());
    EXPECT_EQ(engine.state().deviceUpgradedCount, 1);
  }
}

}  // namespace
}  // namespace morvik
