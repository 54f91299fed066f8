// The polling form's reader: the engine fetches the pad's reports one at a time.
#include <algorithm>
#include <array>
#include <string>

#include "morvik/update_engine.h"

namespace morvik {
namespace {

using Clock = std::chrono::steady_clock;

// One read of the pad; a report goes to the engine, an empty read is answered with
// DrvReadIdle. Returns what the read brought.
ReadStatus pollOnce(UpdateEngine& engine, PollingHidTransport& pad) {
  std::array<std::uint8_t, kReportSize> report{};
  std::size_t length = 0;
  const ReadStatus status = pad.readReport(report, length);
  if (status == ReadStatus::Report)
    engine.OnInputReport(pad, std::span<const std::uint8_t>(report.data(), std::min(length, kReportSize)));
  else if (status == ReadStatus::NoReport)
    engine.Rfcomm_DriverCmd(pad, kPacketTypeUsbHid, kDrvReadIdle, 0);
  return status;
}

std::string silenceText(std::chrono::milliseconds wait) {
  return "no answer within " + std::to_string(wait.count()) + " ms";
}

}  // namespace

VersionQueryResult UpdateEngine::QueryDeviceVersion(PollingHidTransport& pad, StopToken stop) {
  cur_devVersion = kVersionUnknown;
  if (!pad.OpenReadWrite()) return VersionQueryResult::OpenFailed;
  const std::uint32_t reportsBefore = versionReports_;
  SendFirmwarePacket(pad, kPacketTypeUsbHid, kCmdVersionQuery, nullptr, 0);
  // Bounded: a pad that never answers must not hold the caller.
  const auto deadline = Clock::now() + timing_.versionWait;
  while (versionReports_ == reportsBefore) {
    if (stop.stop_requested()) return VersionQueryResult::Stopped;
    if (Clock::now() >= deadline) return VersionQueryResult::NoAnswer;
    if (pollOnce(*this, pad) == ReadStatus::Failed) return VersionQueryResult::LinkLost;
  }
  return VersionQueryResult::Reported;
}

ReaderOutcome UpdateEngine::ReaderLoop(PollingHidTransport& pad, StopToken stop) {
  if (beginUpdate(pad) != kLinkOk) return ReaderOutcome::BeginFailed;
  // Silence is time without an answer the pad owes: reports the update does not use (a chatty
  // or confused pad) do not keep it open.
  std::uint64_t answersSeen = owedAnswersReceived_;
  auto lastAnswer = Clock::now();
  do {
    if (stop.stop_requested()) {
      Close_FirmwareUpdate();
      return ReaderOutcome::Stopped;
    }
    if (pollOnce(*this, pad) == ReadStatus::Failed) {
      Firmware_UpdateError(UpdateFailure::PadGone, pad.lastError());
    } else if (answersSeen != owedAnswersReceived_) {
      // Measured after the dispatch, so time the user spends in a dialog is not silence.
      answersSeen = owedAnswersReceived_;
      lastAnswer = Clock::now();
    } else if (m_updateComplete == 0 && Clock::now() - lastAnswer > owedAnswerWait()) {
      Firmware_UpdateError(UpdateFailure::PadSilent, silenceText(owedAnswerWait()));
    }
  } while (m_updateComplete == 0);
  return ReaderOutcome::Ended;
}

}  // namespace morvik
