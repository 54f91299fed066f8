// Whole updates through the dialog, its worker thread and the pad link, against the simulated
// pad, in Chinese and in another language (which gets the English texts).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "dialog/update_dlg.h"
#include "tests/fake_framework.h"
#include "tests/fake_hid_platform.h"

namespace morvik::win {
namespace {

using namespace std::chrono_literals;

struct Texts {
  std::uint16_t languageId;
  const char* fileType;
  const char* upgraded;
  const char* newFirmware;
  const char* failure;
  const char* notInBootMode;
  const char* button;
  const char* upgradeToLatest;
  const char* instructions;
  const char* currentIs;
  const char* longerThanHeader;
};

const Texts kChinese{
    0x0804,
    "文件类型中显示的内容",
    "升级成功.",
    "升级新固件",
    "固件更新失败",
    "固件更新失败,请将手柄工作在BOOT模式",
    "USB 升级",
    "请升级到最新版本",
    "1.按住Home+L1+R1开机（大约3S），蓝绿灯闪烁。\r\n\r\n2.插入USB线。\r\n\r\n3.点击USB 升级按钮然后选择升级文件升级。",
    "当前版本为",
    "注意：文件比其文件头所述的更长，固件文件应在文件头所述之处结束。请确认这是正确的升级文件。"};
const Texts kEnglish{
    0x0404,  // Chinese (Taiwan): any id but 0x0804 gets English
    "File type",
    "Firmware upgraded!",
    "New firmware",
    "Firmware update failure",
    "Firmware update failure, please handle work in BOOT mode",
    "USB Update",
    "Please upgrade to the latest version",
    "1. Hold Home+L1+R1 for 3 seconds. Both LED will      blink.\r\n\r\n2. Connect to PC via USB cable."
    "\r\n\r\n3. Click USB Update button and select firmware      file.",
    "and current is",
    "Warning: the file is longer than its header says; a firmware file ends where its header says. Check that it "
    "is the right file."};

// Names the language in test names and listings instead of dumping the texts' pointers.
const char* languageName(const Texts& texts) { return texts.languageId == 0x0804 ? "Chinese" : "English"; }
void PrintTo(const Texts& texts, std::ostream* os) { *os << languageName(texts) << " texts"; }

const std::string kToolName = "Morvik Tools v1.02 ";

// An image of version 1.23 with 100 payload bytes and `extraBytes` beyond them, one per test:
// tests may run in parallel.
std::string writeImage(int extraBytes = 0) {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');
  const auto path = std::filesystem::temp_directory_path() / ("morvik_windows_" + name + ".dat");
  std::ofstream file(path, std::ios::binary);
  std::array<std::uint8_t, 28> header{};
  writeLe32(&header[0], 123);
  writeLe32(&header[8], 100);
  file.write(reinterpret_cast<const char*>(header.data()), header.size());
  for (int i = 0; i < 100 + extraBytes; ++i) file.put(static_cast<char>(i));
  return path.string();
}

class UpdateDialog : public ::testing::TestWithParam<Texts> {
 protected:
  void SetUp() override { desktop().reset(GetParam().languageId); }
  void TearDown() override {
    dialog.reset();
    if (!imagePath.empty()) std::filesystem::remove(imagePath);
  }

  static fake::Desktop& desktop() { return fake::Desktop::instance(); }
  const Texts& texts() const { return GetParam(); }

  // Opens the dialog on a pad with `behaviour`, plugged in or not, on a platform set up by `prepare`.
  void open(PadBehaviour behaviour = {}, bool plugged = true, std::chrono::milliseconds silenceLimit = 500ms,
            const std::function<void(fake::SimulatedPadPlatform&)>& prepare = {}) {
    dialog.reset();
    pad = std::make_unique<SimulatedPad>(behaviour);
    platform = std::make_unique<fake::SimulatedPadPlatform>(*pad);
    platform->setPadPlugged(plugged);
    if (prepare) prepare(*platform);
    ReaderTiming timing;
    timing.versionWait = 1s;
    timing.silenceLimit = silenceLimit;
    dialog = std::make_unique<CUpdateDlg>(UpdateDlgServices{*platform, nullptr, timing});
    dialog->DoModal();
  }

  void clickAndWait() {
    dialog->OnWndMsg(kWmCommand, kIdcUpdateButton, 0, result);
    waitForWorker();
  }

  // Bounded: a condition that never comes fails the test instead of hanging it.
  static bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    return condition();
  }

  // Bounded: a worker that never ends fails the test instead of hanging it.
  void waitForWorker() {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (dialog->IsUpdating() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    ASSERT_FALSE(dialog->IsUpdating()) << "the worker did not end";
  }

  void chooseImage(int extraBytes = 0) {
    imagePath = writeImage(extraBytes);
    const std::string image = imagePath;
    desktop().onFileDialog([image](const fake::FileDialogCall&) { return image; });
  }

  std::vector<std::string> messageTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : desktop().messageBoxes()) {
      EXPECT_EQ(box.caption, kToolName);
      EXPECT_EQ(box.owner, dialog->GetSafeHwnd());
      texts.push_back(box.text);
    }
    return texts;
  }

  bool buttonEnabled() const { return desktop().control(kIdcUpdateButton).enabled; }
  std::string title() const { return desktop().dialog().text; }

  std::unique_ptr<SimulatedPad> pad;
  std::unique_ptr<fake::SimulatedPadPlatform> platform;
  std::unique_ptr<CUpdateDlg> dialog;
  std::intptr_t result = 0;
  std::string imagePath;
};

TEST_P(UpdateDialog, StartsWithThePadsVersionInTheTitleAndTheTextsOfItsLanguage) {
  open();
  EXPECT_EQ(title(), "Morvik Tools v1.02 (GamePad V1.10)");
  EXPECT_TRUE(buttonEnabled());
  EXPECT_EQ(desktop().control(kIdcUpdateButton).text, texts().button);
  EXPECT_EQ(desktop().control(kIdcInstructions).text, texts().instructions);
  EXPECT_EQ(desktop().control(kIdcSuccessLabel).text, texts().upgraded);
  EXPECT_FALSE(desktop().control(kIdcSuccessLabel).visible);
  EXPECT_EQ(desktop().control(kIdcProgress).progressRange, 100 << 16);
  EXPECT_EQ(desktop().dialog().icons.size(), 2U) << "big and small icon";
  EXPECT_TRUE(messageTexts().empty());
  EXPECT_EQ(dialog->Engine().state().g_firmware_update_state, FirmwareUpdateState::Finishing);

  // Another HID device arrives: the pad is still found, and its version asked again.
  platform->setInterfaces({{"\\\\?\\hid#new-keyboard", 0x046D, 0xC31C}});
  dialog->OnWndMsg(kWmDeviceChange, kDbtDeviceArrival, 0, result);
  EXPECT_EQ(pad->received().versionQueries, 2U);
  EXPECT_TRUE(buttonEnabled());
}

TEST_P(UpdateDialog, AClickJustAfterThePadWasPulledOutIsAnsweredWithTheFailure) {
  open();
  platform->setPadPlugged(false);  // the removal notification has not come yet
  dialog->OnWndMsg(kWmCommand, kIdcUpdateButton, 0, result);
  EXPECT_FALSE(dialog->IsUpdating());
  EXPECT_FALSE(buttonEnabled());
  EXPECT_EQ(pad->received().beginUpdates, 0U);
  EXPECT_EQ(messageTexts(), std::vector<std::string>{std::string(texts().failure) + "\n"});
}

TEST_P(UpdateDialog, APadThatNeverAnswersDoesNotHoldTheDialog) {
  PadBehaviour silent;
  silent.silentAfterDataFrames = 0U;
  open(silent);  // returns once the version wait is over
  EXPECT_EQ(title(), "Morvik GamePad ");
  EXPECT_TRUE(buttonEnabled());
  EXPECT_GT(pad->received().readIdles, 0U) << "the pad was polled while the dialog waited";
}

TEST_P(UpdateDialog, WithoutAPadTheButtonWaitsForItsArrival) {
  open({}, false);
  EXPECT_EQ(title(), "Morvik GamePad ");
  EXPECT_FALSE(buttonEnabled());
  EXPECT_EQ(pad->received().versionQueries, 0U);

  platform->setPadPlugged(true);
  dialog->OnWndMsg(kWmDeviceChange, kDbtDeviceArrival, 0, result);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(buttonEnabled());
  EXPECT_EQ(title(), "Morvik Tools v1.02 (GamePad V1.10)");

  platform->setPadPlugged(false);
  dialog->OnWndMsg(kWmDeviceChange, kDbtDeviceRemoveComplete, 0, result);
  EXPECT_FALSE(buttonEnabled());
  EXPECT_EQ(title(), kToolName);
}

TEST_P(UpdateDialog, ASuccessfulUpdateSendsTheImageAndShowsTheSuccess) {
  open();
  chooseImage();
  clickAndWait();

  const auto files = desktop().fileDialogs();
  ASSERT_EQ(files.size(), 1U);
  EXPECT_EQ(files[0].filter, std::string(texts().fileType) + "(*.dat)|*.dat||");
  EXPECT_EQ(files[0].flags, kOfnHideReadOnly | kOfnOverwritePrompt);
  EXPECT_EQ(files[0].defaultExtension, "*.*");
  EXPECT_EQ(messageTexts(),
            (std::vector<std::string>{std::string(texts().newFirmware) + " 1.23 " + texts().currentIs + " 1.10\n",
                                      std::string("\n ") + texts().upgraded + " \n"}));
  EXPECT_EQ(desktop().messageBoxes()[0].type, kMbOkCancel);
  EXPECT_TRUE(desktop().control(kIdcSuccessLabel).visible);
  EXPECT_EQ(desktop().control(kIdcProgress).progressPos, 0U);
  EXPECT_TRUE(pad->finished());
  EXPECT_EQ(pad->received().payload.size(), 100U);
  EXPECT_FALSE(buttonEnabled()) << "the pad restarted in run mode";
  EXPECT_TRUE(files[0].inApartment) << "the open-file dialog needs COM on the worker";
  for (const auto& box : desktop().messageBoxes()) EXPECT_TRUE(box.inApartment);
  EXPECT_EQ(desktop().openApartments(), 0) << "closed when the worker ends";
}

TEST_P(UpdateDialog, AFileLongerThanItsHeaderSaysIsWarnedOfInTheConfirmation) {
  open();
  chooseImage(1);
  clickAndWait();
  ASSERT_FALSE(messageTexts().empty());
  EXPECT_EQ(messageTexts()[0], std::string(texts().newFirmware) + " 1.23 " + texts().currentIs + " 1.10\n\n" +
                                   texts().longerThanHeader + "\n");
  EXPECT_EQ(pad->received().payload.size(), 101U) << "the last block is not cut at the header's length";
}

// A pad that cannot be sent the pad's reports is still found, and a click on its button ends
// with the failure message. The version query does not wait for an answer that cannot come.
TEST_P(UpdateDialog, APadThatCannotBeSentItsReportsEndsWithTheFailureMessage) {
  struct LinkFault {
    const char* name;
    std::uint16_t inputLength;
    std::uint16_t outputLength;
    std::optional<fake::ScriptedWrite> writes;
  };
  const LinkFault faults[] = {
      {"output reports of another length", 65, 9, std::nullopt},
      {"input reports of another length", 64, 65, std::nullopt},
      {"writes fail", 65, 65, fake::ScriptedWrite{IoState::Failed}},
      {"takes no more output reports", 65, 65, fake::kStalledWrite},
      {"write cancellation never completes", 65, 65,
       fake::ScriptedWrite{IoState::Pending, kWaitTimeout, IoState::Done, IoState::Pending}},
  };
  for (const LinkFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    desktop().reset(texts().languageId);
    open({}, true, 500ms, [&](fake::SimulatedPadPlatform& p) {
      p.setPadReportLengths(fault.inputLength, fault.outputLength);
      if (fault.writes) p.scriptWrites(*fault.writes);
    });
    EXPECT_EQ(title(), "Morvik GamePad ");
    EXPECT_TRUE(buttonEnabled());
    EXPECT_TRUE(platform->callsNamed("ReadFile").empty()) << "the version query gave up at once";

    clickAndWait();
    EXPECT_TRUE(desktop().fileDialogs().empty());
    EXPECT_EQ(messageTexts(), std::vector<std::string>{std::string(texts().failure) + "\n"});
    EXPECT_TRUE(buttonEnabled()) << "the pad is still there";
    EXPECT_EQ(pad->received().beginUpdates, 0U);
    for (const auto& wait : platform->callsNamed("Wait")) EXPECT_LE(std::stoul(wait.substr(5)), 1000U) << wait;
    EXPECT_TRUE(platform->faults().empty()) << platform->faults().front();
    dialog.reset();
    EXPECT_EQ(platform->openHandleCount(), 0U);
  }
}

TEST_P(UpdateDialog, PadNotInBootModeIsRefused) {
  PadBehaviour runMode;
  runMode.bootFlag = 0;
  open(runMode);
  chooseImage();
  clickAndWait();
  EXPECT_TRUE(desktop().fileDialogs().empty());
  EXPECT_EQ(messageTexts(), std::vector<std::string>{std::string(texts().notInBootMode) + "\n"});
  EXPECT_TRUE(buttonEnabled());
}

TEST_P(UpdateDialog, CancellingTheFileOrTheConfirmationEndsQuietly) {
  for (const bool declineConfirmation : {false, true}) {
    SCOPED_TRACE(declineConfirmation ? "declined confirmation" : "cancelled file dialog");
    desktop().reset(texts().languageId);
    open();
    if (declineConfirmation) {
      chooseImage();
      desktop().onMessageBox([](const fake::MessageBoxCall&) { return kIdCancel; });
    }
    clickAndWait();
    EXPECT_EQ(messageTexts().size(), declineConfirmation ? 1U : 0U) << "only the confirmation itself";
    EXPECT_FALSE(pad->received().header.has_value());
    EXPECT_TRUE(buttonEnabled());
  }
}

TEST_P(UpdateDialog, ABoxThatCouldNotBeShownDoesNotConfirm) {
  open();
  chooseImage();
  desktop().onMessageBox([](const fake::MessageBoxCall&) { return 0; });
  clickAndWait();
  EXPECT_FALSE(pad->received().header.has_value());
}

TEST_P(UpdateDialog, AnUnreadableImageIsReportedAsAFailure) {
  open();
  desktop().onFileDialog([](const fake::FileDialogCall&) { return std::string("no-such-image.dat"); });
  clickAndWait();
  EXPECT_EQ(messageTexts(), std::vector<std::string>{std::string(texts().failure) + "\n"});
  EXPECT_TRUE(buttonEnabled());
}

TEST_P(UpdateDialog, AFailureFromThePadOrItsRemovalEndsWithTheFailureMessage) {
  enum class Ending { FailureEvent, Removed, StopsTakingReports };
  for (const Ending ending : {Ending::FailureEvent, Ending::Removed, Ending::StopsTakingReports}) {
    const bool removed = ending == Ending::Removed;
    SCOPED_TRACE(removed ? "pad removed" : ending == Ending::FailureEvent ? "failure event" : "stops taking reports");
    desktop().reset(texts().languageId);
    PadBehaviour behaviour;
    if (ending != Ending::StopsTakingReports)
      (removed ? behaviour.vanishAfterDataFrames : behaviour.failAfterDataFrames) = 2U;
    open(behaviour);
    // the update's begin goes through; the header or a block later stalls
    if (ending == Ending::StopsTakingReports) platform->scriptWrites(fake::kStalledWrite, 1);
    chooseImage();
    clickAndWait();
    const auto shown = messageTexts();
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[1], std::string(texts().failure) + "\n");
    EXPECT_EQ(buttonEnabled(), !removed);
    if (removed) {
      dialog->OnWndMsg(kWmDeviceChange, kDbtDeviceRemoveComplete, 0, result);
      EXPECT_EQ(title(), kToolName);
    }
  }
}

TEST_P(UpdateDialog, TheFactoryVersionAsksForAnUpgradeAndIsNotShownAsANumber) {
  PadBehaviour factory;
  factory.version = kFactoryVersion;
  open(factory);
  EXPECT_EQ(title(), "Morvik GamePad ");
  EXPECT_EQ(messageTexts(), std::vector<std::string>{texts().upgradeToLatest});

  chooseImage();
  desktop().onMessageBox([](const fake::MessageBoxCall&) { return kIdCancel; });
  clickAndWait();
  EXPECT_EQ(messageTexts().back(), std::string(texts().newFirmware) + " 1.23\n");
}

TEST_P(UpdateDialog, AnArrivalWhileAMessageBoxOfTheVersionQueryIsOpenDoesNotQueryAgain) {
  PadBehaviour factory;
  factory.version = kFactoryVersion;
  desktop().onMessageBox([this](const fake::MessageBoxCall&) {
    std::intptr_t nested = 0;
    dialog->OnWndMsg(kWmDeviceChange, kDbtDeviceArrival, 0, nested);
    return kIdOk;
  });
  open(factory);
  EXPECT_EQ(pad->received().versionQueries, 1U);
}

// While the worker waits in the confirmation, the dialog's thread gets an arrival and a click.
TEST_P(UpdateDialog, AnArrivalOrAClickDuringAnUpdateLeavesThePadToTheWorker) {
  open();
  chooseImage();
  std::mutex mutex;
  std::condition_variable changed;
  bool asking = false;
  bool answered = false;
  desktop().onMessageBox([&](const fake::MessageBoxCall& box) {
    if (box.type != kMbOkCancel) return kIdOk;
    std::unique_lock lock(mutex);
    asking = true;
    changed.notify_all();
    changed.wait_for(lock, 20s, [&] { return answered; });
    return kIdOk;
  });
  dialog->OnWndMsg(kWmCommand, kIdcUpdateButton, 0, result);
  {
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, 20s, [&] { return asking; })) {
      answered = true;  // the worker must not wait for an answer after this test has gone
      lock.unlock();
      dialog.reset();
      FAIL() << "the confirmation never came";
    }
  }
  platform->setInterfaces({{"\\\\?\\hid#new-keyboard", 0x046D, 0xC31C}});
  dialog->OnWndMsg(kWmDeviceChange, kDbtDeviceArrival, 0, result);
  dialog->OnWndMsg(kWmDeviceChange, kDbtDevNodesChanged, 0, result);
  EXPECT_FALSE(buttonEnabled());
  dialog->OnUsbUpdate();
  {
    std::lock_guard lock(mutex);
    answered = true;
  }
  changed.notify_all();
  waitForWorker();

  EXPECT_EQ(pad->received().versionQueries, 1U) << "no version query beside the worker";
  EXPECT_EQ(pad->received().beginUpdates, 1U) << "no second worker";
  EXPECT_TRUE(pad->finished());
}

TEST_P(UpdateDialog, ClosingDuringAnUpdateStopsTheWorkerWithoutFurtherMessages) {
  PadBehaviour silent;
  silent.silentAfterDataFrames = 1;
  open(silent, true, 60s);  // the pad's silence would end the update only long after the close
  chooseImage();
  dialog->OnWndMsg(kWmCommand, kIdcUpdateButton, 0, result);
  ASSERT_TRUE(eventually([&] { return pad->received().dataFrames > 0; })) << "the update never reached a block";
  dialog.reset();
  EXPECT_EQ(desktop().messageBoxes().size(), 1U) << "only the confirmation";
  EXPECT_EQ(platform->openHandleCount(), 0U);
}

// A notification between the window's destruction and the dialog's: no box without an owner.
TEST_P(UpdateDialog, NoMessageBoxIsRaisedOnceTheWindowIsBeingDestroyed) {
  open();
  std::mutex mutex;
  std::condition_variable changed;
  bool destroyed = false;
  desktop().onFileDialog([&](const fake::FileDialogCall&) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, 20s, [&] { return destroyed; });
    return std::optional<std::string>("no-such-image.dat");  // unreadable: the failure would be shown
  });
  dialog->OnWndMsg(kWmCommand, kIdcUpdateButton, 0, result);
  ASSERT_TRUE(eventually([] { return desktop().fileDialogs().size() == 1; }));
  desktop().destroyDialog(*dialog);
  {
    std::lock_guard lock(mutex);
    destroyed = true;
  }
  changed.notify_all();
  waitForWorker();
  EXPECT_TRUE(desktop().messageBoxes().empty());
}

// The user has not answered the worker's file dialog or box when the dialog is closed.
TEST_P(UpdateDialog, ClosingWhileTheWorkersFileDialogOrBoxIsOpenClosesItAndEnds) {
  for (const bool box : {false, true}) {
    SCOPED_TRACE(box ? "confirmation box" : "file dialog");
    desktop().reset(texts().languageId);
    open();
    std::atomic<bool> closedByProgram{false};
    if (box) {
      chooseImage();
      desktop().onMessageBox([&](const fake::MessageBoxCall&) {
        closedByProgram = desktop().stayOpenUntilClosed(10s);
        return kIdCancel;  // what a closed box answers
      });
    } else {
      desktop().onFileDialog([&](const fake::FileDialogCall&) {
        closedByProgram = desktop().stayOpenUntilClosed(10s);
        return std::optional<std::string>();
      });
    }
    dialog->OnWndMsg(kWmCommand, kIdcUpdateButton, 0, result);
    ASSERT_TRUE(eventually([] { return desktop().dialogsKeptOpen() == 1; }));
    const auto closing = std::chrono::steady_clock::now();
    desktop().destroyDialog(*dialog);
    dialog.reset();
    EXPECT_TRUE(closedByProgram);
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 5s);
    EXPECT_FALSE(pad->received().header.has_value());
  }
}

TEST_P(UpdateDialog, AMinimisedWindowDrawsItsIconCentred) {
  open();
  std::intptr_t painted = 0;
  EXPECT_FALSE(dialog->OnWndMsg(kWmPaint, 0, 0, painted)) << "the framework paints a normal window";
  desktop().setIconic(true, {101, 80});
  EXPECT_TRUE(dialog->OnWndMsg(kWmPaint, 0, 0, painted));
  const auto icons = desktop().drawnIcons();
  ASSERT_EQ(icons.size(), 1U);
  EXPECT_EQ(icons[0].x, 35);
  EXPECT_EQ(icons[0].y, 24);
  EXPECT_EQ(icons[0].icon, dialog->OnQueryDragIcon());
  EXPECT_TRUE(icons[0].backgroundErased);
}

INSTANTIATE_TEST_SUITE_P(Languages, UpdateDialog, ::testing::Values(kChinese, kEnglish),
                         [](const auto& testCase) { return std::string(languageName(testCase.param)); });

}  // namespace
}  // namespace morvik::win
