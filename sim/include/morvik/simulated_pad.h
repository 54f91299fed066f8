// A stand-in for the pad's boot-mode firmware, for tests, benchmarks and demos.
//
// It speaks the update protocol over 64-byte reports, keeps what it received so that tests can
// check the pad got exactly the image, and can be told to misbehave. It serves the polling
// form (readReport waits for the next answer) and the push form (the owner pumps
// takeDueReport and hands each report to the engine). All members are thread-safe.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "morvik/firmware_header.h"
#include "morvik/hid_transport.h"
#include "morvik/usb_frame_clock.h"

namespace morvik {

struct PadBehaviour {
  std::uint32_t version = 110;  // x 100; kFactoryVersion for the factory firmware
  std::uint32_t bootFlag = 1;   // 1: boot mode; anything else: run mode
  // Answer each report this long after it arrived (after it was taken, with a USB frame clock).
  std::chrono::microseconds latency{0};
  // Keep USB's clock (see UsbFrameClock): reports are taken, and answers delivered, only at
  // frame boundaries this far apart (1000 us at full speed, 125 us at high speed). 0: no clock.
  std::chrono::microseconds usbFrame{0};
  // The header's acknowledgement comes this much later again: the pad erases its flash first.
  std::chrono::milliseconds headerAnswerDelay{0};
  // Send `errorEvent` in place of the acknowledgement that follows the n-th data frame (1-based).
  std::optional<std::uint32_t> failAfterDataFrames;
  std::uint8_t errorEvent = 0x15;
  // After the n-th data frame the pad takes reports but answers none (0: it never answers).
  std::optional<std::uint32_t> silentAfterDataFrames;
  // After the n-th data frame the pad is gone: writes and reads fail.
  std::optional<std::uint32_t> vanishAfterDataFrames;
  // After the n-th data frame (0: after the header) the pad also sends device information with
  // `strayBootFlag`, as when another program sends it the begin command (hidraw gives every
  // reader every report; Windows lets two programs open one pad). Its acknowledgement follows.
  std::optional<std::uint32_t> strayDeviceInfoAfterDataFrames;
  std::uint32_t strayBootFlag = 1;
  // Put a malformed report (bad lead, unknown type or event, short or lying count byte,
  // too short for its fields) before every answer.
  bool malformedBeforeEachAnswer = false;
};

struct PadReport {
  std::array<std::uint8_t, kReportSize> bytes{};
  std::size_t length = kReportSize;  // how many bytes the platform delivered
};

class SimulatedPad : public PollingHidTransport {
 public:
  explicit SimulatedPad(PadBehaviour behaviour = {});

  // ---- the link, as the updater sees it
  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override;
  bool OpenReadWrite() override;
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;
  std::string lastError() const override;
  // Push form: the next answer whose time has come, if any.
  std::optional<PadReport> takeDueReport();
  // Push form: when the next answer falls due, if one is queued.
  std::optional<std::chrono::steady_clock::time_point> nextDueTime() const;

  // ---- the test's controls
  void setBehaviour(const PadBehaviour& behaviour);
  void unplug();  // the pad goes away now: reads and writes fail
  // Queue a report as if the pad had sent it unasked (due at once, or at `due`).
  void inject(const PadReport& report, std::chrono::steady_clock::time_point due = std::chrono::steady_clock::now());
  // Keep every report the pad received (on by default; off for allocation-free benchmarks).
  void recordReports(bool on);
  // Keep the payload bytes (on by default; off where only their count matters).
  void recordPayload(bool on);

  // ---- what the pad received
  struct Received {
    std::optional<FirmwareHeader> header;  // from the last CmdHeader
    std::vector<std::uint8_t> payload;     // data bytes since the last CmdHeader, if recorded
    std::uint64_t payloadBytes = 0;        // how many there were, recorded or not
    std::uint32_t dataFrames = 0;
    std::uint32_t versionQueries = 0;
    std::uint32_t beginUpdates = 0;
    std::uint32_t readIdles = 0;
    std::uint32_t finishes = 0;
    std::uint32_t answersSent = 0;
    std::vector<std::vector<std::uint8_t>> reports;  // count byte + counted bytes, in order
  };
  Received received() const;
  bool finished() const;  // CmdFinish arrived: the pad restarts in run mode
  bool gone() const;

 private:
  void handleFrame(std::span<const std::uint8_t> frame);
  void answerDeviceInfo(std::uint32_t bootFlag);
  void sendStrayDeviceInfoAfter(std::uint32_t dataFrames);
  void answer(std::span<const std::uint8_t> message, std::chrono::microseconds extraDelay = {});
  void enqueue(const PadReport& report, std::chrono::steady_clock::time_point due);
  void answerUpdateEvent(std::uint8_t event, std::span<const std::uint8_t> data,
                         std::chrono::microseconds extraDelay = {});

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  PadBehaviour behaviour_;
  Received received_;
  bool recordReports_ = true;
  bool recordPayload_ = true;
  bool gone_ = false;
  bool silent_ = false;
  std::uint32_t readTimeoutMs_ = 0;
  std::uint32_t malformedIndex_ = 0;
  std::chrono::steady_clock::time_point lastArrival_{};
  std::optional<UsbFrameClock> frameClock_;
  // A data frame longer than one report comes in pieces; they are joined here.
  std::array<std::uint8_t, kFrameBufferSize> assembly_{};
  std::size_t assembled_ = 0;
  // Answers waiting for their time, oldest first (a fixed ring: no allocation per report).
  struct Pending {
    PadReport report;
    std::chrono::steady_clock::time_point due;
  };
  static constexpr std::size_t kQueueCapacity = 32;
  std::array<Pending, kQueueCapacity> queue_{};
  std::size_t queueHead_ = 0;
  std::size_t queueSize_ = 0;
};

}  // namespace morvik
