// Whole updates through the controller against the simulated pad, in the push form the Mac
// program uses: every answer of the pad is handed over as one input report.
#include "updater_controller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "morvik/simulated_pad.h"
#include "window_texts.h"

namespace morvik::mac {
namespace {

using namespace std::chrono_literals;

// Records what the window was asked to do, one line per call.
class RecordingWindow final : public UpdaterWindow {
 public:
  std::vector<std::string> events;
  std::vector<std::string> logs;  // kept apart: the user does not see them
  std::optional<std::string> imageToChoose;
  HidTransport* sheetContext = nullptr;
  // Set to end the sheet before beginConfirmationSheet returns, as a modal sheet does.
  std::function<void(HidTransport*)> endSheetAtOnce;

  void setUpdateButtonEnabled(bool enabled) override { events.push_back(enabled ? "button on" : "button off"); }
  void setVersionText(std::string_view text) override { events.push_back("version " + std::string(text)); }
  void settleVersionField() override { events.push_back("settle"); }
  void setProgressValue(double percent) override {
    events.push_back("progress " + std::to_string(static_cast<int>(percent)));
  }
  void runAlert(std::string_view message) override { events.push_back("alert " + std::string(message)); }
  void runExplainedAlert(std::string_view message, std::string_view explanation) override {
    events.push_back("alert " + std::string(message) + " | " + std::string(explanation));
  }
  void showHelp() override { events.push_back("help"); }
  void log(std::string_view line) override { logs.emplace_back(line); }
  std::optional<std::string> chooseImageFile() override {
    events.emplace_back("chooser");
    return imageToChoose;
  }
  void beginConfirmationSheet(std::string_view text, HidTransport* pad) override {
    events.push_back("sheet " + std::string(text));
    sheetContext = pad;
    if (endSheetAtOnce) endSheetAtOnce(pad);
  }

  bool saw(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
  std::vector<std::string> take() { return std::exchange(events, {}); }
};

std::string writeImage(const std::string& name, std::uint32_t version, std::uint32_t imageLength,
                       std::size_t payloadBytes) {
  FirmwareHeader header;
  header.version = version;
  header.opaqueWord = 0xA5A55A5A;
  header.imageLength = imageLength;
  const auto head = header.encode();
  // One file per test process: ctest runs the cases side by side, and one must not rewrite
  // another's image while it is read.
  const auto path = (std::filesystem::path(testing::TempDir()) / (std::to_string(getpid()) + "-" + name)).string();
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  for (std::size_t i = 0; i < payloadBytes; ++i) out.put(static_cast<char>(i * 7 + 1));
  return path;
}

template <typename Change>
PadBehaviour behaviour(Change change) {
  PadBehaviour b;
  change(b);
  return b;
}

class ControllerFlow : public testing::Test {
 protected:
  RecordingWindow window;
  Clock::time_point fakeNow{};
  UpdaterController controller{window, nullptr, [this] { return fakeNow; }};
  SimulatedPad pad;

  // The boot-mode pad is plugged in and opened, as the HID side does it.
  void plugBootPad() {
    controller.setup();
    ASSERT_EQ(controller.deviceArrived(0x0483, 0x5750), ArrivalAction::AcceptBootPad);
    controller.bootPadOpened(pad);
  }
  // Hands every answer that is due to the controller, as the report callback would.
  void pump() { pump(pad); }
  void pump(SimulatedPad& from) {
    while (auto report = from.takeDueReport())
      controller.inputReport(from, std::span<const std::uint8_t>(report->bytes.data(), report->length));
  }
  void startUpdateWith(const std::string& image) {
    window.imageToChoose = image;
    controller.updateButtonAction();
    pump();
  }
};

TEST_F(ControllerFlow, AFileLongerThanItsHeaderSaysIsWarnedOfOnTheSheet) {
  const auto image = writeImage("longer.dat", 123, 100, 101);
  plugBootPad();
  pump();
  window.take();
  startUpdateWith(image);
  EXPECT_TRUE(window.saw("sheet The File Firmware Version:  v1.23\n\n" + std::string(kLongerThanHeaderNote)));
}

TEST_F(ControllerFlow, SuccessStreamsTheImageAndTheRestartedPadShowsNoHelp) {
  const auto image = writeImage("ok.dat", 123, 100, 100);
  plugBootPad();
  pump();
  EXPECT_EQ(window.take(), (std::vector<std::string>{"button off", "button on", "version v1.10", "settle"}));

  startUpdateWith(image);
  EXPECT_EQ(window.take(),
            (std::vector<std::string>{"button off", "chooser", "sheet The File Firmware Version:  v1.23"}));
  ASSERT_EQ(window.sheetContext, &pad);

  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  EXPECT_EQ(window.take(), (std::vector<std::string>{"progress 64", "progress 96", "progress 100",
                                                     "alert " + std::string(kSuccessAlert)}));
  ASSERT_TRUE(pad.finished());
  const auto got = pad.received();
  ASSERT_TRUE(got.header.has_value());
  EXPECT_EQ(got.header->version, 123u);
  EXPECT_EQ(got.payload.size(), 100u);
  EXPECT_EQ(controller.engine().state().deviceUpgradedCount, 1);

  // The pad restarts: boot mode leaves, run mode comes back without the help alert.
  controller.deviceRemoved(0x0483, 0x5750, true);
  EXPECT_EQ(controller.deviceArrived(kRunModeIdentities[2].vendorId, kRunModeIdentities[2].productId),
            ArrivalAction::AbsorbRestart);
  EXPECT_EQ(window.take(), (std::vector<std::string>{"version ", "button off"}));
  // Any later run-mode pad gets the help.
  EXPECT_EQ(controller.deviceArrived(kRunModeIdentities[0].vendorId, kRunModeIdentities[0].productId),
            ArrivalAction::ShowHelp);
  EXPECT_EQ(window.take(), std::vector<std::string>{"help"});
}

TEST_F(ControllerFlow, PadNotInBootModeIsRefusedAndTheButtonStaysOff) {
  pad.setBehaviour(behaviour([](PadBehaviour& b) { b.bootFlag = 0; }));
  plugBootPad();
  pump();
  window.take();
  startUpdateWith(writeImage("never.dat", 123, 32, 32));
  EXPECT_EQ(window.take(), (std::vector<std::string>{"button off", "alert " + std::string(kNotInBootModeAlert)}));
  EXPECT_FALSE(pad.received().header.has_value());
}

// The pad could not be opened: refused by macOS's privacy control, the user is told how to allow
// the app (not left with a pad that never answers); another failure changes nothing.
TEST_F(ControllerFlow, APadTheAppMayNotOpenIsExplained) {
  const struct {
    std::uint32_t result;
    bool refused;
  } cases[] = {{kOpenNotPermitted, true}, {0xE00002C5 /* exclusive access */, false}};
  for (const auto& c : cases) {
    window.take();
    EXPECT_EQ(controller.bootPadOpenFailed(c.result), c.refused);
    EXPECT_EQ(window.take(), c.refused ? std::vector<std::string>{"alert " + std::string(kInputMonitoringAlert) +
                                                                  " | " + std::string(kInputMonitoringHelp)}
                                       : std::vector<std::string>{});
  }
}

TEST_F(ControllerFlow, FactoryVersionShowsMarkerThenAlertThenSettles) {
  pad.setBehaviour(behaviour([](PadBehaviour& b) { b.version = kFactoryVersion; }));
  plugBootPad();
  pump();
  EXPECT_EQ(window.take(), (std::vector<std::string>{"button off", "button on", "version Factory Version",
                                                     "alert " + std::string(kFactoryVersionAlert), "settle"}));
}

TEST_F(ControllerFlow, CancelledSheetReenablesAndTheButtonRepeatsTheDialogue) {
  const auto image = writeImage("cancel.dat", 150, 64, 64);
  plugBootPad();
  pump();
  startUpdateWith(image);
  window.take();
  controller.alertEnded(kSheetCancel, window.sheetContext);
  EXPECT_EQ(window.take(), std::vector<std::string>{"button on"});
  EXPECT_FALSE(pad.received().header.has_value());

  startUpdateWith(image);
  EXPECT_EQ(pad.received().beginUpdates, 2u);
  EXPECT_TRUE(window.saw("chooser"));
  EXPECT_TRUE(window.saw("sheet The File Firmware Version:  v1.50"));
}

TEST_F(ControllerFlow, BeginCommandThatCannotBeSentIsAFailureWithTheButtonOnAndNothingPending) {
  plugBootPad();
  pump();
  window.take();
  pad.unplug();  // gone, but its removal has not been reported yet
  controller.updateButtonAction();
  EXPECT_EQ(window.take(), std::vector<std::string>{"alert " + std::string(kFailureAlert)});
  EXPECT_EQ(window.logs, std::vector<std::string>{"Firmware update failed: a report could not be sent to the pad "
                                                  "(the simulated pad was unplugged)"});
  fakeNow += 1h;
  controller.checkPadSilence();
  EXPECT_TRUE(window.events.empty());
}

TEST_F(ControllerFlow, SheetEndedBeforeItReturnedStillAnswers) {
  const auto image = writeImage("modal-sheet.dat", 123, 64, 64);
  plugBootPad();
  pump();
  window.endSheetAtOnce = [this](HidTransport* context) { controller.alertEnded(kSheetCancel, context); };
  startUpdateWith(image);
  EXPECT_EQ(window.events.back(), "button on");
  EXPECT_FALSE(pad.received().header.has_value());

  window.endSheetAtOnce = [this](HidTransport* context) { controller.alertEnded(kSheetOk, context); };
  startUpdateWith(image);
  EXPECT_TRUE(window.saw("alert " + std::string(kSuccessAlert)));
  EXPECT_EQ(pad.received().payload.size(), 64u);
}

TEST_F(ControllerFlow, SheetCodesOtherThanOkAndCancelDoNothing) {
  plugBootPad();
  pump();
  startUpdateWith(writeImage("other.dat", 150, 64, 64));
  window.take();
  controller.alertEnded(-1000, window.sheetContext);
  controller.alertEnded(2, window.sheetContext);
  EXPECT_TRUE(window.events.empty());
  EXPECT_FALSE(pad.received().header.has_value());
}

TEST_F(ControllerFlow, ChooserNotConfirmedReenablesAndSendsNothing) {
  plugBootPad();
  pump();
  window.take();
  controller.updateButtonAction();
  pump();
  EXPECT_EQ(window.take(), (std::vector<std::string>{"button off", "chooser", "button on"}));
  EXPECT_FALSE(pad.received().header.has_value());
}

TEST_F(ControllerFlow, PadErrorShowsFailureAndReenables) {
  pad.setBehaviour(behaviour([](PadBehaviour& b) { b.failAfterDataFrames = 2; }));
  plugBootPad();
  pump();
  startUpdateWith(writeImage("fail.dat", 123, 128, 128));
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  const auto events = window.take();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "alert " + std::string(kFailureAlert));
  EXPECT_EQ(events.back(), "button on");
  EXPECT_FALSE(pad.finished());
}

// Faults of the pad or the user that must end in a visible answer rather than silence.
struct SilenceCase {
  const char* name;
  bool silentFromTheHeader;  // else from the first block
  bool chatty;               // the pad keeps sending reports the update does not use
  Clock::duration limit;
};
void PrintTo(const SilenceCase& c, std::ostream* os) { *os << c.name; }

class SilentPad : public ControllerFlow, public testing::WithParamInterface<SilenceCase> {};

TEST_P(SilentPad, EndsTheUpdateAfterItsLimitOnly) {
  const SilenceCase& c = GetParam();
  if (!c.silentFromTheHeader) pad.setBehaviour(behaviour([](PadBehaviour& b) { b.silentAfterDataFrames = 1; }));
  plugBootPad();
  pump();
  startUpdateWith(writeImage("silent.dat", 123, 128, 128));
  if (c.silentFromTheHeader) pad.setBehaviour(behaviour([](PadBehaviour& b) { b.silentAfterDataFrames = 0; }));
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  window.take();
  const auto chatter = [&] {
    if (!c.chatty) return;
    std::array<std::uint8_t, kReportSize> report{12, 0x00, kMsgUpdate, 7, 0, kEvtVersion, 4, 0, 110};
    controller.inputReport(pad, report);
    window.take();
  };
  fakeNow += c.limit;
  chatter();
  controller.checkPadSilence();
  EXPECT_TRUE(window.events.empty());
  fakeNow += 1s;
  chatter();
  controller.checkPadSilence();
  EXPECT_EQ(window.take(), (std::vector<std::string>{"alert " + std::string(kFailureAlert), "button on"}));
  fakeNow += 1h;
  controller.checkPadSilence();
  EXPECT_TRUE(window.events.empty());
}

INSTANTIATE_TEST_SUITE_P(Pads, SilentPad,
                         testing::Values(SilenceCase{"AfterABlock", false, false, kAnswerWait},
                                         SilenceCase{"AfterABlockButChatty", false, true, kAnswerWait},
                                         SilenceCase{"AfterTheHeader", true, false, kHeaderAnswerWait}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ControllerFlow, NoSilenceCountedWhileTheUserDecides) {
  plugBootPad();
  pump();
  startUpdateWith(writeImage("slowuser.dat", 123, 64, 64));
  window.take();
  fakeNow += 1h;  // the sheet stays open as long as the user likes
  controller.checkPadSilence();
  EXPECT_TRUE(window.events.empty());
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  EXPECT_TRUE(window.saw("alert " + std::string(kSuccessAlert)));
}

TEST_F(ControllerFlow, PadUnpluggedMidUpdateFailsThenForgetsThePad) {
  pad.setBehaviour(behaviour([](PadBehaviour& b) { b.silentAfterDataFrames = 1; }));
  plugBootPad();
  pump();
  startUpdateWith(writeImage("unplug.dat", 123, 128, 128));
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  window.take();
  pad.unplug();
  controller.deviceRemoved(0x0483, 0x5750, true);
  EXPECT_EQ(window.take(), (std::vector<std::string>{"alert " + std::string(kFailureAlert), "version ", "button off"}));
  EXPECT_EQ(window.logs, std::vector<std::string>{"Firmware update failed: the pad went away (unplugged?)"});
  EXPECT_EQ(controller.deviceConnected(), 0);
}

// A sheet leaves the HID callbacks running (AppKit's is window-modal; GNUstep's runs its own
// modal loop): before the user answers, its pad may leave, come back as a new arrival, or end
// the update itself. The answer then belongs to no update: it shows nothing, and the pad then
// served (if any) can be updated afresh.
enum class WhileTheSheetIsUp { PadLeaves, PadReturns, PadReportsError };
struct StaleSheetCase {
  const char* name;
  WhileTheSheetIsUp event;
  bool modal;  // the sheet ends before beginConfirmationSheet returns
  int code;
  std::vector<std::string> shownMeanwhile;
};
void PrintTo(const StaleSheetCase& c, std::ostream* os) { *os << c.name; }

class StaleSheet : public ControllerFlow, public testing::WithParamInterface<StaleSheetCase> {};

TEST_P(StaleSheet, AnswerShowsNothingAndThePadStillServedUpdatesAfresh) {
  const StaleSheetCase& c = GetParam();
  const auto image = writeImage("stale.dat", 123, 64, 64);
  SimulatedPad newPad;
  SimulatedPad* served = &pad;
  const auto happen = [&] {
    if (c.event == WhileTheSheetIsUp::PadReportsError) {
      const std::array<std::uint8_t, kReportSize> error{5, 0x00, kMsgUpdate, 1, 0, kEvtError21};
      controller.inputReport(pad, error);
      return;
    }
    pad.unplug();
    controller.deviceRemoved(0x0483, 0x5750, true);
    served = nullptr;
    if (c.event != WhileTheSheetIsUp::PadReturns) return;
    ASSERT_EQ(controller.deviceArrived(0x0483, 0x5750), ArrivalAction::AcceptBootPad);
    controller.bootPadOpened(newPad);
    pump(newPad);
    served = &newPad;
  };
  const auto answer = [&](HidTransport* context) {
    happen();
    controller.alertEnded(c.code, context);
  };
  plugBootPad();
  pump();
  window.take();
  if (c.modal) window.endSheetAtOnce = answer;
  startUpdateWith(image);
  if (!c.modal) answer(window.sheetContext);
  window.endSheetAtOnce = nullptr;
  pump(newPad);
  fakeNow += 1h;
  controller.checkPadSilence();
  std::vector<std::string> shown{"button off", "chooser", "sheet The File Firmware Version:  v1.23"};
  shown.insert(shown.end(), c.shownMeanwhile.begin(), c.shownMeanwhile.end());
  EXPECT_EQ(window.take(), shown);
  EXPECT_FALSE(pad.received().header.has_value());
  EXPECT_FALSE(newPad.received().header.has_value());
  if (!served) return;

  window.imageToChoose = image;
  controller.updateButtonAction();
  pump(*served);
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump(*served);
  EXPECT_TRUE(window.saw("alert " + std::string(kSuccessAlert)));
  EXPECT_EQ(served->received().payload.size(), 64u);
}

const std::vector<std::string> kPadLeft{"version ", "button off"};
const std::vector<std::string> kPadBack{"version ", "button off", "button on", "version v1.10", "settle"};
const std::vector<std::string> kPadFailed{"alert " + std::string(kFailureAlert), "button on"};
constexpr auto kLeaves = WhileTheSheetIsUp::PadLeaves;
constexpr auto kReturns = WhileTheSheetIsUp::PadReturns;
constexpr auto kReportsError = WhileTheSheetIsUp::PadReportsError;
INSTANTIATE_TEST_SUITE_P(Answers, StaleSheet,
                         testing::Values(StaleSheetCase{"PadLeftThenOk", kLeaves, false, kSheetOk, kPadLeft},
                                         StaleSheetCase{"PadLeftThenCancel", kLeaves, false, kSheetCancel, kPadLeft},
                                         StaleSheetCase{"PadBackThenOk", kReturns, false, kSheetOk, kPadBack},
                                         StaleSheetCase{"PadBackThenCancel", kReturns, false, kSheetCancel, kPadBack},
                                         StaleSheetCase{"PadErrorThenOk", kReportsError, false, kSheetOk, kPadFailed},
                                         StaleSheetCase{"PadErrorThenCancel", kReportsError, false, kSheetCancel,
                                                        kPadFailed},
                                         StaleSheetCase{"ModalSheetPadLeftThenOk", kLeaves, true, kSheetOk, kPadLeft},
                                         StaleSheetCase{"ModalSheetPadBackThenOk", kReturns, true, kSheetOk, kPadBack}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ControllerFlow, AnotherBootPadLeavingChangesNothing) {
  plugBootPad();
  pump();
  ASSERT_EQ(controller.deviceArrived(0x0483, 0x5750), ArrivalAction::IgnoreBootPad);
  startUpdateWith(writeImage("other-pad.dat", 123, 64, 64));
  window.take();
  controller.deviceRemoved(0x0483, 0x5750, false);
  EXPECT_TRUE(window.events.empty());
  EXPECT_EQ(controller.deviceConnected(), 1);
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  EXPECT_TRUE(window.saw("alert " + std::string(kSuccessAlert)));
}

TEST_F(ControllerFlow, UnreadableImageIsReportedAndTheButtonComesBack) {
  plugBootPad();
  pump();
  window.take();
  const std::string missing = (std::filesystem::path(testing::TempDir()) / "does-not-exist.dat").string();
  const std::string shortImage = writeImage("short.dat", 123, 1000, 10);
  for (const auto& image : {missing, shortImage}) {
    startUpdateWith(image);
    EXPECT_EQ(window.take(),
              (std::vector<std::string>{"button off", "chooser", "alert " + std::string(kFailureAlert), "button on"}))
        << image;
  }
  EXPECT_FALSE(pad.received().header.has_value());
}

TEST_F(ControllerFlow, ConfirmationBeforeAnyVersionReportFailsInsteadOfHanging) {
  plugBootPad();
  while (pad.takeDueReport()) {
  }  // the version answer is lost
  startUpdateWith(writeImage("noversion.dat", 123, 64, 64));
  window.take();
  controller.alertEnded(kSheetOk, window.sheetContext);
  EXPECT_EQ(window.take(), (std::vector<std::string>{"alert " + std::string(kFailureAlert), "button on"}));
  EXPECT_FALSE(pad.received().header.has_value());
}

TEST_F(ControllerFlow, BrokenReportsAroundEveryAnswerDoNotDisturbTheUpdate) {
  pad.setBehaviour(behaviour([](PadBehaviour& b) { b.malformedBeforeEachAnswer = true; }));
  plugBootPad();
  pump();
  startUpdateWith(writeImage("noisy.dat", 123, 96, 96));
  controller.alertEnded(kSheetOk, window.sheetContext);
  pump();
  EXPECT_TRUE(window.saw("alert " + std::string(kSuccessAlert)));
  EXPECT_EQ(pad.received().payload.size(), 96u);
}

TEST(UpdateProgress, SamePercentageSetsTheBarOnce) {
  RecordingWindow window;
  UpdaterController controller(window);
  for (const int p : {64, 64, 96, 96, 96, 100, 64}) controller.updateProgress(p);
  EXPECT_EQ(window.events, (std::vector<std::string>{"progress 64", "progress 96", "progress 100", "progress 64"}));
}

}  // namespace
}  // namespace morvik::mac
