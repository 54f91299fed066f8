// Whole updates against the simulated pad, through the same session the program runs.
#include "one_pad/update_session.h"

#include <gtest/gtest.h>

#include <sstream>

#include "image/image_text.h"
#include "morvik/simulated_pad.h"
#include "stream_answers.h"
#include "test_image.h"

namespace morvik::cli {
namespace {

using testing::imageBytes;
using testing::StreamAnswers;
using testing::writeTestFile;

// Short waits, so the silent-pad case ends quickly.
ReaderTiming quickTiming() {
  ReaderTiming timing;
  timing.versionWait = std::chrono::milliseconds(500);
  timing.silenceLimit = std::chrono::milliseconds(100);
  return timing;
}

struct SessionRun {
  ExitCode code;
  std::string out;
  std::string err;
};

SessionRun runUpdate(PollingHidTransport& pad, const std::string& image, const std::string& input, bool yes,
                     StopToken stop = {}) {
  std::istringstream in(input);
  StreamAnswers answers(in);
  std::ostringstream out, err;
  // Served from the checked copy, as the program does.
  const UpdateRequest request{image, yes, false, quickTiming(), *inspectImage(image).image};
  const ExitCode code = updatePad(pad, request, SessionIo{out, err, answers, false}, stop);
  return {code, out.str(), err.str()};
}

TEST(UpdateSession, SuccessfulUpdateLeavesExactlyThePayloadInThePad) {
  const auto bytes = imageBytes(123, 100, 100);
  const std::string image = writeTestFile("fw.dat", bytes);
  SimulatedPad pad;
  const SessionRun run = runUpdate(pad, image, "", true);
  EXPECT_EQ(run.code, ExitCode::Success) << run.err;
  EXPECT_TRUE(pad.finished());
  EXPECT_EQ(pad.received().payload, std::vector<std::uint8_t>(bytes.begin() + kHeaderSize, bytes.end()));
  EXPECT_NE(run.out.find("Pad firmware version:   1.10"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Progress: 100%"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Firmware updated to v1.23"), std::string::npos) << run.out;
}

TEST(UpdateSession, TraceOnATerminalGetsPlainProgressLines) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 64, 64));
  SimulatedPad pad;
  std::istringstream in;
  StreamAnswers answers(in);
  std::ostringstream out, err;
  const UpdateRequest request{image, true, true, quickTiming(), *inspectImage(image).image};
  EXPECT_EQ(updatePad(pad, request, SessionIo{out, err, answers, true}, {}), ExitCode::Success);
  EXPECT_EQ(out.str().find('\r'), std::string::npos) << "a bar would share lines with the trace";
  EXPECT_NE(out.str().find("\nout 05 00 16 01 00 02\n"), std::string::npos) << out.str();
}

TEST(UpdateSession, MalformedReportsFromThePadDoNotDerailTheUpdate) {
  const auto bytes = imageBytes(123, 200, 200);
  const std::string image = writeTestFile("fw.dat", bytes);
  PadBehaviour behaviour;
  behaviour.malformedBeforeEachAnswer = true;
  SimulatedPad pad(behaviour);
  const SessionRun run = runUpdate(pad, image, "", true);
  EXPECT_EQ(run.code, ExitCode::Success) << run.err;
  EXPECT_EQ(pad.received().payload, std::vector<std::uint8_t>(bytes.begin() + kHeaderSize, bytes.end()));
}

struct EndingCase {
  const char* name;
  PadBehaviour behaviour;
  const char* answer;
  bool yes;
  ExitCode expected;
  const char* errPart;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

PadBehaviour with(void (*change)(PadBehaviour&)) {
  PadBehaviour behaviour;
  change(behaviour);
  return behaviour;
}

class UpdateEndings : public ::testing::TestWithParam<EndingCase> {};

TEST_P(UpdateEndings, EachEndingHasItsOwnExitCodeAndMessage) {
  const EndingCase& c = GetParam();
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 256, 256));
  SimulatedPad pad(c.behaviour);
  const SessionRun run = runUpdate(pad, image, c.answer, c.yes);
  EXPECT_EQ(run.code, c.expected) << run.out << run.err;
  EXPECT_NE(run.err.find(c.errPart), std::string::npos) << run.err;
  EXPECT_FALSE(pad.finished());
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, UpdateEndings,
    ::testing::Values(EndingCase{"PadReportsError", with([](PadBehaviour& b) { b.failAfterDataFrames = 3; }), "", true,
                                 ExitCode::PadFailed, "the pad reported an error"},
                      EndingCase{"PadReportsError24", with([](PadBehaviour& b) {
                                   b.failAfterDataFrames = 1;
                                   b.errorEvent = 0x18;
                                 }),
                                 "", true, ExitCode::PadFailed, "the pad reported an error"},
                      EndingCase{"NotInBootMode", with([](PadBehaviour& b) { b.bootFlag = 0; }), "", true,
                                 ExitCode::NotInBootMode, "not in boot mode"},
                      EndingCase{"PadFallsSilent", with([](PadBehaviour& b) { b.silentAfterDataFrames = 2; }), "", true,
                                 ExitCode::PadLost, "stopped answering"},
                      EndingCase{"PadNeverAnswers", with([](PadBehaviour& b) { b.silentAfterDataFrames = 0; }), "",
                                 true, ExitCode::PadLost, "did not report its firmware version"},
                      EndingCase{"PadVanishes", with([](PadBehaviour& b) { b.vanishAfterDataFrames = 2; }), "", true,
                                 ExitCode::PadLost, "went away"},
                      EndingCase{"UserDeclines", PadBehaviour{}, "n\n", false, ExitCode::Cancelled, "cancelled"},
                      EndingCase{"InputEnds", PadBehaviour{}, "", false, ExitCode::Cancelled, "cancelled"}),
    [](const ::testing::TestParamInfo<EndingCase>& param) { return param.param.name; });

TEST(UpdateSession, UnpluggedPadCannotBeOpened) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 64, 64));
  SimulatedPad pad;
  pad.unplug();
  EXPECT_EQ(runUpdate(pad, image, "", true).code, ExitCode::NoAccess);
}

TEST(UpdateSession, FactoryFirmwareIsShownAsSuch) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 64, 64));
  PadBehaviour behaviour;
  behaviour.version = kFactoryVersion;
  SimulatedPad pad(behaviour);
  const SessionRun run = runUpdate(pad, image, "y\n", false);
  EXPECT_EQ(run.code, ExitCode::Success) << run.err;
  EXPECT_NE(run.out.find("(pad: factory firmware)"), std::string::npos) << run.out;
}

// Asks the session to stop once the pad has taken `frames` data frames, as Ctrl-C would.
class StopAfterDataFrames final : public PollingHidTransport {
 public:
  StopAfterDataFrames(SimulatedPad& pad, std::uint32_t frames) : pad_(pad), frames_(frames) {}
  StopToken token() const { return stop_.get_token(); }

  LinkStatus writeReport(OutputReport report) override {
    const LinkStatus status = pad_.writeReport(report);
    if (pad_.received().dataFrames >= frames_) stop_.request_stop();
    return status;
  }
  void SetReadTimeout(std::uint32_t ms) override { pad_.SetReadTimeout(ms); }
  bool OpenReadWrite() override { return pad_.OpenReadWrite(); }
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override {
    return pad_.readReport(report, length);
  }

 private:
  SimulatedPad& pad_;
  std::uint32_t frames_;
  StopSource stop_;
};

TEST(UpdateSession, CancelMidStreamStopsSendingAndSaysThePadNeedsAnotherRun) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 1024, 1024));
  SimulatedPad pad;
  StopAfterDataFrames link(pad, 4);
  const SessionRun run = runUpdate(link, image, "", true, link.token());
  EXPECT_EQ(run.code, ExitCode::Cancelled);
  EXPECT_NE(run.err.find("part-way"), std::string::npos) << run.err;
  EXPECT_LE(pad.received().dataFrames, 5u);
  EXPECT_FALSE(pad.finished());
}

TEST(UpdateSession, CancelBeforeTheVersionSendsNothingElse) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 64, 64));
  SimulatedPad pad;
  StopSource cancel;
  cancel.request_stop();
  EXPECT_EQ(runUpdate(pad, image, "", true, cancel.get_token()).code, ExitCode::Cancelled);
  EXPECT_EQ(pad.received().beginUpdates, 0u);
}

TEST(ImageRefusal, RefusesUnfitImagesBeforeAnyPadIsTouched) {
  std::ostringstream out, err;
  const auto check = [&](const std::string& path) { return refuseUnfitImage(path, inspectImage(path), out, err); };
  EXPECT_EQ(check(writeTestFile("short.dat", imageBytes(123, 64, 10))), ExitCode::ImageRefused);
  EXPECT_EQ(check(writeTestFile("empty.dat", imageBytes(123, 0, 0))), ExitCode::ImageRefused);
  EXPECT_EQ(check(writeTestFile("fine.dat", imageBytes(123, 64, 64))), std::nullopt);
  EXPECT_EQ(check(writeTestFile("long.dat", imageBytes(123, 64, 100))), std::nullopt);
  EXPECT_NE(out.str().find("36 bytes beyond"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace morvik::cli
