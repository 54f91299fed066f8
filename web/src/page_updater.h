// The update page's controller: turns the pad's arrival, removal and reports, the chosen image
// and the user's answers into engine calls (the engine's push form), and shows the engine's
// notifications through a PageView. Single-threaded: the browser delivers every event on the
// page's worker, and a periodic call to checkPadSilence stands in for a reader's time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "morvik/checked_image.h"
#include "morvik/update_engine.h"
#include "page_trace.h"
#include "page_view.h"

namespace morvik::web {

using Clock = std::chrono::steady_clock;

// A pad told to restart leaves the bus well within this; one still there after it stayed, and
// is asked what it runs now.
inline constexpr std::chrono::milliseconds kRestartGrace{1000};

// The most of a file the page hands over: more than the engine's check ever reads of an image,
// so a file cut at this length is still judged as the whole file would be.
inline constexpr std::uint32_t kImageReadLimit =
    static_cast<std::uint32_t>(kHeaderSize + 2 * kBlockSize) + kMaxImagePayloadBytes;

// The image the page was given last, held in memory (at most kImageReadLimit bytes of it); the
// engine reads it as it would read a file, and so checks it the same way.
class PageImageFiles final : public ImageFiles {
 public:
  void hold(std::string name, std::shared_ptr<const ImageBytes> bytes);
  std::unique_ptr<ImageFile> open(const std::string& path) override;
  const std::string& name() const { return name_; }
  const std::shared_ptr<const ImageBytes>& bytes() const { return bytes_; }

 private:
  std::string name_;
  std::shared_ptr<const ImageBytes> bytes_;
};

class PageUpdater final : private UpdateObserver, private HidTransport {
 public:
  explicit PageUpdater(PageView& view);

  // ---- the pad
  // The browser opened a boot-mode pad: a new update may start; the pad is asked its version.
  void padOpened();
  // The served pad went away. An update under way fails at once, as the pad is gone.
  void padRemoved();
  // One input report of the pad as WebHID delivered it (count byte first).
  void inputReport(std::span<const std::uint8_t> report);
  // A report handed over by sendReport could not be written after all.
  void sendFailed(const std::string& reason);
  // Called periodically: ends an update whose pad owes an answer for too long, tells of a pad
  // that did not report its version in time, and asks a pad that stayed after a success.
  void checkPadSilence();

  // ---- the user
  // Checks an image before anything is sent: the file's first kImageReadLimit bytes, or none
  // when the browser could not read it. Returns the checked image or why it is refused; a
  // checked image becomes the one the next update sends.
  std::variant<CheckedImage, ImageProblem> chooseImage(const std::string& name,
                                                       std::shared_ptr<const ImageBytes> bytes);
  // The bytes of the image the next update sends; null when none is chosen.
  std::shared_ptr<const ImageBytes> chosenImage() const { return imageChosen_ ? images_.bytes() : nullptr; }
  // Starts an update with the chosen image; false when none can start now.
  bool startUpdate();
  // The user's answer to askConfirmation.
  void answer(bool ok);

  bool updating() const { return updating_; }
  const UpdateEngine& engine() const { return engine_; }
  // The record of the last update, for a report to support.
  const PageTrace& trace() const { return trace_; }

 private:
  // The link to the pad, as the engine sees it.
  LinkStatus writeReport(OutputReport report) override;
  std::string lastError() const override { return linkError_; }

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
  void onUnaskedDeviceInfo() override;

  // The update ended so: the record's outcome, and the page may start another.
  void ended(ExitCode code, const std::string& reason = {});
  void refreshUpdateAllowed();
  // Sends the version query; `quietly`: a pad that gives no answer is not told as a fault.
  void askVersion(bool quietly);

  PageView& view_;
  PageImageFiles images_;
  PageTrace trace_;
  UpdateEngine engine_;
  bool padOpen_ = false;
  bool imageChosen_ = false;
  bool updating_ = false;
  std::uint32_t imageVersion_ = 0;
  // The percentage the view was shown last in this update.
  std::int32_t percentShown_ = -1;
  std::uint32_t chosenVersion_ = 0;  // the chosen image's, from its header
  std::string linkError_;
  // Set while the pad owes an answer (to the begin command, the header, each block).
  std::optional<Clock::time_point> awaitingPadSince_;
  // Set while the pad owes its version.
  std::optional<Clock::time_point> versionAskedAt_;
  // The version was asked after a success: the pad may well have restarted and never answer.
  bool versionAskedQuietly_ = false;
  // After a success: when to ask the version of a pad that is still there by then.
  std::optional<Clock::time_point> versionDueAt_;
};

}  // namespace morvik::web
