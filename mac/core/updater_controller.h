// The updater window's controller, without the window: it turns pad arrivals, removals and
// reports, the update button and the confirmation sheet into engine calls, and shows the
// engine's notifications through an UpdaterWindow. Everything runs on the main run loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "morvik/update_engine.h"
#include "pad_tracker.h"
#include "updater_window.h"

namespace morvik::mac {

using Clock = std::chrono::steady_clock;

// IOHIDDeviceOpen's kIOReturnNotPermitted: the privacy control denied the app the device.
inline constexpr std::uint32_t kOpenNotPermitted = 0xE00002E2;

// Return codes of the confirmation sheet's buttons.
inline constexpr int kSheetOk = 1;
inline constexpr int kSheetCancel = 0;

class UpdaterController final : private UpdateObserver {
 public:
  explicit UpdaterController(UpdaterWindow& window, ImageFiles* files = nullptr,
                             std::function<Clock::time_point()> now = Clock::now);

  // The window has just been set up: no pad yet, nothing being updated.
  void setup();

  // A matching device appeared. Only the ids decide; for AcceptBootPad the caller opens the
  // device, registers for its reports and then calls bootPadOpened.
  ArrivalAction deviceArrived(std::uint32_t vendorId, std::uint32_t productId);
  void bootPadOpened(HidTransport& pad);
  // The accepted boot-mode pad could not be opened (`result`: IOHIDDeviceOpen's). True when the
  // pad cannot be used at all and the user was told why: macOS's privacy control (Input
  // Monitoring) refused it to the app, which no retry mends. Otherwise the pad is served as opened.
  bool bootPadOpenFailed(std::uint32_t result);
  // A matching device went away; `servedPad` tells whether it is the accepted boot-mode pad.
  void deviceRemoved(std::uint32_t vendorId, std::uint32_t productId, bool servedPad);
  // One input report of the boot-mode pad, as delivered (count byte first).
  void inputReport(HidTransport& pad, std::span<const std::uint8_t> report);

  void updateButtonAction();
  // The confirmation sheet closed with `code`; `pad` is the sheet's context.
  void alertEnded(int code, HidTransport* pad);
  // Called periodically: ends an update whose pad stopped answering.
  void checkPadSilence();

  void updateProgress(std::int32_t percent);

  UpdateEngine& engine() { return engine_; }
  std::int32_t deviceConnected() const { return tracker_.deviceConnected(); }

 private:
  // The failure in the platform's log, with the reason the engine or the link kept.
  void logFailure(UpdateFailure cause, std::string_view reason);
  void onDeviceVersion(std::uint32_t version) override;
  void onFactoryVersion() override;
  void onNotInBootMode() override;
  std::optional<std::string> chooseImageFile() override;
  Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) override;
  void onUpdateCancelled() override;
  void onImageUnreadable(ImageProblem problem) override;
  void onProgress(std::int32_t percent) override;
  void onImageSent() override;
  void onUpdateSucceeded() override;
  void onUpdateFailed(UpdateFailure cause) override;

  void offerUpdateAgain();
  void awaitPad() { awaitingPadSince_ = now_(); }
  void stopAwaitingPad() { awaitingPadSince_.reset(); }
  void updateEnded();

  UpdaterWindow& window_;
  std::function<Clock::time_point()> now_;
  UpdateEngine engine_;
  PadTracker tracker_;
  HidTransport* deviceRef_ = nullptr;     // the accepted boot-mode pad; kept after removal
  HidTransport* reportingPad_ = nullptr;  // the pad whose report is being handled
  std::int32_t percent_old = -1;          // the last percentage shown
  bool sheetOpening_ = false;             // inside beginConfirmationSheet
  // The open sheet's answer is still awaited. Whatever comes first (the pad left or was
  // replaced, the update ended) leaves the sheet's answer void.
  bool confirmationOpen_ = false;
  Confirmation sheetAnswer_ = Confirmation::Later;
  // Set while the pad owes an answer (after the begin command, the header and each block).
  std::optional<Clock::time_point> awaitingPadSince_;
};

}  // namespace morvik::mac
