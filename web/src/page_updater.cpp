#include "page_updater.h"

#include <utility>

#include "morvik/trace_file.h"

namespace morvik::web {

// ---------------------------------------------------------------- the page's images

void PageImageFiles::hold(std::string name, std::shared_ptr<const ImageBytes> bytes) {
  name_ = std::move(name);
  bytes_ = std::move(bytes);
}

std::unique_ptr<ImageFile> PageImageFiles::open(const std::string& path) {
  if (!bytes_ || path != name_) return nullptr;
  return readImageBytes(bytes_);
}

// ---------------------------------------------------------------- the pad and the user

PageUpdater::PageUpdater(PageView& view) : view_(view), engine_(FrontEndForm::Push, *this, &images_) {}

void PageUpdater::padOpened() {
  engine_.updateInit();  // a pad that arrives anew ends whatever was under way, silently
  updating_ = false;
  versionDueAt_.reset();
  awaitingPadSince_.reset();
  padOpen_ = true;
  linkError_.clear();
  trace_.padOpened();
  refreshUpdateAllowed();
  askVersion(false);
}

void PageUpdater::askVersion(bool quietly) {
  versionAskedAt_ = Clock::now();
  versionAskedQuietly_ = quietly;
  if (engine_.SendFirmwarePacket(*this, kPacketTypeUsbHid, kCmdVersionQuery, nullptr, 0) != kLinkOk) {
    versionAskedAt_.reset();
    if (!quietly) view_.showPadUnanswered(linkError_);
  }
}

void PageUpdater::padRemoved() {
  trace_.padRemoved();
  padOpen_ = false;
  versionAskedAt_.reset();
  versionDueAt_.reset();
  // Gone mid-update, even while the user is being asked: the update cannot go on, say so now.
  if (updating_) engine_.Firmware_UpdateError(UpdateFailure::PadGone, "WebHID: the device was disconnected");
  refreshUpdateAllowed();
}

void PageUpdater::inputReport(std::span<const std::uint8_t> report) {
  trace_.report("in", report);
  const std::uint64_t answersBefore = engine_.owedAnswersReceived();
  engine_.OnInputReport(*this, report);
  // Only an answer the pad owed restarts the watch: other reports do not keep an update open.
  if (awaitingPadSince_ && engine_.owedAnswersReceived() != answersBefore) awaitingPadSince_ = Clock::now();
}

void PageUpdater::sendFailed(const std::string& reason) {
  trace_.linkFailed(kTraceWriteFailed);
  linkError_ = reason;
  if (updating_) {
    engine_.Firmware_UpdateError(UpdateFailure::WriteFailed, reason);
  } else if (versionAskedAt_) {
    versionAskedAt_.reset();
    if (!versionAskedQuietly_) view_.showPadUnanswered(reason);
  }
}

void PageUpdater::checkPadSilence() {
  if (versionDueAt_ && Clock::now() >= *versionDueAt_) {
    versionDueAt_.reset();
    askVersion(true);
  }
  if (versionAskedAt_ && Clock::now() - *versionAskedAt_ > ReaderTiming{}.versionWait) {
    versionAskedAt_.reset();
    if (!versionAskedQuietly_) view_.showPadUnanswered({});
  }
  if (!updating_ || !awaitingPadSince_) return;
  const auto wait = engine_.owedAnswerWait();
  if (Clock::now() - *awaitingPadSince_ <= wait) return;
  engine_.Firmware_UpdateError(UpdateFailure::PadSilent, "no answer within " + std::to_string(wait.count()) + " ms");
}

std::variant<CheckedImage, ImageProblem> PageUpdater::chooseImage(const std::string& name,
                                                                  std::shared_ptr<const ImageBytes> bytes) {
  images_.hold(name, std::move(bytes));
  auto checked = checkImage(images_, name);
  // A refused image leaves no image chosen: the update must not send an older choice instead.
  imageChosen_ = std::holds_alternative<CheckedImage>(checked);
  if (imageChosen_) chosenVersion_ = std::get<CheckedImage>(checked).header.version;
  refreshUpdateAllowed();
  return checked;
}

bool PageUpdater::startUpdate() {
  if (!padOpen_ || !imageChosen_ || updating_) return false;
  trace_.updateStarted(images_.name(), images_.bytes(), chosenVersion_);
  if (engine_.beginUpdate(*this) != kLinkOk) {
    trace_.updateEnded(ExitCode::PadLost, linkError_);
    // Nothing went out and the engine showed nothing: a click must never go unanswered.
    view_.showFailure(UpdateFailure::WriteFailed, linkError_, false);
    return false;
  }
  updating_ = true;
  percentShown_ = -1;
  versionDueAt_.reset();  // no version query goes into the new update's stream
  awaitingPadSince_ = Clock::now();
  refreshUpdateAllowed();
  return true;
}

void PageUpdater::answer(bool ok) {
  if (!updating_) return;
  if (ok) awaitingPadSince_ = Clock::now();
  engine_.answerConfirmation(*this, ok);
}

LinkStatus PageUpdater::writeReport(OutputReport report) {
  trace_.report("out", report);
  if (!padOpen_ || !view_.sendReport(report)) {
    linkError_ = "WebHID: no pad is open";
    trace_.linkFailed(kTraceWriteFailed);
    return kLinkWriteFailed;
  }
  return kLinkOk;
}

void PageUpdater::ended(ExitCode code, const std::string& reason) {
  trace_.updateEnded(code, reason);
  updating_ = false;
  awaitingPadSince_.reset();
  refreshUpdateAllowed();
}

void PageUpdater::refreshUpdateAllowed() { view_.setUpdateAllowed(padOpen_ && imageChosen_ && !updating_); }

// ---------------------------------------------------------------- the engine's notifications

void PageUpdater::onDeviceVersion(std::uint32_t version) {
  trace_.padVersion(version);
  versionAskedAt_.reset();
  view_.showPadVersion(version);
}

void PageUpdater::onFactoryVersion() {
  trace_.padVersion(kFactoryVersion);
  versionAskedAt_.reset();
  view_.showPadVersion(kFactoryVersion);
}

void PageUpdater::onNotInBootMode() {
  ended(ExitCode::NotInBootMode);
  view_.showNotInBootMode();
}

std::optional<std::string> PageUpdater::chooseImageFile() {
  awaitingPadSince_.reset();  // the user has the word now
  return images_.name();
}

Confirmation PageUpdater::confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) {
  imageVersion_ = imageVersion;
  view_.askConfirmation(imageVersion, padVersion);
  return Confirmation::Later;
}

void PageUpdater::onUpdateCancelled() {
  ended(ExitCode::Cancelled);
  view_.showCancelled();
}

void PageUpdater::onImageUnreadable(ImageProblem problem) {
  ended(ExitCode::ImageRefused, std::string(problemName(problem)));
  view_.showImageRefused(problem);
}

// The engine tells each block's figure; the view hears each percentage once, so that a block
// costs the page no call into its script.
void PageUpdater::onProgress(std::int32_t percent) {
  if (percent == percentShown_) return;
  percentShown_ = percent;
  view_.showProgress(percent);
}

void PageUpdater::onImageSent() { view_.showImageSent(); }

void PageUpdater::onUpdateSucceeded() {
  ended(ExitCode::Success);
  view_.showSuccess(imageVersion_);
  versionDueAt_ = Clock::now() + kRestartGrace;
}

void PageUpdater::onUpdateFailed(UpdateFailure cause) {
  // With no update of this page's under way, it is the error event of another program's update
  // of the same pad: nothing of this page's failed, but someone else is at the pad.
  if (!updating_) {
    view_.showPadUsedElsewhere();
    return;
  }
  ended(exitCodeOf(cause), engine_.lastFailureReason());
  view_.showFailure(cause, engine_.lastFailureReason(), engine_.padFirmwareTouched());
}

void PageUpdater::onUnaskedDeviceInfo() { view_.showPadUsedElsewhere(); }

}  // namespace morvik::web
