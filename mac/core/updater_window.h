// What the updater's controller asks of its window. The Cocoa window controller implements it;
// tests stand in for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "morvik/hid_transport.h"

namespace morvik::mac {

class UpdaterWindow {
 public:
  virtual ~UpdaterWindow() = default;
  virtual void setUpdateButtonEnabled(bool enabled) = 0;
  virtual void setVersionText(std::string_view text) = 0;
  // After a version was shown: the field gives up the focus and takes the text background.
  virtual void settleVersionField() = 0;
  virtual void setProgressValue(double percent) = 0;
  // An application-modal alert with one default button; returns once it is dismissed.
  virtual void runAlert(std::string_view message) = 0;
  // The same, with a longer explanation beneath the message.
  virtual void runExplainedAlert(std::string_view message, std::string_view explanation) = 0;
  virtual void showHelp() = 0;
  // The application-modal file chooser for ".dat" images: the chosen path, or none.
  virtual std::optional<std::string> chooseImageFile() = 0;
  // The window-modal confirmation sheet. It returns at once; its end handler later calls
  // UpdaterController::alertEnded with the button's code and `pad` as context.
  virtual void beginConfirmationSheet(std::string_view informativeText, HidTransport* pad) = 0;
  // A diagnostic line for the platform's log.
  virtual void log(std::string_view line) = 0;
};

}  // namespace morvik::mac
