#include "morvik/update_engine.h"

#include <algorithm>
#include <variant>

#include "morvik/frame_builder.h"

namespace morvik {

std::int32_t progressPercent(std::uint32_t bytesSent, std::uint32_t imageLength) {
  if (imageLength == 0) return 100;
  return static_cast<std::int32_t>(std::uint64_t{bytesSent} * 100 / imageLength);
}

std::string_view failureName(UpdateFailure cause) {
  switch (cause) {
    case UpdateFailure::PadReportedError: return "the pad reported an error";
    case UpdateFailure::WriteFailed: return "a report could not be sent to the pad";
    case UpdateFailure::PadSilent: return "the pad stopped answering";
    case UpdateFailure::PadGone: return "the pad went away (unplugged?)";
  }
  return "unknown failure";
}

std::string_view problemName(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::CannotOpen: return "the file cannot be read";
    case ImageProblem::HeaderTooShort: return "the file is too short to be a firmware image";
    case ImageProblem::PayloadTooShort: return "it holds less firmware than its header promises";
    case ImageProblem::NoPayload: return "it holds no firmware";
    case ImageProblem::TooLarge: return "it promises more firmware than any pad takes";
    case ImageProblem::NotAnImage: return "it is not a firmware image";
  }
  return "unknown problem";
}

std::string describeFailure(UpdateFailure cause, std::string_view reason) {
  std::string text(failureName(cause));
  if (reason.empty()) return text;
  // A name that ends in brackets of its own takes the reason inside them: one reason, read as one.
  if (text.back() == ')') {
    text.insert(text.size() - 1, std::string("; ").append(reason));
    return text;
  }
  return text.append(" (").append(reason).append(")");
}

UpdateEngine::UpdateEngine(FrontEndForm form, UpdateObserver& observer, ImageFiles* files, ReaderTiming timing)
    : form_(form), observer_(observer), files_(files ? *files : stdioFiles_), timing_(timing) {
  if (form == FrontEndForm::Polling) cur_devVersion = kVersionUnknown;
}

// ---------------------------------------------------------------- sending

LinkStatus UpdateEngine::WriteHid(HidTransport& link) { return link.writeReport(usb_send_packet); }

LinkStatus UpdateEngine::carryFrame(HidTransport& link, std::span<const std::uint8_t> frame, bool cutIntoPieces) {
  const std::size_t pieceLimit = cutIntoPieces ? kMaxPieceBytes : kMaxMessageBytes;
  if (!cutIntoPieces && frame.size() > pieceLimit) return kLinkRefused;
  // Each piece goes out only after the previous one did; a failed write drops the rest.
  for (std::size_t at = 0; at < frame.size(); at += pieceLimit) {
    fillReport(usb_send_packet, frame.subspan(at, std::min(pieceLimit, frame.size() - at)));
    if (const LinkStatus status = WriteHid(link); status != kLinkOk) return status;
  }
  return kLinkOk;
}

LinkStatus UpdateEngine::SendFirmwarePacket(HidTransport& link, PacketType kind, std::uint8_t command,
                                            const std::uint8_t* payload, std::int32_t payloadLength) {
  if (kind != kPacketTypeUsbHid) return kLinkRefused;
  const std::size_t size = buildUpdateFrame(frameBuffer_, command, payload, payloadLength);
  if (size == 0) return kLinkRefused;
  return carryFrame(link, std::span<const std::uint8_t>(frameBuffer_.data(), size), command == kCmdData);
}

LinkStatus UpdateEngine::Send_FirmwareDataPacket(HidTransport& link, PacketType kind, const std::uint8_t* block,
                                                 std::int32_t length) {
  return SendFirmwarePacket(link, kind, kCmdData, block, length);
}

LinkStatus UpdateEngine::SendFirmwareHeader(HidTransport& link, PacketType kind, const FirmwareTransfer& transfer) {
  // The three words the pad needs, then the image's own header bytes 12..27.
  FirmwareHeader header = m_firmwareHeader;
  header.version = transfer.version;
  header.opaqueWord = transfer.opaqueWord;
  header.imageLength = transfer.imageLength;
  const auto payload = header.encode();
  return SendFirmwarePacket(link, kind, kCmdHeader, payload.data(), static_cast<std::int32_t>(payload.size()));
}

LinkStatus UpdateEngine::Rfcomm_DriverCmd(HidTransport& link, PacketType kind, std::uint8_t code, std::uint8_t value) {
  if (kind != kPacketTypeUsbHid) return kLinkRefused;
  const auto frame = buildDriverFrame(code, value);
  return carryFrame(link, frame, false);
}

// ---------------------------------------------------------------- receiving

void UpdateEngine::OnInputReport(HidTransport& pad, std::span<const std::uint8_t> report) {
  OnDataReceived(pad, kPacketTypeUsbHid, messageOfReport(report));
}

void UpdateEngine::OnDataReceived(HidTransport& pad, PacketType kind, std::span<const std::uint8_t> message) {
  message = message.first(std::min(message.size(), kMaxMessageBytes));
  if (message.size() < 2 || message[0] != 0x00) return;
  if (message[1] == kMsgDeviceInfo) {
    if (message.size() < kBootFlagOffset + 4) return;
    onDeviceInfo(pad, kind, readLe32(&message[kBootFlagOffset]));
  } else if (message[1] == kMsgUpdate) {
    if (message.size() <= kEventCodeOffset) return;
    Handle_FirmwareUpdateEvent(pad, kind, message.subspan(kEventCodeOffset));
  }
}

void UpdateEngine::Handle_FirmwareUpdateEvent(HidTransport& pad, PacketType kind, std::span<const std::uint8_t> body) {
  if (body.empty()) return;
  switch (body[0]) {
    case kEvtVersion:
      if (body.size() < kEventDataOffset - kEventCodeOffset + 4) return;
      onVersion(kind, readLe32(&body[kEventDataOffset - kEventCodeOffset]));
      return;
    case kEvtAck:
      switch (g_firmware_update_state) {
        case FirmwareUpdateState::HeaderSent: startStream(pad, kind); return;
        case FirmwareUpdateState::Streaming: continueStream(pad, kind); return;
        case FirmwareUpdateState::Finishing: finish(pad, kind); return;
      }
      return;
    case kEvtError21:
    case kEvtError24:
      // An error while no update of this engine runs is another program's (see onDeviceInfo):
      // it must not end the version query or show a failure nobody had.
      if (!updateRunning_) return;
      Firmware_UpdateError(UpdateFailure::PadReportedError,
                           body[0] == kEvtError21 ? "error event 0x15" : "error event 0x18");
      return;
    default: return;
  }
}

void UpdateEngine::onVersion(PacketType kind, std::uint32_t version) {
  cur_devVersion = version;
  packet_type_save = kind;
  ++versionReports_;
  if (version == kFactoryVersion)
    observer_.onFactoryVersion();
  else
    observer_.onDeviceVersion(version);
}

void UpdateEngine::onDeviceInfo(HidTransport& pad, PacketType kind, std::uint32_t bootFlag) {
  // Only the answer to this program's own begin command starts an update. On hidraw every
  // reader gets every input report, and on Windows two programs may open one pad: another
  // program's begin command brings device information here too, and taking it would ask for
  // an image again in the middle of a stream, or call a half-written pad not in boot mode.
  if (!deviceInfoAwaited_) {
    ++unaskedDeviceInfos_;
    observer_.onUnaskedDeviceInfo();
    return;
  }
  deviceInfoAwaited_ = false;
  ++owedAnswersReceived_;
  firmware_type = bootFlag;
  if (bootFlag != 1) {
    Close_FirmwareUpdate();
    observer_.onNotInBootMode();
    return;
  }
  GetUpdateFileName(pad, kind);
}

// ---------------------------------------------------------------- the update's steps

LinkStatus UpdateEngine::beginUpdate(HidTransport& pad) {
  m_updateComplete = 0;
  lastFailureReason_.clear();
  padFirmwareTouched_ = false;
  const LinkStatus status = Rfcomm_DriverCmd(pad, kPacketTypeUsbHid, kDrvBeginUpdate, 0);
  deviceInfoAwaited_ = status == kLinkOk;
  updateRunning_ = status == kLinkOk;
  if (status != kLinkOk) m_updateComplete = 1;
  return status;
}

bool UpdateEngine::takeRestartedPad() {
  if (deviceUpgradedCount <= 0) return false;
  --deviceUpgradedCount;
  return true;
}

void UpdateEngine::updateInit() {
  // A pad that arrives anew ends whatever update was under way with the old one.
  Close_FirmwareUpdate();
  m_handleFirmeWare = FirmwareTransfer{};
  m_firmwareHeader = FirmwareHeader{};
}

// An update that ended (the pad reported an error, left boot mode, went away...) or that a
// new one replaced is never resumed by a late answer or acknowledgement: neither its stream
// started or continued, nor CmdFinish sent, which would restart the pad into an image it
// refused or never got whole.
void UpdateEngine::dropUpdateInProgress() {
  m_handleFirmeWare.image.reset();
  checkedImage_.reset();
  confirmationPending_ = false;
  headerPending_ = false;
  imageComplete_ = false;
  deviceInfoAwaited_ = false;
}

void UpdateEngine::Close_FirmwareUpdate() {
  dropUpdateInProgress();
  updateRunning_ = false;
  m_updateComplete = 1;
}

void UpdateEngine::Firmware_UpdateError(UpdateFailure cause, std::string reason) {
  Close_FirmwareUpdate();
  lastFailureReason_ = std::move(reason);
  observer_.onUpdateFailed(cause);
}

void UpdateEngine::failWrite(HidTransport& link) { Firmware_UpdateError(UpdateFailure::WriteFailed, link.lastError()); }

void UpdateEngine::GetUpdateFileName(HidTransport& pad, PacketType kind) {
  std::optional<std::string> path = observer_.chooseImageFile();
  if (!path) {
    Close_FirmwareUpdate();
    observer_.onUpdateCancelled();
    return;
  }
  m_FilePathName = std::move(path);
  // Read once, whole, and kept: what is checked and confirmed now is what the pad gets.
  auto checked = checkImage(files_, *m_FilePathName);
  if (const auto* problem = std::get_if<ImageProblem>(&checked)) {
    Close_FirmwareUpdate();
    observer_.onImageUnreadable(*problem);
    return;
  }
  // The pad asked for a new update: what is left of the previous one must not go on under the
  // new image's length and count.
  dropUpdateInProgress();
  auto& image = std::get<CheckedImage>(checked);
  m_firmwareHeader = image.header;
  imageLongerThanItsHeaderSays_ = image.longerThanItsHeaderSays;
  checkedImage_ = std::move(image.bytes);
  m_handleFirmeWare.version = m_firmwareHeader.version;
  m_handleFirmeWare.imageLength = m_firmwareHeader.imageLength;
  m_handleFirmeWare.opaqueWord = m_firmwareHeader.opaqueWord;
  m_handleFirmeWare.bytesSent = 0;
  deviceInfoKind_ = kind;

  switch (observer_.confirmImage(m_firmwareHeader.version, cur_devVersion)) {
    case Confirmation::Ok: sendHeaderAndStart(pad, kind); return;
    case Confirmation::Cancel:
      Close_FirmwareUpdate();
      observer_.onUpdateCancelled();
      return;
    case Confirmation::Later: confirmationPending_ = true; return;
  }
}

bool UpdateEngine::answerConfirmation(HidTransport& pad, bool ok) {
  if (!confirmationPending_) return false;
  confirmationPending_ = false;
  if (ok) {
    sendHeaderAndStart(pad, deviceInfoKind_);
  } else {
    Close_FirmwareUpdate();
    observer_.onUpdateCancelled();
  }
  return true;
}

void UpdateEngine::sendHeaderAndStart(HidTransport& pad, PacketType deviceInfoKind) {
  const PacketType kind = form_ == FrontEndForm::Push ? packet_type_save : deviceInfoKind;
  g_firmware_update_state = FirmwareUpdateState::HeaderSent;
  imageComplete_ = false;
  if (SendFirmwareHeader(pad, kind, m_handleFirmeWare) != kLinkOk) {
    // The pad never got the header, so no acknowledgement will come: end now, and make sure
    // a stray acknowledgement cannot start a stream the pad was never told about.
    g_firmware_update_state = FirmwareUpdateState::Finishing;
    failWrite(pad);
    return;
  }
  headerPending_ = true;
  padFirmwareTouched_ = true;
  pad.SetReadTimeout(timing_.streamingReadTimeoutMs);
}

bool UpdateEngine::sendNextBlock(HidTransport& pad, PacketType kind) {
  FirmwareTransfer& t = m_handleFirmeWare;
  // The check kept at least the payload's length, and as much beyond it as a block reaches.
  const std::size_t at = std::min(kHeaderSize + std::size_t{t.bytesSent}, t.image->size());
  const std::size_t n = std::min(kBlockSize, t.image->size() - at);
  if (Send_FirmwareDataPacket(pad, kind, t.image->data() + at, static_cast<std::int32_t>(n)) != kLinkOk) {
    failWrite(pad);
    return false;
  }
  t.bytesSent += static_cast<std::uint32_t>(n);
  return true;
}

void UpdateEngine::startStream(HidTransport& pad, PacketType kind) {
  if (!headerPending_) return;
  headerPending_ = false;
  ++owedAnswersReceived_;
  FirmwareTransfer& t = m_handleFirmeWare;
  t.image = checkedImage_;
  g_firmware_update_state = FirmwareUpdateState::Streaming;
  sendNextBlock(pad, kind);  // no progress for the first block
}

void UpdateEngine::continueStream(HidTransport& pad, PacketType kind) {
  FirmwareTransfer& t = m_handleFirmeWare;
  if (!t.image) return;
  ++owedAnswersReceived_;
  if (!sendNextBlock(pad, kind)) return;
  observer_.onProgress(progressPercent(t.bytesSent, t.imageLength));
  if (t.bytesSent >= t.imageLength) {
    t.image.reset();
    checkedImage_.reset();
    g_firmware_update_state = FirmwareUpdateState::Finishing;
    imageComplete_ = true;
    if (form_ == FrontEndForm::Push) m_FilePathName.reset();
    observer_.onImageSent();
  }
}

void UpdateEngine::finish(HidTransport& pad, PacketType kind) {
  // Only an image that was sent whole is finished: a stray acknowledgement while idle, or a
  // second one after the finish, must not announce an update that did not happen.
  if (!imageComplete_) return;
  imageComplete_ = false;
  ++owedAnswersReceived_;
  if (SendFirmwarePacket(pad, kind, kCmdFinish, nullptr, 0) != kLinkOk) {
    failWrite(pad);
    return;
  }
  m_updateComplete = 1;
  updateRunning_ = false;
  ++deviceUpgradedCount;
  observer_.onUpdateSucceeded();
}

}  // namespace morvik
