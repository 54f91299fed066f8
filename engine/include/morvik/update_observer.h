// The notifications through which the engine tells its front-end what to show.
//
// Threads: every notification is called on the thread that drove the engine into it, from
// inside that engine call: the thread that hands reports to UpdateEngine::OnDataReceived or
// OnInputReport (the push form), the thread running UpdateEngine::QueryDeviceVersion or
// ReaderLoop (the polling form), or the thread calling answerConfirmation, beginUpdate or
// Firmware_UpdateError. The engine waits for each notification to return and holds no lock
// meanwhile. A notification may block (a modal box, a file dialog): the pad's reports are not
// read meanwhile, and in the polling form the time spent there does not count as the pad's
// silence. A notification must not call back into the same engine, except where a
// notification below says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvik {

enum class Confirmation {
  Ok,
  Cancel,
  // The front-end asks the user without blocking (a sheet) and later calls
  // UpdateEngine::answerConfirmation with the answer.
  Later,
};

// Why an image was refused before anything was sent to the pad. problemName names each.
enum class ImageProblem {
  CannotOpen,       // missing, unreadable, or a read of it failed
  HeaderTooShort,   // fewer than 28 bytes
  PayloadTooShort,  // fewer payload bytes than the header's imageLength
  NoPayload,        // the header's imageLength is 0: there is no firmware to write
  TooLarge,         // the header promises more than kMaxImagePayloadBytes
  NotAnImage,       // plainly another kind of file: text, a program, an archive
};

// A short English name of the problem, for messages and logs ("the file cannot be read").
std::string_view problemName(ImageProblem problem);

// Why an update ended without success. failureName names each; the reason in the platform's
// own words, where there is one, is UpdateEngine::lastFailureReason.
enum class UpdateFailure {
  PadReportedError,  // EvtError21 or EvtError24
  WriteFailed,       // a header, data or finish report could not be written
  PadSilent,         // the pad stopped answering
  PadGone,           // the link broke: the pad went away
};

// A short English name of the failure, for messages and logs ("the pad stopped answering").
std::string_view failureName(UpdateFailure cause);
// The name and, when there is one, the reason in brackets:
// "the pad reported an error (error event 0x15)", "the pad went away (unplugged?; Input/output error)".
std::string describeFailure(UpdateFailure cause, std::string_view reason);

class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;
  // The pad reported its firmware version (x 100), in answer to the version query.
  virtual void onDeviceVersion(std::uint32_t version) = 0;
  // The pad runs its factory firmware: it has no version to show.
  virtual void onFactoryVersion() = 0;
  // The pad answered the begin command but is not in boot mode; the update has ended.
  virtual void onNotInBootMode() = 0;
  // The pad is ready for an image: return the path of the one to send, or none to cancel.
  virtual std::optional<std::string> chooseImageFile() = 0;
  // The image was read and checked; ask whether to send it. `padVersion` is the pad's last
  // reported version (0 in the push form before any report, kVersionUnknown in the polling
  // form). Returning Later leaves the engine waiting for answerConfirmation.
  virtual Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) = 0;
  // No image was chosen, or the user declined it; nothing was sent.
  virtual void onUpdateCancelled() = 0;
  // The chosen image was refused before anything was sent.
  virtual void onImageUnreadable(ImageProblem problem) = 0;
  // The share of the image the pad has taken, 0..100; called once per block after the first.
  virtual void onProgress(std::int32_t percent) = 0;
  // The whole image went out; the pad's next acknowledgement finishes the update.
  virtual void onImageSent() = 0;
  // The finish command went out: the pad restarts into its new firmware.
  virtual void onUpdateSucceeded() = 0;
  // The update ended without success. UpdateEngine::lastFailureReason may be read from here.
  // UpdateEngine::padFirmwareTouched tells whether the pad was left without firmware.
  virtual void onUpdateFailed(UpdateFailure cause) = 0;
  // The pad sent device information that no begin command of this engine asked for: another
  // program or tab seems to be using the pad. The engine ignored it; nothing else changed.
  virtual void onUnaskedDeviceInfo() {}
};

}  // namespace morvik
