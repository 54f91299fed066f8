// The polling reader against the simulated pad: whole updates, a silent, failing or vanishing
// pad, and a caller that stops the reader. Every case must end; none may wait forever.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "test_support.h"

namespace morvik {
namespace {

using testing::inputReport;
using testing::patternBytes;
using testing::RecordingObserver;
using testing::TempImage;
using testing::versionMessage;

constexpr ReaderTiming kQuickTiming{200, 10, std::chrono::milliseconds(300), std::chrono::milliseconds(300),
                                    std::chrono::milliseconds(900)};

// A pad that fills every quiet spell with a report the update does not use.
struct ChattyPad : SimulatedPad {
  bool chatty = false;
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override {
    const ReadStatus status = SimulatedPad::readReport(report, length);
    if (status != ReadStatus::NoReport || !chatty) return status;
    const auto message = versionMessage(110);
    report[0] = static_cast<std::uint8_t>(message.size());
    std::copy(message.begin(), message.end(), report.begin() + 1);
    length = kReportSize;
    return ReadStatus::Report;
  }
};

std::string failed(UpdateFailure cause) { return "failed " + std::to_string(static_cast<int>(cause)); }

class Reader : public ::testing::Test {
 protected:
  Reader() : engine(FrontEndForm::Polling, observer, nullptr, kQuickTiming) {}

  // What a polling front-end does: ask the version, then run one update.
  ReaderOutcome update(const TempImage& image) {
    observer.imagePath = image.path();
    EXPECT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::Reported);
    return engine.ReaderLoop(pad);
  }

  RecordingObserver observer;
  ChattyPad pad;
  UpdateEngine engine;
};

TEST_F(Reader, WholeUpdateLeavesExactlyTheImageInThePad) {
  for (const std::size_t size : {std::size_t{1}, std::size_t{31}, std::size_t{32}, std::size_t{4097}}) {
    SimulatedPad fresh;
    RecordingObserver seen;
    UpdateEngine e(FrontEndForm::Polling, seen, nullptr, kQuickTiming);
    TempImage image(250, static_cast<std::uint32_t>(size), patternBytes(size, static_cast<std::uint8_t>(size)));
    seen.imagePath = image.path();
    ASSERT_EQ(e.QueryDeviceVersion(fresh), VersionQueryResult::Reported);
    ASSERT_EQ(e.ReaderLoop(fresh), ReaderOutcome::Ended);
    EXPECT_EQ(seen.events.back(), "succeeded") << size;
    const auto got = fresh.received();
    EXPECT_EQ(got.payload, image.payload()) << size;
    ASSERT_TRUE(got.header.has_value());
    EXPECT_EQ(got.header->version, 250u);
    EXPECT_EQ(got.header->imageLength, size);
    EXPECT_EQ(got.header->opaqueWord, 0x11223344u);
    EXPECT_EQ(got.finishes, 1u);
  }
}

TEST_F(Reader, MalformedReportsAmongTheAnswersChangeNothing) {
  PadBehaviour noisy;
  noisy.malformedBeforeEachAnswer = true;
  pad.setBehaviour(noisy);
  TempImage image(101, 1000, patternBytes(1000));
  EXPECT_EQ(update(image), ReaderOutcome::Ended);
  EXPECT_EQ(observer.events.front(), "version 110");
  EXPECT_EQ(observer.events.back(), "succeeded");
  EXPECT_EQ(pad.received().payload, image.payload());
  EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "choose"), 1);
}

TEST_F(Reader, VersionQueryHandlesOtherMessagesBeforeTheVersion) {
  pad.inject(PadReport{});  // an empty report
  PadReport info;
  const auto message = testing::deviceInfoMessage(0);
  info.bytes[0] = static_cast<std::uint8_t>(message.size());
  std::copy(message.begin(), message.end(), info.bytes.begin() + 1);
  pad.inject(info);
  EXPECT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::Reported);
  // Device information that no begin command asked for is another program's: it is ignored.
  EXPECT_EQ(observer.events, (std::vector<std::string>{"unasked", "version 110"}));
  EXPECT_EQ(pad.received().versionQueries, 1u);
}

TEST_F(Reader, VersionQueryEndsForAFactoryPadAndForAPadReportingTheUnknownMarker) {
  for (const std::uint32_t version : {kFactoryVersion, kVersionUnknown}) {
    PadBehaviour b;
    b.version = version;
    pad.setBehaviour(b);
    EXPECT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::Reported);
    EXPECT_EQ(engine.state().cur_devVersion, version);
  }
}

TEST_F(Reader, VersionQueryIsBoundedForAPadThatNeverAnswers) {
  PadBehaviour mute;
  mute.silentAfterDataFrames = 0;
  SimulatedPad silent(mute);
  const auto before = silent.received();
  EXPECT_EQ(engine.QueryDeviceVersion(silent), VersionQueryResult::NoAnswer);
  EXPECT_EQ(engine.state().cur_devVersion, kVersionUnknown);
  EXPECT_GE(silent.received().readIdles, 1u);  // each empty read is answered with DrvReadIdle
  EXPECT_EQ(before.readIdles, 0u);
}

TEST_F(Reader, VersionQueryReportsAGoneOrUnopenablePad) {
  pad.unplug();
  EXPECT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::OpenFailed);

  struct VanishingOnOpen : SimulatedPad {
    bool OpenReadWrite() override {
      const bool opened = SimulatedPad::OpenReadWrite();
      unplug();
      return opened;
    }
  } vanishing;
  EXPECT_EQ(engine.QueryDeviceVersion(vanishing), VersionQueryResult::LinkLost);
}

struct MisbehaviourCase {
  const char* name;
  PadBehaviour behaviour;
  UpdateFailure cause;
  std::uint32_t dataFramesTaken;
  bool chatty = false;
};
void PrintTo(const MisbehaviourCase& c, std::ostream* os) { *os << c.name; }

PadBehaviour misbehaving(std::function<void(PadBehaviour&)> set) {
  PadBehaviour b;
  set(b);
  return b;
}

class MisbehavingPad : public Reader, public ::testing::WithParamInterface<MisbehaviourCase> {};

// An error event, a pad that falls silent and a pad that vanishes each end the update with
// their own cause, at once or within the silence limit; none leaves the reader polling.
TEST_P(MisbehavingPad, EndsTheUpdateAsFailedWithItsCause) {
  pad.setBehaviour(GetParam().behaviour);
  pad.chatty = GetParam().chatty;
  TempImage image(101, 320, patternBytes(320));
  EXPECT_EQ(update(image), ReaderOutcome::Ended);
  EXPECT_EQ(observer.events.back(), failed(GetParam().cause));
  EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "succeeded"), 0);
  EXPECT_EQ(pad.received().dataFrames, GetParam().dataFramesTaken);
  EXPECT_EQ(pad.received().finishes, 0u);
  EXPECT_EQ(engine.state().m_handleFirmeWare.image, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Pads, MisbehavingPad,
    ::testing::Values(MisbehaviourCase{"ErrorEvent", misbehaving([](PadBehaviour& b) {
                                         b.failAfterDataFrames = 3;
                                         b.errorEvent = kEvtError24;
                                       }),
                                       UpdateFailure::PadReportedError, 3},
                      MisbehaviourCase{"FallsSilent", misbehaving([](PadBehaviour& b) { b.silentAfterDataFrames = 2; }),
                                       UpdateFailure::PadSilent, 3},
                      MisbehaviourCase{"KeepsReportingButNeverAcknowledges",
                                       misbehaving([](PadBehaviour& b) { b.silentAfterDataFrames = 2; }),
                                       UpdateFailure::PadSilent, 3, true},
                      MisbehaviourCase{"HeaderAnswerLaterThanItsLimit", misbehaving([](PadBehaviour& b) {
                                         b.headerAnswerDelay = std::chrono::milliseconds(2000);
                                       }),
                                       UpdateFailure::PadSilent, 0},
                      MisbehaviourCase{"Vanishes", misbehaving([](PadBehaviour& b) { b.vanishAfterDataFrames = 4; }),
                                       UpdateFailure::PadGone, 4}),
    [](const auto& param) { return std::string(param.param.name); });

struct SlowPadCase {
  const char* name;
  PadBehaviour behaviour;
  std::uint32_t payloadBytes;
};
void PrintTo(const SlowPadCase& c, std::ostream* os) { *os << c.name; }

class SlowPad : public Reader, public ::testing::WithParamInterface<SlowPadCase> {};

// Silence is a single gap longer than its limit: a pad that is slow but keeps answering within
// it finishes, however long the whole update takes.
TEST_P(SlowPad, IsNotSilentAndFinishes) {
  pad.setBehaviour(GetParam().behaviour);
  TempImage image(101, GetParam().payloadBytes, patternBytes(GetParam().payloadBytes));
  EXPECT_EQ(update(image), ReaderOutcome::Ended);
  EXPECT_EQ(observer.events.back(), "succeeded");
  EXPECT_EQ(pad.received().payload, image.payload());
}

INSTANTIATE_TEST_SUITE_P(
    Pads, SlowPad,
    ::testing::Values(SlowPadCase{"HeaderAnswerSlowerThanABlock", misbehaving([](PadBehaviour& b) {
                                    b.headerAnswerDelay = std::chrono::milliseconds(600);  // between the two limits
                                  }),
                                  320},
                      // twelve answers 150 ms apart: 1.8 s in all, each gap half the 300 ms limit
                      SlowPadCase{"EveryAnswerWellWithinTheLimit",
                                  misbehaving([](PadBehaviour& b) { b.latency = std::chrono::milliseconds(150); }),
                                  320}),
    [](const auto& param) { return std::string(param.param.name); });

// Another program began an update on the same pad: its device information reaches this reader
// too, in mid-stream, and must neither restart nor end this update.
TEST_F(Reader, DeviceInfoAnotherProgramAskedForLeavesTheUpdateWhole) {
  for (const std::uint32_t bootFlag : {1u, 0u}) {
    PadBehaviour behaviour;
    behaviour.strayDeviceInfoAfterDataFrames = 3;
    behaviour.strayBootFlag = bootFlag;
    SimulatedPad fresh(behaviour);
    RecordingObserver seen;
    UpdateEngine e(FrontEndForm::Polling, seen, nullptr, kQuickTiming);
    TempImage image(250, 4096, patternBytes(4096));
    seen.imagePath = image.path();
    ASSERT_EQ(e.QueryDeviceVersion(fresh), VersionQueryResult::Reported);
    EXPECT_EQ(e.ReaderLoop(fresh), ReaderOutcome::Ended);
    EXPECT_EQ(seen.events.back(), "succeeded") << "flag " << bootFlag;
    EXPECT_EQ(e.unaskedDeviceInfos(), 1u);
    EXPECT_EQ(fresh.received().payload, image.payload());
  }
}

TEST_F(Reader, BeginUpdateThatCannotBeWrittenReturnsAtOnce) {
  TempImage image(101, 32, patternBytes(32));
  ASSERT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::Reported);
  pad.unplug();
  EXPECT_EQ(engine.ReaderLoop(pad), ReaderOutcome::BeginFailed);
  EXPECT_EQ(observer.events.size(), 1u);  // only the version
}

TEST_F(Reader, NotInBootModeAndCancelEndTheLoop) {
  PadBehaviour runMode;
  runMode.bootFlag = 0;
  pad.setBehaviour(runMode);
  TempImage image(101, 32, patternBytes(32));
  EXPECT_EQ(update(image), ReaderOutcome::Ended);
  EXPECT_EQ(observer.events.back(), "not-boot");

  pad.setBehaviour(PadBehaviour{});
  observer.confirmation = Confirmation::Cancel;
  EXPECT_EQ(update(image), ReaderOutcome::Ended);
  EXPECT_EQ(observer.events.back(), "cancelled");
  EXPECT_EQ(pad.received().header, std::nullopt);
}

TEST_F(Reader, ReadWaitDropsOnceTheHeaderHasGoneOut) {
  struct WatchedPad : SimulatedPad {
    std::vector<std::uint32_t> waits;
    void SetReadTimeout(std::uint32_t ms) override {
      waits.push_back(ms);
      SimulatedPad::SetReadTimeout(ms);
    }
  } watched;
  TempImage image(101, 64, patternBytes(64));
  observer.imagePath = image.path();
  ASSERT_EQ(engine.QueryDeviceVersion(watched), VersionQueryResult::Reported);
  EXPECT_EQ(engine.ReaderLoop(watched), ReaderOutcome::Ended);
  EXPECT_EQ(watched.waits, (std::vector<std::uint32_t>{10}));
}

TEST_F(Reader, StopRequestFromAnotherThreadEndsTheLoopAndClosesTheImage) {
  PadBehaviour slow;
  slow.silentAfterDataFrames = 1;  // the update would otherwise wait for the silence limit
  pad.setBehaviour(slow);
  TempImage image(101, 320, patternBytes(320));
  observer.imagePath = image.path();
  ASSERT_EQ(engine.QueryDeviceVersion(pad), VersionQueryResult::Reported);
  StopSource stop;
  ReaderOutcome outcome{};
  std::thread worker([&] { outcome = engine.ReaderLoop(pad, stop.get_token()); });
  // Bounded: an update that never reaches its first block must fail here, not hang the test.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (pad.received().dataFrames == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  stop.request_stop();
  worker.join();
  EXPECT_GT(pad.received().dataFrames, 0u) << "the update reached its first block";
  EXPECT_EQ(outcome, ReaderOutcome::Stopped);
  EXPECT_EQ(engine.state().m_handleFirmeWare.image, nullptr);
  EXPECT_EQ(engine.state().m_updateComplete, 1u);
}

}  // namespace
}  // namespace morvik
