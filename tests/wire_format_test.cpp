// The exact bytes each send puts on the wire, and the cutting of long frames into reports.
#include <gtest/gtest.h>

#include <numeric>

#include "morvik/firmware_header.h"
#include "morvik/frame_builder.h"
#include "test_support.h"

namespace morvik {
namespace {

using testing::RecordingLink;
using testing::RecordingObserver;

std::string join(const std::string& head, const std::vector<std::uint8_t>& tail) {
  return tail.empty() ? head : head + " " + testing::hex(tail);
}

std::vector<std::uint8_t> iota(std::size_t count, std::uint8_t from) {
  std::vector<std::uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), from);
  return bytes;
}

struct WireCase {
  const char* name;
  std::function<LinkStatus(UpdateEngine&, HidTransport&)> send;
  std::vector<std::string> reports;
};
void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class WireFormat : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireFormat, PutsExactlyTheseReportsOnTheLink) {
  RecordingObserver observer;
  UpdateEngine engine(FrontEndForm::Polling, observer);
  RecordingLink link;
  EXPECT_EQ(GetParam().send(engine, link), kLinkOk);
  EXPECT_EQ(link.written, GetParam().reports);
}

const auto block32 = iota(32, 0x40);
const auto block5 = iota(5, 0x80);

INSTANTIATE_TEST_SUITE_P(
    Sends, WireFormat,
    ::testing::Values(
        WireCase{"Finish",
                 [](UpdateEngine& e, HidTransport& l) { return e.SendFirmwarePacket(l, 0x97, kCmdFinish, nullptr, 0); },
                 {"05 00 16 01 00 02"}},
        WireCase{"VersionQuery",
                 [](UpdateEngine& e, HidTransport& l) {
                   return e.SendFirmwarePacket(l, 0x97, kCmdVersionQuery, nullptr, 0);
                 },
                 {"05 00 16 01 00 04"}},
        WireCase{"PayloadIgnoredWhenLengthNotPositive",
                 [](UpdateEngine& e, HidTransport& l) {
                   return e.SendFirmwarePacket(l, 0x97, kCmdFinish, block5.data(), -3);
                 },
                 {"05 00 16 01 00 02"}},
        WireCase{"BeginUpdate",
                 [](UpdateEngine& e, HidTransport& l) { return e.Rfcomm_DriverCmd(l, 0x97, kDrvBeginUpdate, 0); },
                 {"05 00 1A 01 00 00"}},
        WireCase{"ReadIdle",
                 [](UpdateEngine& e, HidTransport& l) { return e.Rfcomm_DriverCmd(l, 0x97, kDrvReadIdle, 0); },
                 {"05 00 1D 01 00 00"}},
        WireCase{
            "FullBlock",
            [](UpdateEngine& e, HidTransport& l) { return e.Send_FirmwareDataPacket(l, 0x97, block32.data(), 32); },
            {join("27 00 16 23 00 00 20 00", block32)}},
        WireCase{"LastBlockOfFive",
                 [](UpdateEngine& e, HidTransport& l) { return e.Send_FirmwareDataPacket(l, 0x97, block5.data(), 5); },
                 {join("0C 00 16 08 00 00 05 00", block5)}},
        WireCase{"EmptyBlock",
                 [](UpdateEngine& e, HidTransport& l) { return e.Send_FirmwareDataPacket(l, 0x97, block5.data(), 0); },
                 {"05 00 16 01 00 00"}},
        WireCase{"Header",
                 [](UpdateEngine& e, HidTransport& l) {
                   FirmwareTransfer transfer;
                   transfer.version = 123;
                   transfer.opaqueWord = 0xDDCCBBAA;
                   transfer.imageLength = 64;
                   return e.SendFirmwareHeader(l, 0x97, transfer);
                 },
                 {"23 00 16 1F 00 01 1C 00 7B 00 00 00 AA BB CC DD 40 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                  "00 00 00"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(WireFormat, LongDataFrameIsCutIntoReportsOfAtMost39Bytes) {
  RecordingObserver observer;
  UpdateEngine engine(FrontEndForm::Polling, observer);
  RecordingLink link;
  const auto payload = iota(128, 0);  // a 135-byte frame
  ASSERT_EQ(engine.Send_FirmwareDataPacket(link, 0x97, payload.data(), 128), kLinkOk);
  ASSERT_EQ(link.written.size(), 4u);
  const std::vector<std::size_t> counts{39, 39, 39, 18};
  for (std::size_t i = 0; i < counts.size(); ++i)
    EXPECT_EQ(link.written[i].substr(0, 2),
              testing::hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(counts[i])}));
  EXPECT_EQ(link.written[0].substr(0, 26), "27 00 16 83 00 00 80 00 00");
}

TEST(WireFormat, FailedPieceDropsTheRestOfTheFrameAndReportsFailure) {
  RecordingObserver observer;
  UpdateEngine engine(FrontEndForm::Polling, observer);
  RecordingLink link;
  link.failWrite = 1;
  const auto payload = iota(128, 0);
  EXPECT_EQ(engine.Send_FirmwareDataPacket(link, 0x97, payload.data(), 128), kLinkWriteFailed);
  EXPECT_EQ(link.written.size(), 2u);
}

TEST(WireFormat, EveryOtherLinkKindIsRefusedAndSendsNothing) {
  RecordingObserver observer;
  UpdateEngine engine(FrontEndForm::Push, observer);
  RecordingLink link;
  for (const PacketType kind : std::initializer_list<PacketType>{0x00, 0x96, 0x98, 0x17, 0xFF}) {
    EXPECT_EQ(engine.SendFirmwarePacket(link, kind, kCmdFinish, nullptr, 0), kLinkRefused) << int{kind};
    EXPECT_EQ(engine.Rfcomm_DriverCmd(link, kind, kDrvBeginUpdate, 0), 0xE00002BCu) << int{kind};
  }
  EXPECT_TRUE(link.written.empty());
}

TEST(WireFormat, PayloadTooLargeForTheFrameBufferIsRefused) {
  RecordingObserver observer;
  UpdateEngine engine(FrontEndForm::Polling, observer);
  RecordingLink link;
  std::vector<std::uint8_t> payload(kMaxFramePayloadBytes + 1, 0xEE);
  EXPECT_EQ(engine.Send_FirmwareDataPacket(link, 0x97, payload.data(), static_cast<std::int32_t>(payload.size())),
            kLinkRefused);
  EXPECT_TRUE(link.written.empty());
  payload.pop_back();
  EXPECT_EQ(engine.Send_FirmwareDataPacket(link, 0x97, payload.data(), static_cast<std::int32_t>(payload.size())),
            kLinkOk);
  EXPECT_EQ(link.written.size(), 27u);  // 1024 bytes in 39-byte pieces
}

TEST(WireFormat, ReportBytesAfterTheCountedOnesAreCleared) {
  std::array<std::uint8_t, kReportSize> report;
  report.fill(0xEE);
  fillReport(report, std::array<std::uint8_t, 3>{1, 2, 3});
  EXPECT_EQ(report[0], 3);
  EXPECT_EQ(report[3], 3);
  for (std::size_t i = 4; i < kReportSize; ++i) EXPECT_EQ(report[i], 0) << i;
}

TEST(InputReport, MessageIsBoundedByWhatArrivedNotByTheCountByte) {
  std::vector<std::uint8_t> report(kReportSize, 0x55);
  report[0] = 0xFF;
  EXPECT_EQ(messageOfReport(report).size(), kMaxMessageBytes);
  EXPECT_EQ(messageOfReport(std::span(report).first(10)).size(), 9u);
  EXPECT_TRUE(messageOfReport(std::span(report).first(1)).empty());
  EXPECT_TRUE(messageOfReport({}).empty());
  std::vector<std::uint8_t> longer(100, 0);
  EXPECT_EQ(messageOfReport(longer).size(), kMaxMessageBytes);
}

TEST(FirmwareHeader, DecodesLittleEndianWordsAndRoundTrips) {
  std::array<std::uint8_t, kHeaderSize> bytes{0x7B, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0x01, 0x00};
  bytes[27] = 0x99;
  const auto header = FirmwareHeader::decode(bytes);
  EXPECT_EQ(header.version, 123u);
  EXPECT_EQ(header.opaqueWord, 0x11223344u);
  EXPECT_EQ(header.imageLength, 65536u);
  EXPECT_EQ(header.reserved[15], 0x99);
  EXPECT_EQ(header.encode(), bytes);
}

}  // namespace
}  // namespace morvik
