// What the update page's controller asks of the page. The worker's script implements it through
// the WebAssembly bindings and posts each call but sendReport to the window, which shows it;
// every call comes on the worker's one thread.
#pragma once

#include <cstdint>
#include <string>

#include "morvik/hid_transport.h"
#include "morvik/update_observer.h"

namespace morvik::web {

class PageView {
 public:
  virtual ~PageView() = default;
  // Hands one 64-byte output report to the browser (report ID 0). Returns false when no pad is
  // open to take it; a send that fails later is told back through PageUpdater::sendFailed.
  virtual bool sendReport(OutputReport report) = 0;

  // The pad's firmware version (x 100), or kFactoryVersion for its factory firmware.
  virtual void showPadVersion(std::uint32_t version) = 0;
  // The pad was asked its version and gave none in time, or the question could not be sent
  // (`reason` then says why).
  virtual void showPadUnanswered(const std::string& reason) = 0;
  virtual void showNotInBootMode() = 0;
  // Asks whether to send the image; the answer comes back through PageUpdater::answer.
  virtual void askConfirmation(std::uint32_t imageVersion, std::uint32_t padVersion) = 0;
  virtual void showCancelled() = 0;
  virtual void showImageRefused(ImageProblem problem) = 0;
  virtual void showProgress(std::int32_t percent) = 0;
  virtual void showImageSent() = 0;
  // The pad was told to restart into the image. A pad still there a little later is asked its
  // version again, quietly: one that stayed says what it runs now, one that is restarting
  // says nothing.
  virtual void showSuccess(std::uint32_t imageVersion) = 0;
  // `reason` is the browser's or the engine's own word for it, empty when there is none.
  // `padFirmwareTouched`: the header went out, so the pad erased its firmware; otherwise
  // nothing on the pad changed.
  virtual void showFailure(UpdateFailure cause, const std::string& reason, bool padFirmwareTouched) = 0;
  // The pad sent what only another program's or tab's begin command brings: someone else
  // seems to be using it. Nothing of this page's update changed.
  virtual void showPadUsedElsewhere() = 0;
  // Whether an update may start: a pad is open, an image is chosen and nothing is running.
  virtual void setUpdateAllowed(bool allowed) = 0;
};

}  // namespace morvik::web
