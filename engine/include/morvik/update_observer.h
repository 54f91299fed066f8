// The notifications through which the engine tells its front-end what to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvik {

enum class Confirmation {
  Ok,
  Cancel,
  // The front-end asks the user without blocking (a sheet) and later calls
  // UpdateEngine::answerConfirmation with the answer.
  Later,
};

// Why an image was refused before anything was sent to the pad.
enum class ImageProblem {
  CannotOpen,
  HeaderTooShort,   // fewer than 28 bytes
  PayloadTooShort,  // fewer payload bytes than the header's imageLength
};

// Why an update ended without success.
enum class UpdateFailure {
  PadReportedError,  // EvtError21 or EvtError24
  WriteFailed,       // a header, data or finish report could not be written
  ImageReadFailed,   // the image ended early or could not be read while streaming
  PadSilent,         // the pad stopped answering
  PadGone,           // the link broke: the pad went away
};

class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;
  virtual void onDeviceVersion(std::uint32_t version) = 0;
  virtual void onFactoryVersion() = 0;
  virtual void onNotInBootMode() = 0;
  virtual std::optional<std::string> chooseImageFile() = 0;
  virtual Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) = 0;
  virtual void onUpdateCancelled() = 0;
  virtual void onImageUnreadable(ImageProblem problem) = 0;
  virtual void onProgress(std::int32_t percent) = 0;
  virtual void onImageSent() = 0;
  virtual void onUpdateSucceeded() = 0;
  virtual void onUpdateFailed(UpdateFailure cause) = 0;
};

}  // namespace morvik
