// The state machine, driven message by message: what it writes and what it tells the front-end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <tuple>

#include "test_support.h"

namespace morvik {
namespace {

using testing::ackMessage;
using testing::deviceInfoMessage;
using testing::eventMessage;
using testing::hex;
using testing::inputReport;
using testing::patternBytes;
using testing::RecordingLink;
using testing::RecordingObserver;
using testing::TempImage;
using testing::versionMessage;
using Events = std::vector<std::string>;

class Engine : public ::testing::Test {
 protected:
  explicit Engine(FrontEndForm form = FrontEndForm::Polling) : engine(form, observer) {}

  void receive(const std::vector<std::uint8_t>& message) { engine.OnInputReport(link, inputReport(message)); }
  void ack() { receive(ackMessage()); }

  // Pad found, version reported, update begun, image chosen and confirmed.
  void startUpdate(const TempImage& image, std::uint32_t padVersion = 110) {
    observer.imagePath = image.path();
    receive(versionMessage(padVersion));
    engine.beginUpdate(link);
    receive(deviceInfoMessage(1));
  }
  static constexpr const char* kBegin = "05 00 1A 01 00 00";
  // The pad answers a new begin command from out of boot mode.
  void leaveBootMode() {
    engine.beginUpdate(link);
    receive(deviceInfoMessage(0));
  }

  // Acknowledges until the image is sent (or gives up); returns the sizes of the data blocks.
  std::vector<std::size_t> streamAll(std::size_t maxAcks = 100) {
    std::vector<std::size_t> blocks;
    for (std::size_t i = 0; i < maxAcks && engine.state().g_firmware_update_state != FirmwareUpdateState::Finishing;
         ++i) {
      const std::size_t before = link.written.size();
      ack();
      for (std::size_t w = before; w < link.written.size(); ++w)
        if (const auto size = dataBlockSize(link.written[w])) blocks.push_back(*size);
    }
    return blocks;
  }

  // The payload size of a data-frame report written as hex text, or none for other reports.
  static std::optional<std::size_t> dataBlockSize(const std::string& report) {
    std::vector<unsigned> b;
    for (std::size_t at = 0; at < report.size(); at += 3)
      b.push_back(static_cast<unsigned>(std::stoul(report.substr(at, 2), nullptr, 16)));
    if (b.size() < 6 || b[1] != 0x00 || b[2] != kMsgUpdate || b[5] != kCmdData) return std::nullopt;
    return b[0] > 5 ? b[0] - 7u : 0u;
  }

  // The payload bytes of every data frame written, in order.
  std::vector<std::uint8_t> payloadWritten() const {
    std::vector<std::uint8_t> payload;
    for (const auto& report : link.written)
      for (std::size_t at = 24; at < 24 + 3 * dataBlockSize(report).value_or(0); at += 3)
        payload.push_back(static_cast<std::uint8_t>(std::stoul(report.substr(at, 2), nullptr, 16)));
    return payload;
  }

  RecordingObserver observer;
  RecordingLink link;
  UpdateEngine engine;
};

class PushEngine : public Engine {
 protected:
  PushEngine() : Engine(FrontEndForm::Push) {}
};

TEST_F(Engine, WholeUpdateWritesTheExactReportSequence) {
  TempImage image(123, 64, patternBytes(64), 0xDDCCBBAA);
  engine.SendFirmwarePacket(link, 0x97, kCmdVersionQuery, nullptr, 0);
  receive({0x00, 0x16, 0x99, 0x99, 0x04, 0x99, 0x99, 0x6E, 0x00, 0x00, 0x00});  // length fields not checked
  engine.beginUpdate(link);
  observer.imagePath = image.path();
  receive(deviceInfoMessage(1));
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::HeaderSent);
  EXPECT_EQ(link.readTimeoutMs, 10u);
  ack();
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Streaming);
  EXPECT_TRUE(observer.progress.empty());
  ack();
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Finishing);
  EXPECT_EQ(engine.state().m_handleFirmeWare.image, nullptr);
  EXPECT_EQ(engine.state().m_updateComplete, 0u);
  ack();

  const auto& b = image.bytes();
  const std::vector<std::uint8_t> block1(b.begin() + 28, b.begin() + 60), block2(b.begin() + 60, b.begin() + 92);
  EXPECT_EQ(link.written,
            (std::vector<std::string>{
                "05 00 16 01 00 04",
                "05 00 1A 01 00 00",
                "23 00 16 1F 00 01 1C 00 7B 00 00 00 AA BB CC DD 40 00 00 00 " + hex(std::span(b).subspan(12, 16)),
                "27 00 16 23 00 00 20 00 " + hex(block1),
                "27 00 16 23 00 00 20 00 " + hex(block2),
                "05 00 16 01 00 02",
            }));
  EXPECT_EQ(observer.events, (Events{"version 110", "choose", "confirm 123 110", "progress 100", "sent", "succeeded"}));
  EXPECT_EQ(engine.state().m_updateComplete, 1u);
  EXPECT_EQ(engine.state().deviceUpgradedCount, 1);
}

struct StreamCase {
  std::uint32_t imageLength;
  std::size_t payloadBytes;
  std::vector<std::size_t> blocks;
  std::vector<std::int32_t> progress;
};
void PrintTo(const StreamCase& c, std::ostream* os) {
  *os << c.imageLength << " bytes long, " << c.payloadBytes << " in the file";
}

class Streaming : public Engine, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(Streaming, BlocksAndProgressFollowTheImageLength) {
  const StreamCase& c = GetParam();
  TempImage image(100, c.imageLength, patternBytes(c.payloadBytes));
  startUpdate(image);
  EXPECT_EQ(streamAll(), c.blocks);
  EXPECT_EQ(observer.progress, c.progress);
  EXPECT_EQ(observer.events.back(), "sent");
  ack();
  EXPECT_EQ(link.written.back(), "05 00 16 01 00 02");
  EXPECT_EQ(observer.events.back(), "succeeded");
}

INSTANTIATE_TEST_SUITE_P(
    Images, Streaming,
    ::testing::Values(StreamCase{100, 100, {32, 32, 32, 4}, {64, 96, 100}}, StreamCase{96, 96, {32, 32, 32}, {66, 100}},
                      StreamCase{64, 64, {32, 32}, {100}},
                      StreamCase{100, 128, {32, 32, 32, 32}, {64, 96, 128}},  // longer payload: not cut
                      StreamCase{1, 1, {1, 0}, {100}}),
    [](const auto& param) {
      return "Length" + std::to_string(param.param.imageLength) + "File" + std::to_string(param.param.payloadBytes);
    });

TEST(Progress, NeverWrapsAround) {
  EXPECT_EQ(progressPercent(50'000'000, 100'000'000), 50);  // x 100 would wrap in 32 bits
  EXPECT_EQ(progressPercent(0xFFFFFFFF, 0xFFFFFFFF), 100);
  EXPECT_EQ(progressPercent(0, 0), 100);
  EXPECT_EQ(progressPercent(31, 100), 31);
}

TEST_F(Engine, VersionReportsAreUnsignedAndTheFactoryMarkerIsItsOwnNotification) {
  for (const std::uint32_t v : {0u, 123u, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) receive(versionMessage(v));
  EXPECT_EQ(observer.events,
            (Events{"version 0", "version 123", "version 2147483648", "version 4294967294", "factory"}));
  EXPECT_EQ(engine.state().cur_devVersion, 0xFFFFFFFFu);
  EXPECT_EQ(engine.state().packet_type_save, 0x97);
  EXPECT_TRUE(link.written.empty());
}

TEST_F(Engine, PadNotInBootModeEndsTheUpdateWithoutSendingAnything) {
  for (const std::uint32_t flag : {0u, 2u, 0x100u}) {
    engine.beginUpdate(link);
    EXPECT_EQ(engine.state().m_updateComplete, 0u);
    receive(deviceInfoMessage(flag));
    EXPECT_EQ(engine.state().firmware_type, flag);
    EXPECT_EQ(engine.state().m_updateComplete, 1u);
  }
  EXPECT_EQ(observer.events, (Events{"not-boot", "not-boot", "not-boot"}));
  EXPECT_EQ(link.written, (Events{kBegin, kBegin, kBegin}));
}

TEST_F(Engine, NoImageOrDeclinedConfirmationCancelsWithoutSending) {
  TempImage image(123, 64, patternBytes(64));
  engine.beginUpdate(link);
  receive(deviceInfoMessage(1));  // chooser answers nothing
  observer.imagePath = image.path();
  observer.confirmation = Confirmation::Cancel;
  engine.beginUpdate(link);
  receive(deviceInfoMessage(1));
  EXPECT_EQ(observer.events, (Events{"choose", "cancelled", "choose", "confirm 123 1515870810", "cancelled"}));
  EXPECT_EQ(link.written, (Events{kBegin, kBegin}));
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Finishing);
}

struct UnreadableCase {
  const char* name;
  std::function<std::unique_ptr<TempImage>()> make;
  ImageProblem problem;
};
void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::uint8_t> rawText(std::string_view text) { return {text.begin(), text.end()}; }
// The signature's bytes (NULs included), then zeros up to `size`.
template <std::size_t N>
std::vector<std::uint8_t> withSignature(const char (&signature)[N], std::size_t size) {
  std::vector<std::uint8_t> bytes(size, 0);
  for (std::size_t i = 0; i + 1 < N; ++i) bytes[i] = static_cast<std::uint8_t>(signature[i]);
  return bytes;
}

class UnreadableImage : public Engine, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadableImage, IsRefusedBeforeAnythingGoesToThePad) {
  const auto image = GetParam().make();
  observer.imagePath = image ? image->path() : "/nonexistent/dir/image.dat";
  engine.beginUpdate(link);
  receive(deviceInfoMessage(1));
  EXPECT_EQ(observer.events, (Events{"choose", "unreadable " + std::string(problemName(GetParam().problem))}));
  EXPECT_EQ(engine.state().m_updateComplete, 1u);
  EXPECT_EQ(link.written, (Events{kBegin}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableImage,
    ::testing::Values(
        UnreadableCase{"Missing", [] { return std::unique_ptr<TempImage>(); }, ImageProblem::CannotOpen},
        UnreadableCase{"Empty", [] { return std::make_unique<TempImage>(std::vector<std::uint8_t>{}); },
                       ImageProblem::HeaderTooShort},
        UnreadableCase{"TwentySevenBytes", [] { return std::make_unique<TempImage>(std::vector<std::uint8_t>(27, 0)); },
                       ImageProblem::HeaderTooShort},
        UnreadableCase{"PayloadShorterThanItsLength",
                       [] { return std::make_unique<TempImage>(100, 64, patternBytes(63)); },
                       ImageProblem::PayloadTooShort},
        UnreadableCase{"HugeLengthTinyFile",
                       [] { return std::make_unique<TempImage>(100, 0xFFFFFFFF, patternBytes(10)); },
                       ImageProblem::PayloadTooShort},
        // Nothing to write: the pad would erase its firmware and get none.
        UnreadableCase{"LengthZero", [] { return std::make_unique<TempImage>(100, 0, patternBytes(0)); },
                       ImageProblem::NoPayload},
        UnreadableCase{"LengthZeroWithBytesAfterIt",
                       [] { return std::make_unique<TempImage>(100, 0, patternBytes(40)); }, ImageProblem::NoPayload},
        // Files people pick by mistake are named as what they are, not as broken downloads.
        UnreadableCase{"TextFile",
                       [] { return std::make_unique<TempImage>(rawText("Release notes, v1.23:\n\tfixes\r\n")); },
                       ImageProblem::NotAnImage},
        UnreadableCase{"UnicodeText",
                       [] { return std::make_unique<TempImage>(rawText("固件升级说明：修复了若干问题。\n")); },
                       ImageProblem::NotAnImage},
        UnreadableCase{"WindowsProgram",
                       [] { return std::make_unique<TempImage>(withSignature("MZ\x90\0\3\0\0\0\4\0\0\0", 200)); },
                       ImageProblem::NotAnImage},
        UnreadableCase{"LinuxProgram", [] { return std::make_unique<TempImage>(withSignature("\177ELF\2\1\1", 200)); },
                       ImageProblem::NotAnImage},
        UnreadableCase{"ZipArchive", [] { return std::make_unique<TempImage>(withSignature("PK\3\4", 200)); },
                       ImageProblem::NotAnImage},
        UnreadableCase{"LengthBeyondTheLimit",
                       [] {
                         return std::make_unique<TempImage>(100, kMaxImagePayloadBytes + 1,
                                                            patternBytes(kMaxImagePayloadBytes + 1));
                       },
                       ImageProblem::TooLarge}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(CheckedImage, SaysWhenTheFileGoesOnPastItsHeadersLength) {
  struct Row {
    const char* name;
    std::size_t payloadBytes;
    bool longer;
  };
  for (const Row& row : {Row{"Exact", 100, false}, Row{"OneByteMore", 101, true}, Row{"ABlockMore", 132, true},
                         Row{"FarLongerThanTheCheckReads", 100000, true}}) {
    TempImage image(123, 100, patternBytes(row.payloadBytes));
    StdioImageFiles files;
    const auto checked = checkImage(files, image.path());
    ASSERT_TRUE(std::holds_alternative<CheckedImage>(checked)) << row.name;
    EXPECT_EQ(std::get<CheckedImage>(checked).longerThanItsHeaderSays, row.longer) << row.name;
  }
}

// The other side of LengthBeyondTheLimit: the largest image is asked about and sent.
TEST_F(Engine, LargestImageIsAccepted) {
  TempImage image(100, kMaxImagePayloadBytes, patternBytes(kMaxImagePayloadBytes));
  observer.imagePath = image.path();
  engine.beginUpdate(link);
  receive(deviceInfoMessage(1));
  EXPECT_EQ(observer.events, (Events{"choose", "confirm 100 " + std::to_string(kVersionUnknown)}));
  ASSERT_EQ(link.written.size(), 2u) << "DrvBeginUpdate, then the header";
}

struct ChangedFileCase {
  const char* name;
  std::function<void(const std::string& path)> change;
};
void PrintTo(const ChangedFileCase& c, std::ostream* os) { *os << c.name; }

class ImageChangedAfterTheCheck : public Engine, public ::testing::WithParamInterface<ChangedFileCase> {};

TEST_P(ImageChangedAfterTheCheck, PadStillGetsExactlyTheCheckedBytes) {
  const auto checked = patternBytes(100);
  auto image = std::make_unique<TempImage>(100, 100, checked);
  observer.confirmation = Confirmation::Later;  // the file changes while the user decides
  startUpdate(*image);
  GetParam().change(image->path());
  engine.answerConfirmation(link, true);
  streamAll();
  ack();
  EXPECT_EQ(observer.events.back(), "succeeded");
  EXPECT_EQ(payloadWritten(), checked);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageChangedAfterTheCheck,
    ::testing::Values(ChangedFileCase{"Truncated",
                                      [](const std::string& path) {
                                        std::ofstream(path, std::ios::trunc).write("0123456789", 10);
                                      }},
                      ChangedFileCase{"Removed", [](const std::string& path) { std::remove(path.c_str()); }},
                      ChangedFileCase{"Rewritten",
                                      [](const std::string& path) {
                                        const auto other = patternBytes(128, 9);
                                        std::ofstream(path, std::ios::binary | std::ios::trunc)
                                            .write(reinterpret_cast<const char*>(other.data()),
                                                   static_cast<std::streamsize>(other.size()));
                                      }}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Engine, PadErrorEndsTheUpdateAndOnlyANewConfirmationStreamsAgain) {
  TempImage image(100, 128, patternBytes(128));
  for (const std::uint8_t error : {kEvtError21, kEvtError24}) {
    startUpdate(image);
    ack();
    ack();
    receive(eventMessage(error));
    EXPECT_EQ(observer.events.back(), "failed " + std::to_string(static_cast<int>(UpdateFailure::PadReportedError)));
    EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Streaming);
    EXPECT_EQ(engine.state().m_updateComplete, 1u);
    const std::size_t written = link.written.size();
    ack();  // the image is closed: nothing more goes out
    EXPECT_EQ(link.written.size(), written);
  }
  startUpdate(image);
  EXPECT_EQ(streamAll(), (std::vector<std::size_t>{32, 32, 32, 32}));
}

TEST_F(Engine, StrayAcknowledgementWhileIdleAnnouncesNothing) {
  ack();  // right after start-up, in Finishing
  EXPECT_TRUE(link.written.empty());
  EXPECT_TRUE(observer.events.empty());
  EXPECT_EQ(engine.state().deviceUpgradedCount, 0);

  TempImage image(100, 32, patternBytes(32));
  startUpdate(image);
  streamAll();
  ack();
  ack();  // a second acknowledgement after the finish
  EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "succeeded"), 1);
  EXPECT_EQ(std::count(link.written.begin(), link.written.end(), "05 00 16 01 00 02"), 1);
  EXPECT_EQ(engine.state().deviceUpgradedCount, 1);
}

TEST_F(Engine, UpdateThatEndedIsNeverResumedByALaterAcknowledgement) {
  TempImage image(100, 32, patternBytes(32));
  const std::vector<std::function<void()>> endings = {
      [&] { receive(eventMessage(kEvtError21)); }, [&] { receive(eventMessage(kEvtError24)); },
      [&] { leaveBootMode(); }, [&] { engine.updateInit(); },  // the pad arrived anew
  };
  for (const bool imageSent : {false, true}) {
    for (const auto& end : endings) {
      startUpdate(image);
      if (imageSent) streamAll();  // the next acknowledgement would finish
      end();
      const auto written = link.written.size();
      const auto events = observer.events.size();
      ack();
      ack();
      EXPECT_EQ(link.written.size(), written);
      EXPECT_EQ(observer.events.size(), events);
    }
  }
  EXPECT_EQ(engine.state().deviceUpgradedCount, 0);
}

struct WriteFailureCase {
  const char* name;
  std::size_t failingWrite;  // 0 begin, 1 header, 2 first block, 3 second block, 4 finish
};
void PrintTo(const WriteFailureCase& c, std::ostream* os) { *os << c.name; }

class FailedWrite : public Engine, public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(FailedWrite, EndsTheUpdateAsFailedNeverAsSuccess) {
  TempImage image(100, 64, patternBytes(64));
  link.failWrite = GetParam().failingWrite;
  startUpdate(image);
  for (int i = 0; i < 4; ++i) ack();
  EXPECT_EQ(observer.events.back(), "failed " + std::to_string(static_cast<int>(UpdateFailure::WriteFailed)));
  EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "succeeded"), 0);
  EXPECT_EQ(std::count_if(observer.events.begin(), observer.events.end(),
                          [](const std::string& e) { return e.starts_with("failed"); }),
            1);
  EXPECT_EQ(engine.state().m_updateComplete, 1u);
  EXPECT_EQ(engine.lastFailureReason(), "write " + std::to_string(GetParam().failingWrite) + " refused");
}

INSTANTIATE_TEST_SUITE_P(Writes, FailedWrite,
                         ::testing::Values(WriteFailureCase{"Header", 1}, WriteFailureCase{"FirstBlock", 2},
                                           WriteFailureCase{"LastBlock", 3}, WriteFailureCase{"Finish", 4}),
                         [](const auto& param) { return std::string(param.param.name); });

struct MalformedCase {
  const char* name;
  std::vector<std::uint8_t> report;  // count byte first
  std::size_t delivered;             // bytes the platform handed over
};
void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class Malformed : public Engine, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(Malformed, MessageIsIgnoredWholeMidUpdate) {
  TempImage image(100, 64, patternBytes(64));
  startUpdate(image);
  const auto eventsBefore = observer.events;
  const auto writtenBefore = link.written;
  std::vector<std::uint8_t> report = GetParam().report;
  report.resize(kReportSize, 0);
  engine.OnInputReport(link, std::span(report).first(GetParam().delivered));
  EXPECT_EQ(observer.events, eventsBefore);
  EXPECT_EQ(link.written, writtenBefore);
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::HeaderSent);
  EXPECT_EQ(engine.state().cur_devVersion, 110u);
}

std::vector<std::uint8_t> withBootFlagBeyond(std::size_t delivered) {
  auto r = inputReport(deviceInfoMessage(1));
  r.resize(delivered);
  return r;
}

INSTANTIATE_TEST_SUITE_P(Reports, Malformed,
                         ::testing::Values(MalformedCase{"BadLead", {7, 0x01, 0x16, 3, 0, 0x14, 0, 0}, 64},
                                           MalformedCase{"UnknownType", {7, 0x00, 0x42, 3, 0, 0x14, 0, 0}, 64},
                                           MalformedCase{"UnknownEvent", {7, 0x00, 0x16, 3, 0, 0x07, 0, 0}, 64},
                                           MalformedCase{"EventCodeMissing", {4, 0x00, 0x16, 0x01, 0x00, 0x14}, 5},
                                           MalformedCase{"AckCutAfterTwoBytes", {5, 0x00, 0x16, 0x01, 0x00, 0x14}, 3},
                                           MalformedCase{"VersionCutInsideItsValue",
                                                         {11, 0x00, 0x16, 7, 0, 0x04, 4, 0, 0x01, 0x02, 0x03, 0x04},
                                                         11},
                                           MalformedCase{"DeviceInfoEndsBeforeItsBootFlag", withBootFlagBeyond(43), 43},
                                           MalformedCase{"CountByteZero", {0}, 64},
                                           MalformedCase{"NothingDelivered", {0}, 0},
                                           MalformedCase{"OnlyTheCountByte", {0xFF}, 1}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(Engine, CountByteIsNotTrustedForLengthEitherWay) {
  auto report = inputReport(ackMessage());
  report[0] = 0xFF;  // claims more than a report holds
  TempImage image(100, 64, patternBytes(64));
  startUpdate(image);
  engine.OnInputReport(link, report);
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Streaming);
}

// Device information that no begin command of this engine asked for: another program sent the
// pad the begin command (hidraw hands every reader every report). Whenever it comes, and
// whatever its boot flag, it is ignored and the update under way goes on to its end.
struct StrayCase {
  const char* name;
  FrontEndForm form;
  std::size_t acksBefore;  // of a 128-byte image; SIZE_MAX: before any update
  bool padFails = false;   // the pad reported an error before the stray message
};
void PrintTo(const StrayCase& c, std::ostream* os) { *os << c.name; }

class StrayDeviceInfo : public Engine, public ::testing::WithParamInterface<std::tuple<StrayCase, std::uint32_t>> {
 protected:
  StrayDeviceInfo() : Engine(std::get<0>(GetParam()).form) {}
};

TEST_P(StrayDeviceInfo, IsIgnoredAndTheUpdateGoesOn) {
  const auto& [c, bootFlag] = GetParam();
  TempImage image(123, 128, patternBytes(128));
  constexpr std::size_t kAcksToSucceed = 5;  // four blocks, then the finish
  const bool updating = c.acksBefore != SIZE_MAX;
  if (updating) {
    startUpdate(image);
    for (std::size_t i = 0; i < c.acksBefore; ++i) ack();
    if (c.padFails) receive(eventMessage(kEvtError24));
  }
  const Events eventsBefore = observer.events;
  const auto writtenBefore = link.written.size();
  const auto completeBefore = engine.state().m_updateComplete.load();
  receive(deviceInfoMessage(bootFlag));
  EXPECT_EQ(link.written.size(), writtenBefore);
  EXPECT_EQ(engine.state().m_updateComplete, completeBefore);
  Events expected = eventsBefore;
  expected.push_back("unasked");
  EXPECT_EQ(observer.events, expected);
  EXPECT_EQ(engine.unaskedDeviceInfos(), 1u);
  if (!updating || c.padFails || c.acksBefore >= kAcksToSucceed) return;
  for (std::size_t i = c.acksBefore; i < kAcksToSucceed; ++i) ack();
  EXPECT_EQ(observer.events.back(), "succeeded");
  EXPECT_EQ(payloadWritten(), image.payload());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, StrayDeviceInfo,
    ::testing::Combine(::testing::Values(StrayCase{"PollingBeforeAnyUpdate", FrontEndForm::Polling, SIZE_MAX},
                                         StrayCase{"PollingHeaderSent", FrontEndForm::Polling, 0},
                                         StrayCase{"PollingStreaming", FrontEndForm::Polling, 2},
                                         StrayCase{"PollingImageSent", FrontEndForm::Polling, 4},
                                         StrayCase{"PollingAfterSuccess", FrontEndForm::Polling, 5},
                                         StrayCase{"PollingAfterAPadError", FrontEndForm::Polling, 2, true},
                                         StrayCase{"PushBeforeAnyUpdate", FrontEndForm::Push, SIZE_MAX},
                                         StrayCase{"PushHeaderSent", FrontEndForm::Push, 0},
                                         StrayCase{"PushStreaming", FrontEndForm::Push, 3},
                                         StrayCase{"PushImageSent", FrontEndForm::Push, 4},
                                         StrayCase{"PushAfterSuccess", FrontEndForm::Push, 5},
                                         StrayCase{"PushAfterAPadError", FrontEndForm::Push, 1, true}),
                       ::testing::Values(1u, 0u)),
    [](const auto& param) {
      return std::string(std::get<0>(param.param).name) + "Flag" + std::to_string(std::get<1>(param.param));
    });

// Another program's update that fails: its error event reaches this engine too. With no update
// of its own running, the engine has nothing to fail; one that runs is ended, as the pad's
// error may be about it.
TEST_F(Engine, ErrorEventWhileNoUpdateRunsShowsNoFailure) {
  TempImage image(123, 64, patternBytes(64));
  receive(eventMessage(kEvtError21));  // before any update
  startUpdate(image);
  for (int i = 0; i < 3; ++i) ack();
  receive(eventMessage(kEvtError24));  // after this engine's update succeeded
  EXPECT_EQ(observer.events, (Events{"version 110", "choose", "confirm 123 110", "progress 100", "sent", "succeeded"}));
  startUpdate(image);
  receive(eventMessage(kEvtError21));
  EXPECT_EQ(observer.events.back(), "failed " + std::to_string(static_cast<int>(UpdateFailure::PadReportedError)));
}

// While the user is being asked, a second device information must not ask again.
TEST_F(PushEngine, StrayDeviceInfoWhileTheUserDecidesChangesNothing) {
  TempImage image(123, 64, patternBytes(64));
  observer.confirmation = Confirmation::Later;
  startUpdate(image);
  receive(deviceInfoMessage(1));
  receive(deviceInfoMessage(0));
  EXPECT_EQ(observer.events, (Events{"version 110", "choose", "confirm 123 110", "unasked", "unasked"}));
  EXPECT_TRUE(engine.answerConfirmation(link, true));
  EXPECT_EQ(streamAll(), (std::vector<std::size_t>{32, 32}));
}

// How far an update got: the header going out is what changes the pad.
TEST_F(Engine, PadFirmwareIsTouchedOnlyOnceTheHeaderHasGoneOut) {
  TempImage image(123, 64, patternBytes(64));
  observer.confirmation = Confirmation::Cancel;
  startUpdate(image);
  EXPECT_FALSE(engine.padFirmwareTouched());
  observer.confirmation = Confirmation::Ok;
  startUpdate(image);
  EXPECT_TRUE(engine.padFirmwareTouched());
  receive(eventMessage(kEvtError21));
  EXPECT_TRUE(engine.padFirmwareTouched());  // the failed update left the pad without firmware
  engine.beginUpdate(link);
  EXPECT_FALSE(engine.padFirmwareTouched());  // a new update starts with the pad as it is
  link.failWrite = link.written.size();       // the header cannot be written
  receive(deviceInfoMessage(1));
  EXPECT_FALSE(engine.padFirmwareTouched());
}

TEST_F(Engine, UpdateInitClearsTheTransferButKeepsTheState) {
  TempImage image(100, 128, patternBytes(128));
  startUpdate(image);
  ack();
  EXPECT_EQ(engine.state().m_updateComplete, 0u);
  engine.updateInit();
  EXPECT_EQ(engine.state().m_handleFirmeWare.image, nullptr);
  EXPECT_EQ(engine.state().m_handleFirmeWare.bytesSent, 0u);
  EXPECT_EQ(engine.state().m_firmwareHeader, FirmwareHeader{});
  EXPECT_EQ(engine.state().m_updateComplete, 1u);
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Streaming);
}

TEST_F(Engine, PollingFormStartsWithTheVersionUnknownAndKeepsThePath) {
  EXPECT_EQ(engine.state().cur_devVersion, kVersionUnknown);
  TempImage image(100, 32, patternBytes(32));
  startUpdate(image);
  streamAll();
  EXPECT_EQ(engine.state().m_FilePathName, image.path());
}

TEST_F(PushEngine, ConfirmationAnsweredLaterSendsTheHeaderWithTheVersionReportsLinkKind) {
  EXPECT_EQ(engine.state().cur_devVersion, 0u);
  TempImage image(123, 64, patternBytes(64));
  observer.confirmation = Confirmation::Later;
  startUpdate(image);
  EXPECT_EQ(link.written, (Events{kBegin}));
  EXPECT_EQ(engine.state().g_firmware_update_state, FirmwareUpdateState::Finishing);
  EXPECT_TRUE(engine.answerConfirmation(link, true));
  ASSERT_EQ(link.written.size(), 2u);
  EXPECT_EQ(link.written[1].substr(0, 23), "23 00 16 1F 00 01 1C 00");
  EXPECT_EQ(streamAll(), (std::vector<std::size_t>{32, 32}));
  EXPECT_FALSE(engine.state().m_FilePathName.has_value());  // forgotten once the payload is sent
}

TEST_F(PushEngine, NewUpdateStopsWhatIsLeftOfTheOldOneWhileTheUserDecides) {
  // The old update asked again after its header, in mid-stream, and with its image all sent.
  const std::vector<std::size_t> acksBeforeTheNewUpdate = {0, 2, 32};
  for (const std::size_t acks : acksBeforeTheNewUpdate) {
    TempImage first(123, 1024, patternBytes(1024));
    observer.confirmation = Confirmation::Ok;
    startUpdate(first);
    for (std::size_t i = 0; i < acks; ++i) ack();
    TempImage second(124, 64, patternBytes(64, 7));
    observer.imagePath = second.path();
    observer.confirmation = Confirmation::Later;
    engine.beginUpdate(link);
    const std::size_t written = link.written.size();
    const std::size_t events = observer.events.size();
    receive(deviceInfoMessage(1));
    for (int i = 0; i < 3; ++i) ack();  // acknowledgements while the sheet is up move nothing
    EXPECT_EQ(link.written.size(), written);
    EXPECT_EQ(Events(observer.events.begin() + static_cast<std::ptrdiff_t>(events), observer.events.end()),
              (Events{"choose", "confirm 124 110"}));
    engine.answerConfirmation(link, true);
    EXPECT_EQ(streamAll(), (std::vector<std::size_t>{32, 32}));
  }
}

TEST_F(PushEngine, LateAnswerToTheConfirmationOfAnUpdateThatEndedIsIgnored) {
  TempImage image(123, 64, patternBytes(64));
  observer.confirmation = Confirmation::Later;
  const std::vector<std::function<void()>> endings = {
      [&] { receive(eventMessage(kEvtError21)); },
      [&] { leaveBootMode(); },
      [&] { engine.updateInit(); },
  };
  for (const bool ok : {true, false}) {
    for (const auto& end : endings) {
      startUpdate(image);
      end();
      const auto events = observer.events.size();
      EXPECT_FALSE(engine.answerConfirmation(link, ok));
      ack();
      EXPECT_EQ(observer.events.size(), events);
    }
  }
  EXPECT_EQ(link.written, Events(8, kBegin));  // each start, and the begin that found the pad out of boot mode
}

TEST_F(PushEngine, ConfirmationDeclinedLaterCancels) {
  TempImage image(123, 64, patternBytes(64));
  observer.confirmation = Confirmation::Later;
  startUpdate(image);
  engine.answerConfirmation(link, false);
  EXPECT_EQ(observer.events.back(), "cancelled");
  EXPECT_EQ(link.written, (Events{kBegin}));
}

TEST_F(PushEngine, ConfirmationBeforeAnyVersionReportFailsInsteadOfWaitingForever) {
  TempImage image(123, 64, patternBytes(64));
  observer.imagePath = image.path();
  observer.confirmation = Confirmation::Later;
  engine.beginUpdate(link);
  receive(deviceInfoMessage(1));
  engine.answerConfirmation(link, true);
  EXPECT_EQ(link.written, (Events{kBegin}));
  EXPECT_EQ(observer.events.back(), "failed " + std::to_string(static_cast<int>(UpdateFailure::WriteFailed)));
  ack();  // the pad never saw a header: an acknowledgement starts nothing
  EXPECT_EQ(link.written, (Events{kBegin}));
}

}  // namespace
}  // namespace morvik
