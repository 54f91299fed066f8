#include "updater_controller.h"

#include <utility>

#include "window_texts.h"

namespace morvik::mac {

UpdaterController::UpdaterController(UpdaterWindow& window, ImageFiles* files, std::function<Clock::time_point()> now)
    : window_(window),
      now_(std::move(now)),
      engine_(FrontEndForm::Push, *this, files),
      tracker_([this] { return engine_.takeRestartedPad(); }) {}

void UpdaterController::setup() { window_.setUpdateButtonEnabled(false); }

ArrivalAction UpdaterController::deviceArrived(std::uint32_t vendorId, std::uint32_t productId) {
  const ArrivalAction action = tracker_.arrived(vendorId, productId);
  if (action == ArrivalAction::AcceptBootPad) {
    confirmationOpen_ = false;  // updateInit drops the confirmation
    engine_.updateInit();
  }
  if (action == ArrivalAction::ShowHelp) window_.showHelp();
  return action;
}

void UpdaterController::bootPadOpened(HidTransport& pad) {
  deviceRef_ = &pad;
  window_.setUpdateButtonEnabled(true);
  engine_.SendFirmwarePacket(pad, kPacketTypeUsbHid, kCmdVersionQuery, nullptr, 0);
}

bool UpdaterController::bootPadOpenFailed(std::uint32_t result) {
  if (result != kOpenNotPermitted) return false;
  window_.runExplainedAlert(kInputMonitoringAlert, kInputMonitoringHelp);
  return true;
}

void UpdaterController::deviceRemoved(std::uint32_t vendorId, std::uint32_t productId, bool servedPad) {
  // A boot-mode pad that was never served (a second one) leaving changes nothing.
  if (!servedPad) return;
  if (tracker_.removed(vendorId, productId) != RemovalAction::ForgetBootPad) return;
  confirmationOpen_ = false;
  // The pad left in the middle of an update: say so now rather than leave the image open
  // and the user without an answer.
  if (awaitingPadSince_) engine_.Firmware_UpdateError(UpdateFailure::PadGone);
  window_.setVersionText("");
  window_.setUpdateButtonEnabled(false);
}

void UpdaterController::inputReport(HidTransport& pad, std::span<const std::uint8_t> report) {
  const std::uint64_t answersBefore = engine_.owedAnswersReceived();
  reportingPad_ = &pad;
  engine_.OnInputReport(pad, report);
  reportingPad_ = nullptr;
  // Only an answer the pad owed restarts the watch: other reports do not keep an update open.
  if (awaitingPadSince_ && engine_.owedAnswersReceived() != answersBefore) awaitPad();
}

void UpdaterController::updateButtonAction() {
  if (!deviceRef_) return;
  if (engine_.beginUpdate(*deviceRef_) != kLinkOk) {
    // The pad could not be opened, or is leaving: a click must never go unanswered.
    logFailure(UpdateFailure::WriteFailed, deviceRef_->lastError());
    window_.runAlert(kFailureAlert);
    return;
  }
  window_.setUpdateButtonEnabled(false);
  awaitPad();
}

void UpdaterController::alertEnded(int code, HidTransport* pad) {
  if (!pad || (code != kSheetOk && code != kSheetCancel)) return;
  // A window-modal sheet does not stop the HID callbacks: its pad may leave or come back anew,
  // or the update fail, while it is up. Its answer then asks about nothing, and must neither
  // start the watch over a pad that owes nothing nor reach a pad that arrived since.
  if (!std::exchange(confirmationOpen_, false)) return;
  if (code == kSheetOk) awaitPad();
  // A sheet that ran to its end before it returned (GNUstep runs sheets modally) answers
  // confirmImage itself.
  if (sheetOpening_) {
    sheetAnswer_ = code == kSheetOk ? Confirmation::Ok : Confirmation::Cancel;
    return;
  }
  engine_.answerConfirmation(*pad, code == kSheetOk);
}

void UpdaterController::checkPadSilence() {
  if (!awaitingPadSince_ || now_() - *awaitingPadSince_ <= engine_.owedAnswerWait()) return;
  engine_.Firmware_UpdateError(UpdateFailure::PadSilent);
}

void UpdaterController::updateEnded() {
  stopAwaitingPad();
  confirmationOpen_ = false;
}

void UpdaterController::offerUpdateAgain() {
  // Only a connected pad can be updated: after it left, the button stays off.
  if (tracker_.deviceConnected() > 0) window_.setUpdateButtonEnabled(true);
}

void UpdaterController::updateProgress(std::int32_t percent) {
  if (percent == percent_old) return;
  percent_old = percent;
  window_.setProgressValue(static_cast<double>(percent));
}

// ---------------------------------------------------------------- the engine's notifications

void UpdaterController::onDeviceVersion(std::uint32_t version) {
  window_.setVersionText(versionFieldText(version));
  window_.settleVersionField();
}

void UpdaterController::onFactoryVersion() {
  window_.setVersionText(kFactoryVersionText);
  window_.runAlert(kFactoryVersionAlert);
  window_.settleVersionField();
}

void UpdaterController::onNotInBootMode() {
  updateEnded();
  window_.runAlert(kNotInBootModeAlert);
}

std::optional<std::string> UpdaterController::chooseImageFile() {
  stopAwaitingPad();  // the user has the word now
  return window_.chooseImageFile();
}

Confirmation UpdaterController::confirmImage(std::uint32_t imageVersion, std::uint32_t /*padVersion*/) {
  sheetOpening_ = true;
  sheetAnswer_ = Confirmation::Later;
  confirmationOpen_ = true;
  std::string text = confirmationText(imageVersion);
  if (engine_.imageLongerThanItsHeaderSays()) text.append("\n\n").append(kLongerThanHeaderNote);
  window_.beginConfirmationSheet(text, reportingPad_);
  sheetOpening_ = false;
  return sheetAnswer_;
}

void UpdaterController::onUpdateCancelled() {
  updateEnded();
  offerUpdateAgain();
}

void UpdaterController::onImageUnreadable(ImageProblem /*problem*/) {
  // Nothing went to the pad; tell the user and let them pick another image.
  updateEnded();
  window_.runAlert(kFailureAlert);
  offerUpdateAgain();
}

void UpdaterController::onProgress(std::int32_t percent) { updateProgress(percent); }

void UpdaterController::onImageSent() {}

void UpdaterController::onUpdateSucceeded() {
  // The button stays disabled: the pad restarts in run mode and its removal clears the window.
  updateEnded();
  window_.runAlert(kSuccessAlert);
}

void UpdaterController::onUpdateFailed(UpdateFailure cause) {
  logFailure(cause, engine_.lastFailureReason());
  updateEnded();
  window_.runAlert(kFailureAlert);
  offerUpdateAgain();
}

void UpdaterController::logFailure(UpdateFailure cause, std::string_view reason) {
  window_.log("Firmware update failed: " + describeFailure(cause, reason));
}

}  // namespace morvik::mac
