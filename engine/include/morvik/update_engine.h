// The update state machine: from the version query to the end of an update.
//
// One UpdateEngine serves one pad at a time; a program makes one, a test one per case.
// It runs on the thread that delivers the pad's reports (the push form: every report is handed
// to OnDataReceived by a platform callback) or drives the pad itself from a worker thread
// (the polling form: QueryDeviceVersion and ReaderLoop read one report at a time).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

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
  std::unique_ptr<ImageFile> image;  // open only while the payload streams
  std::array<std::uint8_t, kBlockSize> block{};
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
  std::uint32_t idleReadTimeoutMs = 200;      // set by OpenReadWrite
  std::uint32_t streamingReadTimeoutMs = 10;  // once the header has gone out
  std::chrono::milliseconds versionWait{2000};  // QueryDeviceVersion gives up after this
  std::chrono::milliseconds silenceLimit = kAnswerWait;  // the answer to every other message
  std::chrono::milliseconds headerSilenceLimit = kHeaderAnswerWait;  // the header's acknowledgement
};

enum class VersionQueryResult { Reported, OpenFailed, NoAnswer, LinkLost, Stopped };
enum class ReaderOutcome {
  Ended,        // the update ended; the observer was told how
  BeginFailed,  // DrvBeginUpdate could not be written; nothing was shown
  Stopped,      // the caller asked the reader to stop; the update was abandoned silently
};

class UpdateEngine {
 public:
  UpdateEngine(FrontEndForm form, UpdateObserver& observer, ImageFiles* files = nullptr,
               ReaderTiming timing = {});
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  // --- sending (link kind must be kPacketTypeUsbHid, else kLinkRefused and nothing is sent)
  LinkStatus SendFirmwarePacket(HidTransport& link, PacketType kind, std::uint8_t command,
                                const std::uint8_t* payload, std::int32_t payloadLength);
  LinkStatus Send_FirmwareDataPacket(HidTransport& link, PacketType kind, const std::uint8_t* block,
                                     std::int32_t length);
  LinkStatus SendFirmwareHeader(HidTransport& link, PacketType kind, const FirmwareTransfer& transfer);
  LinkStatus Rfcomm_DriverCmd(HidTransport& link, PacketType kind, std::uint8_t code, std::uint8_t value);
  LinkStatus WriteHid(HidTransport& link);

  // --- receiving
  // One received message (the report from byte 1). Only `message`'s bytes are read.
  void OnDataReceived(HidTransport& pad, PacketType kind, std::span<const std::uint8_t> message);
  // One whole input report as the platform delivered it (count byte first).
  void OnInputReport(HidTransport& pad, std::span<const std::uint8_t> report);
  void Handle_FirmwareUpdateEvent(HidTransport& pad, PacketType kind, std::span<const std::uint8_t> body);

  // --- the update's steps
  void updateInit();
  void GetUpdateFileName(HidTransport& pad, PacketType kind);
  // The answer to a confirmImage that returned Confirmation::Later. An answer that comes after
  // that update ended (the pad left boot mode, failed, arrived anew) is ignored.
  void answerConfirmation(HidTransport& pad, bool ok);
  void Close_FirmwareUpdate();
  void Firmware_UpdateError(UpdateFailure cause);

  // --- the polling form's reader
  VersionQueryResult QueryDeviceVersion(PollingHidTransport& pad, StopToken stop = {});
  ReaderOutcome ReaderLoop(PollingHidTransport& pad, StopToken stop = {});

  FrontEndForm form() const { return form_; }

  // --- silence: what a watch over the pad needs to tell a slow pad from a lost one
  // How many answers the pad owed and gave (to the begin command, the header, each block);
  // reports the update does not use do not count.
  std::uint64_t owedAnswersReceived() const { return owedAnswersReceived_; }
  // How long the pad may now stay silent before the update fails.
  std::chrono::milliseconds owedAnswerWait() const {
    return headerPending_ ? timing_.headerSilenceLimit : timing_.silenceLimit;
  }

  // --- engine state, named as the rest of the program names it
  FirmwareUpdateState g_firmware_update_state = FirmwareUpdateState::Finishing;
  std::atomic<std::uint32_t> m_updateComplete{0};  // shared with a front-end thread
  std::uint32_t cur_devVersion = 0;
  std::uint32_t firmware_type = 0;
  FirmwareHeader m_firmwareHeader;
  FirmwareTransfer m_handleFirmeWare;
  std::optional<std::string> m_FilePathName;
  PacketType packet_type_save = 0;
  std::int32_t deviceUpgradedCount = 0;
  std::array<std::uint8_t, kReportSize> usb_send_packet{};

 private:
  void onDeviceInfo(HidTransport& pad, PacketType kind, std::uint32_t bootFlag);
  void dropUpdateInProgress();
  void onVersion(PacketType kind, std::uint32_t version);
  void sendHeaderAndStart(HidTransport& pad, PacketType kind);
  void startStream(HidTransport& pad, PacketType kind);
  void continueStream(HidTransport& pad, PacketType kind);
  void finish(HidTransport& pad, PacketType kind);
  // Reads and sends one block; false when the update had to end.
  bool sendNextBlock(HidTransport& pad, PacketType kind);
  std::optional<ImageProblem> readImageHeader(const std::string& path);
  LinkStatus carryFrame(HidTransport& link, std::span<const std::uint8_t> frame, bool cutIntoPieces);

  FrontEndForm form_;
  UpdateObserver& observer_;
  StdioImageFiles stdioFiles_;
  ImageFiles& files_;
  ReaderTiming timing_;
  std::array<std::uint8_t, kFrameBufferSize> frameBuffer_{};
  PacketType deviceInfoKind_ = kPacketTypeUsbHid;
  bool confirmationPending_ = false;  // confirmImage answered Later; answerConfirmation is due
  bool headerPending_ = false;       // the header went out; its acknowledgement starts the stream
  bool imageComplete_ = false;       // the whole payload went out; CmdFinish is due
  std::uint32_t versionReports_ = 0;  // EvtVersion messages seen, for the version wait
  std::uint64_t owedAnswersReceived_ = 0;
};

// Progress percentage: bytesSent x 100 / imageLength, without 32-bit wrap-around;
// an image of length 0 is complete from the start (100).
std::int32_t progressPercent(std::uint32_t bytesSent, std::uint32_t imageLength);

}  // namespace morvik
