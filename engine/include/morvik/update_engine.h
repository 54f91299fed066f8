// The update state machine: from the version query to the end of an update.
//
// One UpdateEngine serves one pad. A program that serves several pads makes one engine per pad;
// engines share nothing, so each may run on its own thread. One engine serves its pad in one
// of two forms:
// - the push form: a platform callback hands every input report to OnInputReport (or
//   OnDataReceived), and the front-end sends the version query and beginUpdate itself;
// - the polling form: QueryDeviceVersion and ReaderLoop read the pad one report at a time,
//   usually on a worker thread.
// An engine's calls are not synchronised: call them from one thread at a time. The one
// exception is a StopToken handed to QueryDeviceVersion or ReaderLoop, which any thread may
// stop. An engine can serve any number of updates one after the other, with no reset between.
//
// Failures are results: sends return a LinkStatus (kLinkOk when the reports went out), the
// reader returns a VersionQueryResult or ReaderOutcome, and an update that ends badly is told
// to the observer with its UpdateFailure; lastFailureReason then gives the platform's words.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "morvik/checked_image.h"
#include "morvik/firmware_header.h"
#include "morvik/hid_transport.h"
#include "morvik/image_file.h"
#include "morvik/protocol.h"
#include "morvik/stop_signal.h"
#include "morvik/update_observer.h"

namespace morvik {

enum class FirmwareUpdateState : std::uint32_t {
  HeaderSent = 1,  // the header went out; the first EvtAck starts the stream
  Streaming = 2,   // one block per EvtAck
  Finishing = 3,   // image complete; the next EvtAck brings CmdFinish. Also the idle state.
};

struct FirmwareTransfer {
  // The checked image while its payload streams; null otherwise. Block n is payload bytes
  // [32n, 32n + 32), cut short only at the image's end.
  std::shared_ptr<const ImageBytes> image;
  std::uint32_t version = 0;
  std::uint32_t imageLength = 0;
  std::uint32_t opaqueWord = 0;
  std::uint32_t bytesSent = 0;
};

enum class FrontEndForm {
  // Reports arrive by callback; the header goes out with the link kind of the last version
  // report; the image path is forgotten once the payload is sent; version starts at 0.
  Push,
  // The engine's reader fetches reports; the header goes out with the link kind of the
  // device information; the read wait drops to 10 ms after the header; version starts unknown.
  Polling,
};

// How long the pad may stay silent while it owes an answer, for every front-end. The header's
// acknowledgement comes only once the pad has erased its flash, which takes far longer than
// taking a block.
inline constexpr std::chrono::milliseconds kAnswerWait{5000};
inline constexpr std::chrono::milliseconds kHeaderAnswerWait{30000};

struct ReaderTiming {
  std::uint32_t idleReadTimeoutMs = 200;                             // set by OpenReadWrite
  std::uint32_t streamingReadTimeoutMs = 10;                         // once the header has gone out
  std::chrono::milliseconds versionWait{2000};                       // QueryDeviceVersion gives up after this
  std::chrono::milliseconds silenceLimit = kAnswerWait;              // the answer to every other message
  std::chrono::milliseconds headerSilenceLimit = kHeaderAnswerWait;  // the header's acknowledgement
};

enum class VersionQueryResult {
  Reported,    // the pad answered; the observer was told its version
  OpenFailed,  // OpenReadWrite failed: the pad is gone or held by another program
  NoAnswer,    // no version report within ReaderTiming::versionWait
  LinkLost,    // a read failed: the pad went away
  Stopped,     // the caller's StopToken asked to stop
};
enum class ReaderOutcome {
  Ended,        // the update ended; the observer was told how
  BeginFailed,  // DrvBeginUpdate could not be written; nothing was shown
  Stopped,      // the caller asked the reader to stop; the update was abandoned silently
};

// The engine's state, under the names the rest of the program gives it. Only the engine
// writes it; UpdateEngine::state() lets front-ends, tests and tools read it.
struct UpdateEngineState {
  FirmwareUpdateState g_firmware_update_state = FirmwareUpdateState::Finishing;
  // 1 once the update (or the version query's exchange) has ended: it ends ReaderLoop. Read
  // by other threads while a reader runs.
  std::atomic<std::uint32_t> m_updateComplete{0};
  std::uint32_t cur_devVersion = 0;  // the pad's last reported version (x 100)
  std::uint32_t firmware_type = 0;   // the boot flag of the last device information
  FirmwareHeader m_firmwareHeader;   // of the image last checked
  FirmwareTransfer m_handleFirmeWare;
  std::optional<std::string> m_FilePathName;                // the image chosen for the update
  PacketType packet_type_save = 0;                          // the link kind of the last version report
  std::int32_t deviceUpgradedCount = 0;                     // updates finished whose pad has not come back yet
  std::array<std::uint8_t, kReportSize> usb_send_packet{};  // the report being written
};

// The state is a private base, so the engine's code keeps the names above unqualified while
// no code outside it can write them.
class UpdateEngine : private UpdateEngineState {
 public:
  // `observer` and `files` must outlive the engine; null `files` reads images with the
  // standard file functions.
  UpdateEngine(FrontEndForm form, UpdateObserver& observer, ImageFiles* files = nullptr, ReaderTiming timing = {});
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  // ---- sending
  // Each builds one frame and writes it in 64-byte reports through `link`. Returns kLinkOk
  // when every report went out, kLinkRefused (nothing sent) when `kind` is not
  // kPacketTypeUsbHid or the frame cannot be built, else the failed write's status (the
  // reports after it are not sent). None of them changes the update's state.
  LinkStatus SendFirmwarePacket(HidTransport& link, PacketType kind, std::uint8_t command, const std::uint8_t* payload,
                                std::int32_t payloadLength);
  LinkStatus Send_FirmwareDataPacket(HidTransport& link, PacketType kind, const std::uint8_t* block,
                                     std::int32_t length);
  LinkStatus SendFirmwareHeader(HidTransport& link, PacketType kind, const FirmwareTransfer& transfer);
  LinkStatus Rfcomm_DriverCmd(HidTransport& link, PacketType kind, std::uint8_t code, std::uint8_t value);
  LinkStatus WriteHid(HidTransport& link);

  // ---- starting
  // Starts an update: marks it running and sends DrvBeginUpdate; the pad's device information
  // then leads to chooseImageFile. Returns the send's status; when it is not kLinkOk nothing
  // was shown and the update is not running. ReaderLoop calls it itself.
  LinkStatus beginUpdate(HidTransport& pad);

  // ---- receiving (push form; the polling reader calls them too)
  // One received message (the report from byte 1). Only `message`'s bytes are read; a
  // malformed message is ignored whole. May raise any notification and write to `pad`.
  void OnDataReceived(HidTransport& pad, PacketType kind, std::span<const std::uint8_t> message);
  // One whole input report as the platform delivered it (count byte first).
  void OnInputReport(HidTransport& pad, std::span<const std::uint8_t> report);
  void Handle_FirmwareUpdateEvent(HidTransport& pad, PacketType kind, std::span<const std::uint8_t> body);

  // ---- the update's steps
  // A pad arrived anew: ends whatever update was under way, silently, and clears the transfer.
  void updateInit();
  // Asks for an image, reads and checks it whole, and asks for confirmation (called on the
  // pad's device information in boot mode).
  void GetUpdateFileName(HidTransport& pad, PacketType kind);
  // The answer to a confirmImage that returned Confirmation::Later. Returns true when the
  // engine took it (the header went out, or the update was cancelled); an answer that comes
  // after that update ended (the pad left boot mode, failed, arrived anew) is ignored: false.
  bool answerConfirmation(HidTransport& pad, bool ok);
  // Ends the update silently: nothing more is sent for it, and ReaderLoop returns.
  void Close_FirmwareUpdate();
  // Ends the update and tells the observer onUpdateFailed(cause). `reason` is the platform's
  // word for it, if any (see lastFailureReason).
  void Firmware_UpdateError(UpdateFailure cause, std::string reason = {});

  // ---- the polling form's reader
  // Opens the pad, sends the version query and reads until the pad reports its version, for
  // at most ReaderTiming::versionWait. Blocks the calling thread.
  VersionQueryResult QueryDeviceVersion(PollingHidTransport& pad, StopToken stop = {});
  // Runs one update to its end: beginUpdate, then reads the pad and hands each report to the
  // engine; an empty read is answered with DrvReadIdle. Ends the update as PadGone when a read
  // fails and as PadSilent when an owed answer takes longer than owedAnswerWait. Blocks the
  // calling thread until the update ends or `stop` is requested; every notification of the
  // update is raised on this thread.
  ReaderOutcome ReaderLoop(PollingHidTransport& pad, StopToken stop = {});

  // ---- reading the engine
  FrontEndForm form() const { return form_; }
  const UpdateEngineState& state() const { return *this; }
  // The pad's last reported version (x 100): kFactoryVersion for its factory firmware; 0 (push
  // form) or kVersionUnknown (polling form) before it reported one.
  std::uint32_t deviceVersion() const { return cur_devVersion; }
  // The payload bytes sent to the pad in the update under way or last run (the last block may
  // carry some beyond the image's length).
  std::uint32_t bytesSent() const { return m_handleFirmeWare.bytesSent; }
  // Whether the header went out in the update under way or last run. The pad erases its
  // firmware when the header comes, so an update that then ends short of success leaves the pad
  // in boot mode without firmware; before it, nothing on the pad was changed.
  bool padFirmwareTouched() const { return padFirmwareTouched_; }
  // Whether the image last checked goes on past the firmware its header describes (see
  // CheckedImage): front-ends warn of it from confirmImage.
  bool imageLongerThanItsHeaderSays() const { return imageLongerThanItsHeaderSays_; }
  // Device-information messages that came when no begin command awaited one: another program
  // (or another tab) sent the begin command to the same pad. Each was ignored.
  std::uint64_t unaskedDeviceInfos() const { return unaskedDeviceInfos_; }
  // The platform's words for the last failure (hidapi's error text, a Win32 or IOKit code),
  // or what the engine knows of it (how long the pad was silent, which error it reported).
  // Set before onUpdateFailed is raised; empty when nothing more is known.
  const std::string& lastFailureReason() const { return lastFailureReason_; }
  // A pad this engine updated came back in its normal mode: counts it off and returns true,
  // or false when no updated pad was due back.
  bool takeRestartedPad();

  // ---- silence: what a watch over the pad needs to tell a slow pad from a lost one
  // How many answers the pad owed and gave (to the begin command, the header, each block);
  // reports the update does not use do not count.
  std::uint64_t owedAnswersReceived() const { return owedAnswersReceived_; }
  // How long the pad may now stay silent before the update fails.
  std::chrono::milliseconds owedAnswerWait() const {
    return headerPending_ ? timing_.headerSilenceLimit : timing_.silenceLimit;
  }

 private:
  void onDeviceInfo(HidTransport& pad, PacketType kind, std::uint32_t bootFlag);
  void dropUpdateInProgress();
  void onVersion(PacketType kind, std::uint32_t version);
  void sendHeaderAndStart(HidTransport& pad, PacketType kind);
  void startStream(HidTransport& pad, PacketType kind);
  void continueStream(HidTransport& pad, PacketType kind);
  void finish(HidTransport& pad, PacketType kind);
  // Sends one block; false when the update had to end.
  bool sendNextBlock(HidTransport& pad, PacketType kind);
  void failWrite(HidTransport& link);
  LinkStatus carryFrame(HidTransport& link, std::span<const std::uint8_t> frame, bool cutIntoPieces);

  FrontEndForm form_;
  UpdateObserver& observer_;
  StdioImageFiles stdioFiles_;
  ImageFiles& files_;
  ReaderTiming timing_;
  std::array<std::uint8_t, kFrameBufferSize> frameBuffer_{};
  PacketType deviceInfoKind_ = kPacketTypeUsbHid;
  std::shared_ptr<const ImageBytes> checkedImage_;  // from the check until the stream ends
  std::string lastFailureReason_;
  bool confirmationPending_ = false;  // confirmImage answered Later; answerConfirmation is due
  bool headerPending_ = false;        // the header went out; its acknowledgement starts the stream
  bool imageComplete_ = false;        // the whole payload went out; CmdFinish is due
  bool deviceInfoAwaited_ = false;    // the begin command went out; the pad's device information is due
  bool updateRunning_ = false;        // from a begin command that went out to the update's end
  bool padFirmwareTouched_ = false;   // the header went out in this update
  bool imageLongerThanItsHeaderSays_ = false;
  std::uint64_t unaskedDeviceInfos_ = 0;
  std::uint32_t versionReports_ = 0;  // EvtVersion messages seen, for the version wait
  std::uint64_t owedAnswersReceived_ = 0;
};

// Progress percentage: bytesSent x 100 / imageLength, without 32-bit wrap-around;
// an image of length 0 is complete from the start (100).
std::int32_t progressPercent(std::uint32_t bytesSent, std::uint32_t imageLength);

}  // namespace morvik
