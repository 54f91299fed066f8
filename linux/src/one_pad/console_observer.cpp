#include "one_pad/console_observer.h"

#include "console/user_texts.h"
#include "morvik/version_text.h"
#include "image/image_text.h"
#include "morvik/protocol.h"

namespace morvik::cli {

ConsoleObserver::ConsoleObserver(ConsoleSettings settings, AnswerSource& answers, std::ostream& out, std::ostream& err,
                                 StopToken stop)
    : settings_(std::move(settings)),
      answers_(answers),
      out_(out),
      err_(err),
      stop_(std::move(stop)),
      progress_(out, settings_.terminal) {}

void ConsoleObserver::onDeviceVersion(std::uint32_t version) {
  out_ << "Pad firmware version:   " << versionText(version) << '\n' << std::flush;
}

void ConsoleObserver::onFactoryVersion() { out_ << "Pad firmware version:   factory firmware\n" << std::flush; }

void ConsoleObserver::onNotInBootMode() {
  recordEnding(ExitCode::NotInBootMode);
  err_ << "The pad is not in boot mode, so it cannot be updated.\n" << kBootModeHowTo << '\n';
}

std::optional<std::string> ConsoleObserver::chooseImageFile() { return settings_.imagePath; }

Confirmation ConsoleObserver::confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) {
  imageVersion_ = imageVersion;
  out_ << "Image firmware version: " << versionText(imageVersion) << "  (pad: " << padVersionText(padVersion) << ")\n";
  // A pad that reported a real version (not the factory firmware) is compared with the image:
  // going back, or writing the same version again, is said before the question.
  const bool comparable = padVersion != kFactoryVersion && padVersion != kVersionUnknown;
  std::string question = "Update firmware to v" + versionText(imageVersion) + "?";
  if (engine_ && engine_->imageLongerThanItsHeaderSays()) out_ << kLongerThanItsHeaderText;
  if (comparable && imageVersion < padVersion) {
    out_ << "This is a downgrade: the image (v" << versionText(imageVersion) << ") is older than the pad's firmware (v"
         << versionText(padVersion) << ").\n";
    question = "Downgrade firmware from v" + versionText(padVersion) + " to v" + versionText(imageVersion) + "?";
  } else if (comparable && imageVersion == padVersion) {
    out_ << "The pad already runs v" << versionText(padVersion) << ": this writes the same version again.\n";
    question = "Write v" + versionText(imageVersion) + " again?";
  }
  if (!settings_.assumeYes) {
    out_ << question << " [y/N] " << std::flush;
    const auto answer = answers_.readLine(stop_);
    if (!answer) out_ << '\n';  // end of input or Ctrl-C: the prompt's line still needs ending
    if (!answer || !isYes(*answer)) return Confirmation::Cancel;
  }
  out_ << "Updating firmware to v" << versionText(imageVersion) << "...\n" << std::flush;
  progress_.show(0);
  const auto waitSeconds = std::chrono::duration_cast<std::chrono::seconds>(settings_.headerWait).count();
  preparingNotice_.start(settings_.preparingNoticeAfter, [this, waitSeconds] {
    progress_.note("The pad is preparing for the image (erasing its flash); waiting up to " +
                   std::to_string(waitSeconds) + " s for it.");
  });
  return Confirmation::Ok;
}

void ConsoleObserver::onUpdateCancelled() {
  recordEnding(ExitCode::Cancelled);
  err_ << kNothingChangedText;
}

void ConsoleObserver::onImageUnreadable(ImageProblem problem) {
  recordEnding(ExitCode::ImageRefused);
  err_ << cannotUseImageText(settings_.imagePath, problemName(problem));
}

void ConsoleObserver::onProgress(std::int32_t percent) {
  padMoved();
  progress_.show(percent);
}

void ConsoleObserver::onImageSent() {
  padMoved();
  progress_.show(100);
  progress_.end();
  out_ << "Image sent; waiting for the pad to accept it.\n" << std::flush;
}

void ConsoleObserver::endProgress() {
  padMoved();
  progress_.end();
}

void ConsoleObserver::onUpdateSucceeded() {
  recordEnding(ExitCode::Success);
  out_ << "Firmware updated to v" << versionText(imageVersion_) << ". The pad restarts in its normal mode.\n"
       << std::flush;
}

void ConsoleObserver::onUpdateFailed(UpdateFailure cause) {
  recordEnding(exitCodeOf(cause));
  endProgress();
  err_ << "Update failed: " << describeFailure(cause, engine_ ? engine_->lastFailureReason() : "") << ".\n"
       << (engine_ && engine_->padFirmwareTouched() ? kRestoreFirmwareText : kFirmwareUnchangedText);
}

void ConsoleObserver::onUnaskedDeviceInfo() {
  if (otherProgramNoted_) return;
  otherProgramNoted_ = true;
  progress_.note(kOtherProgramText);
}

}  // namespace morvik::cli
