#include <gtest/gtest.h>

#include <algorithm>

#include "hid/chid.h"
#include "tests/fake_hid_platform.h"

namespace morvik::win {
namespace {

using fake::HidInterface;
using fake::ScriptedRead;

const HidInterface kMouse{"\\\\?\\hid#mouse", 0x845E, 0x0001};
const HidInterface kPad{"\\\\?\\hid#pad", 0x0483, 0x5750};
const HidInterface kSecondPad{"\\\\?\\hid#pad-two", 0x0483, 0x5750};
const HidInterface kRunModePad{"\\\\?\\hid#pad-run", 0x0483, 0x5751};

HidInterface withReportLengths(HidInterface i, std::uint16_t input, std::uint16_t output) {
  i.inputReportLength = input;
  i.outputReportLength = output;
  return i;
}

struct SearchCase {
  const char* name;
  std::vector<HidInterface> interfaces;
  std::string expectedPath;  // empty: not found
  bool reportsFit = true;
};
// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class CHidSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(CHidSearch, FindsTheFirstBootModePadAndReleasesEverythingElse) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces(GetParam().interfaces);
  CHid hid(platform);
  Handle device = invalidHandle();

  const bool found = hid.OpenHidDevice(device, 0x0483, 0x5750);

  EXPECT_EQ(found, !GetParam().expectedPath.empty());
  EXPECT_EQ(platform.callsNamed("DestroyDeviceInfoList").size(), 1U);
  if (found) {
    EXPECT_EQ(hid.DevicePath(), GetParam().expectedPath);
    EXPECT_EQ(hid.ReportLengthsFit(), GetParam().reportsFit);
    EXPECT_NE(device, invalidHandle());
    EXPECT_EQ(platform.openHandleCount(), 1U) << "only the caller's handle stays open";
    platform.CloseHandle(device);
  } else {
    EXPECT_EQ(device, invalidHandle());
    EXPECT_EQ(platform.openHandleCount(), 0U);
  }
  EXPECT_TRUE(platform.faults().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, CHidSearch,
    ::testing::Values(
        SearchCase{"None", {}, ""}, SearchCase{"OnlyOtherDevices", {kMouse, kRunModePad}, ""},
        SearchCase{"FirstOfTwoPads", {kMouse, kPad, kSecondPad}, kPad.path},
        SearchCase{"LockedPadIsSkipped", {{kPad.path, 0x0483, 0x5750, false}, kSecondPad}, kSecondPad.path},
        // the mouse's short path sizes the buffer first; the pad's needs a larger one
        SearchCase{"LongerPathAfterShorterOne", {{"\\\\?\\m", 1, 1}, kSecondPad}, kSecondPad.path},
        SearchCase{"DetailThatAlwaysFailsIsSkipped", {{"\\\\?\\broken", 1, 1, true, true}, kPad}, kPad.path},
        // found all the same, so that an update on it can fail with a message
        SearchCase{"PadWhoseReportsDoNotFit", {kMouse, withReportLengths(kPad, 65, 9)}, kPad.path, false},
        SearchCase{"ACollectionWhoseReportsFitIsPreferred",
                   {withReportLengths(kPad, 9, 9), kSecondPad, withReportLengths(kRunModePad, 9, 9)},
                   kSecondPad.path}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(CHidSearchDetail, ResizesForALongerPathAtTheSameIndexAndGivesUpOnAHopelessOne) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({{"\\\\?\\m", 1, 1}, {"\\\\?\\broken-and-long", 1, 1, true, true}, kSecondPad});
  CHid hid(platform);
  Handle device = invalidHandle();
  ASSERT_TRUE(hid.OpenHidDevice(device, 0x0483, 0x5750));
  platform.CloseHandle(device);

  const auto details = platform.callsNamed("Detail 1");
  // too short, re-sized, still failing, re-sized once more, failing: then the search moves on
  EXPECT_LE(details.size(), 4U);
  const auto pad = platform.callsNamed("Detail 2");
  ASSERT_EQ(pad.size(), 2U);
  EXPECT_EQ(pad[0], "Detail 2 buffer 0") << "the pad's own size is asked for";
}

TEST(CHidCheckDevice, RegistersOnceKeepsNoHandleAndRemembersThePath) {
  fake::ScriptedHidPlatform platform;
  CHid hid(platform);
  hid.m_hNotifyWnd = reinterpret_cast<NotifyWindow>(std::uintptr_t{42});

  EXPECT_FALSE(hid.CheckDevice());  // absent at the first check: registers all the same
  EXPECT_EQ(hid.m_bDeviceFound, 0);
  platform.setInterfaces({kMouse, kPad});
  EXPECT_TRUE(hid.CheckDevice());
  EXPECT_EQ(hid.m_bDeviceFound, 1);
  EXPECT_EQ(platform.openHandleCount(), 0U);
  platform.setInterfaces({kMouse});
  EXPECT_FALSE(hid.CheckDevice());
  EXPECT_EQ(hid.DevicePath(), kPad.path) << "the last pad found is remembered";

  EXPECT_EQ(platform.callsNamed("RegisterDeviceNotification"),
            std::vector<std::string>{"RegisterDeviceNotification 42"});
}

TEST(CHidOpen, OpensOverlappedWriteAndReadHandlesAndReopensCleanly) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({kPad});
  CHid hid(platform);
  ASSERT_TRUE(hid.CheckDevice());
  ASSERT_TRUE(hid.OpenReadWrite());
  EXPECT_EQ(hid.ReadTimeout(), 200U);
  hid.SetReadTimeout(10);
  ASSERT_TRUE(hid.OpenReadWrite());
  EXPECT_EQ(hid.ReadTimeout(), 200U);
  EXPECT_EQ(platform.openHandleCount(), 2U) << "the first pair was closed";
  const auto opens = platform.callsNamed("CreateFile");
  EXPECT_EQ(opens.back(), "CreateFile " + kPad.path + " read overlapped");
  EXPECT_EQ(opens[opens.size() - 2], "CreateFile " + kPad.path + " write overlapped") << "so that writes are bounded";

  platform.setInterfaces({});
  EXPECT_FALSE(hid.OpenReadWrite());
  EXPECT_EQ(hid.writeReport(std::array<std::uint8_t, kReportSize>{}), kLinkWriteFailed);
}

TEST(CHidDestruction, UnregistersAndClosesEverything) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({kPad});
  {
    CHid hid(platform);
    ASSERT_TRUE(hid.CheckDevice());
    ASSERT_TRUE(hid.OpenReadWrite());
  }
  EXPECT_EQ(platform.openHandleCount(), 0U);
  EXPECT_EQ(platform.callsNamed("UnregisterDeviceNotification").size(), 1U);
  EXPECT_TRUE(platform.faults().empty());
}

TEST(CHidWrite, SendsSixtyFiveBytesAndKeepsTheTailOfTheLastReport) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({kPad});
  CHid hid(platform);
  const std::array<std::uint8_t, 64> full = [] {
    std::array<std::uint8_t, 64> bytes{};
    std::fill(bytes.begin(), bytes.end(), 0x77);
    return bytes;
  }();
  {
    CHid unopened(platform);
    EXPECT_FALSE(unopened.WriteReport(full.data(), 64));
    EXPECT_TRUE(platform.callsNamed("WriteFile").empty()) << "nothing is written without a handle";
  }

  ASSERT_TRUE(hid.CheckDevice());
  ASSERT_TRUE(hid.OpenReadWrite());
  const std::array<std::uint8_t, 3> shortPayload{1, 2, 3};
  ASSERT_TRUE(hid.WriteReport(shortPayload.data(), 3));
  ASSERT_TRUE(hid.WriteReport(full.data(), 64));
  ASSERT_TRUE(hid.WriteReport(shortPayload.data(), 3));

  const auto writes = platform.writes();
  ASSERT_EQ(writes.size(), 3U);
  for (const auto& w : writes) {
    EXPECT_EQ(w.size(), 65U);
    EXPECT_EQ(w[0], 0) << "report id";
  }
  EXPECT_EQ(writes[0][4], 0) << "zeros before the first report";
  EXPECT_EQ(writes[2][3], 3);
  EXPECT_EQ(writes[2][4], 0x77) << "what the previous report left";
}

std::vector<std::uint8_t> reportWith(std::uint8_t first) {
  std::vector<std::uint8_t> report(65);
  for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(first + i - 1);
  return report;
}

ScriptedRead scripted(IoState start, std::uint32_t wait = kWaitObject0, IoState completion = IoState::Done,
                      std::vector<std::uint8_t> report = {}, IoState afterCancel = IoState::Failed) {
  return ScriptedRead{start, wait, completion, 65, std::move(report), afterCancel};
}

// Every write is bounded: one that fails, or stays pending past the write time-out, breaks the
// link (later writes and reads fail at once), and its buffer and event stay until it completed.
struct WriteCase {
  const char* name;
  fake::ScriptedWrite write;
  bool sent;
  HidInterface pad = kPad;
};
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class CHidWriteOutcome : public ::testing::TestWithParam<WriteCase> {};

TEST_P(CHidWriteOutcome, SucceedsOnlyForACompletedWriteAndBreaksTheLinkOtherwise) {
  const WriteCase& c = GetParam();
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({c.pad});
  {
    CHid hid(platform);
    ASSERT_TRUE(hid.CheckDevice());
    ASSERT_TRUE(hid.OpenReadWrite());
    platform.scriptWrites(c.write);
    const std::array<std::uint8_t, 3> payload{1, 2, 3};
    EXPECT_EQ(hid.WriteReport(payload.data(), 3), c.sent);
    EXPECT_EQ(platform.writes().size(), c.sent ? 1U : 0U);
    for (const auto& wait : platform.callsNamed("Wait")) EXPECT_EQ(wait, "Wait 1000");

    const auto writeCalls = platform.callsNamed("WriteFile").size();
    platform.scriptWrites({});
    platform.queueRead(scripted(IoState::Pending, kWaitObject0, IoState::Done, reportWith(0x10)));
    std::array<std::uint8_t, kReportSize> report{};
    std::size_t length = 0;
    EXPECT_EQ(hid.readReport(report, length), c.sent ? ReadStatus::Report : ReadStatus::Failed);
    EXPECT_EQ(hid.WriteReport(payload.data(), 3), c.sent);
    EXPECT_EQ(platform.callsNamed("WriteFile").size(), writeCalls + (c.sent ? 1U : 0U))
        << "a broken link writes nothing";

    ASSERT_TRUE(hid.OpenReadWrite()) << "reopening mends the link";
    EXPECT_EQ(hid.WriteReport(payload.data(), 3), c.pad.inputReportLength == 65 && c.pad.outputReportLength == 65);
    EXPECT_TRUE(platform.faults().empty()) << platform.faults().front();
    platform.completeAbandonedReads();  // a late completion must find its buffer still there
  }
  EXPECT_EQ(platform.openHandleCount(), 0U) << "every event closed, also that of a write given up";
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CHidWriteOutcome,
    ::testing::Values(
        WriteCase{"CompletedAtOnce", {}, true},
        WriteCase{"CompletedWithinTheWait", {IoState::Pending, kWaitObject0, IoState::Done}, true},
        WriteCase{"CompletedJustAsTheWaitRanOut", {IoState::Pending, kWaitTimeout, IoState::Done, IoState::Done}, true},
        WriteCase{"CouldNotStart", {IoState::Failed}, false},
        WriteCase{"OnlySixtyFourOfSixtyFiveBytesWent",
                  {IoState::Done, kWaitObject0, IoState::Done, IoState::Failed, 64},
                  false},
        WriteCase{"CompletedWithError", {IoState::Pending, kWaitObject0, IoState::Failed}, false},
        WriteCase{"PadTakesNoMoreReports", fake::kStalledWrite, false},
        WriteCase{"CancelNeverCompletes", {IoState::Pending, kWaitTimeout, IoState::Done, IoState::Pending}, false},
        // the platform would refuse such a write (error 87); it is not even tried
        WriteCase{"OutputReportsOfAnotherLength", {}, false, withReportLengths(kPad, 65, 9)},
        WriteCase{"InputReportsOfAnotherLength", {}, false, withReportLengths(kPad, 64, 65)}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// ---------------------------------------------------------------- reads

struct ReadCase {
  const char* name;
  ScriptedRead read;
  std::uint32_t expectedResult;
  ReadStatus expectedStatus;
  std::size_t delivered;  // bytes after the report id
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class CHidRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(CHidRead, TellsReportsTimeOutsAndBrokenLinksApartAndReleasesOnlyFinishedReads) {
  const ReadCase& c = GetParam();
  for (const bool engineSide : {false, true}) {
    fake::ScriptedHidPlatform platform;
    platform.setInterfaces({kPad});
    {
      CHid hid(platform);
      ASSERT_TRUE(hid.CheckDevice());
      ASSERT_TRUE(hid.OpenReadWrite());
      platform.queueRead(c.read);
      std::array<std::uint8_t, kReportSize> destination{};
      if (engineSide) {
        std::size_t length = 0;
        EXPECT_EQ(hid.readReport(destination, length), c.expectedStatus);
        EXPECT_EQ(length, c.delivered);
      } else {
        EXPECT_EQ(hid.ReadReport(destination.data(), 64), c.expectedResult);
      }
      EXPECT_EQ(destination[0], c.delivered > 0 ? 0x10 : 0) << "copied from the byte after the report id";
      if (c.read.start == IoState::Pending) {
        EXPECT_EQ(platform.callsNamed("Wait").front(), "Wait 200");
      }
      EXPECT_TRUE(platform.faults().empty()) << platform.faults().front();
      platform.completeAbandonedReads();  // a late completion must find its buffer still there
    }
    EXPECT_EQ(platform.openHandleCount(), 0U) << "every event closed, also that of a read given up";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CHidRead,
    ::testing::Values(
        ReadCase{"Report", scripted(IoState::Pending, kWaitObject0, IoState::Done, reportWith(0x10)), 0,
                 ReadStatus::Report, 64},
        ReadCase{"CompletedAtOnce", scripted(IoState::Done, kWaitObject0, IoState::Done, reportWith(0x10)), 0,
                 ReadStatus::Report, 64},
        // a report shorter than the device's: its length is what was transferred, less the report id
        ReadCase{"ShortReport", ScriptedRead{IoState::Pending, kWaitObject0, IoState::Done, 33, reportWith(0x10)}, 0,
                 ReadStatus::Report, 32},
        ReadCase{"TimeOut", scripted(IoState::Pending, kWaitTimeout), kWaitTimeout, ReadStatus::NoReport, 0},
        // the pad was pulled out while the read waited: the event is signalled, but no report came
        ReadCase{"CompletedWithError", scripted(IoState::Pending, kWaitObject0, IoState::Failed), kWaitFailed,
                 ReadStatus::Failed, 0},
        ReadCase{"CouldNotStart", scripted(IoState::Failed), kWaitFailed, ReadStatus::Failed, 0},
        ReadCase{"CancelNeverCompletes", scripted(IoState::Pending, kWaitTimeout, IoState::Done, {}, IoState::Pending),
                 kWaitFailed, ReadStatus::Failed, 0},
        ReadCase{"ReportJustAsTheWaitRanOut",
                 scripted(IoState::Pending, kWaitTimeout, IoState::Done, reportWith(0x10), IoState::Done), 0,
                 ReadStatus::Report, 64}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(CHidReadOrder, ACancelledReadIsWaitedForBeforeItsEventIsClosed) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({kPad});
  CHid hid(platform);
  ASSERT_TRUE(hid.CheckDevice());
  ASSERT_TRUE(hid.OpenReadWrite());
  platform.queueRead(scripted(IoState::Pending, kWaitTimeout));
  std::array<std::uint8_t, 64> destination{};
  ASSERT_EQ(hid.ReadReport(destination.data(), 64), kWaitTimeout);

  std::vector<std::string> tail;
  const auto calls = platform.calls();
  const auto readStart = std::find(calls.begin(), calls.end(), "ReadFile");
  for (const auto& call : std::vector<std::string>(readStart, calls.end()))
    if (call.rfind("CancelIo", 0) == 0 || call.rfind("Wait", 0) == 0 || call.rfind("GetOverlapped", 0) == 0 ||
        call.rfind("CloseHandle", 0) == 0)
      tail.push_back(call.substr(0, call.find(' ')));
  EXPECT_EQ(tail, (std::vector<std::string>{"Wait", "CancelIo", "Wait", "GetOverlappedResult", "CloseHandle"}));
}

TEST(CHidReadEdges, NothingToReadBeforeOpenAndNothingCopiedForCountZero) {
  fake::ScriptedHidPlatform platform;
  platform.setInterfaces({kPad});
  CHid hid(platform);
  std::array<std::uint8_t, 64> destination{};
  EXPECT_EQ(hid.ReadReport(destination.data(), 64), kWaitAbandoned);
  EXPECT_TRUE(platform.callsNamed("CreateEvent").empty()) << "returns at once, without waiting";

  ASSERT_TRUE(hid.CheckDevice());
  ASSERT_TRUE(hid.OpenReadWrite());
  platform.queueRead(scripted(IoState::Pending, kWaitObject0, IoState::Done, reportWith(0x10)));
  EXPECT_EQ(hid.ReadReport(destination.data(), 0), 0U);
  EXPECT_EQ(destination[0], 0);
  EXPECT_EQ(platform.callsNamed("Wait").size(), 1U) << "waits as usual";
}

}  // namespace
}  // namespace morvik::win
