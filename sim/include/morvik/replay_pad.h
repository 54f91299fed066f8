// A pad that answers as a recorded one did (see trace_file.h).
//
// Each report the updater sends is compared with the next one the recording has, and answered
// with the answers that followed it there, at the recorded pace: as long after the report as
// they came after it in the recording, or after a latency of its own when one is given. A
// recorded write or read failure is played too: the pad goes away there. Idle polls are not
// compared (see isIdlePoll). The first report that is not the recording's stops the replay:
// the pad is gone from then on, and difference() names the report.
//
// Like the engine's reader, call it from one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "morvik/simulated_pad.h"
#include "morvik/trace_file.h"

namespace morvik {

struct ReplayDifference {
  std::uint32_t report = 0;  // the report's number in the exchange, from 1, idle polls not counted
  std::size_t line = 0;      // the recorded report's line in the trace; 0 when the recording had ended
  std::string recorded;      // as a trace line ("out 05 ..."); empty when the recording had ended
  std::string sent;
};

class ReplayPad final : public PollingHidTransport {
 public:
  explicit ReplayPad(RecordedTrace trace, std::optional<std::chrono::microseconds> latency = std::nullopt);

  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { pad_.SetReadTimeout(milliseconds); }
  bool OpenReadWrite() override;
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;
  std::string lastError() const override;

  // Push form (the page's test pad): the next recorded answer whose time has come, and when the
  // next one falls due; whether the pad is gone by now.
  std::optional<PadReport> takeDueReport() {
    if (goneNow()) return std::nullopt;
    return pad_.takeDueReport();
  }
  std::optional<std::chrono::steady_clock::time_point> nextDueTime() const { return pad_.nextDueTime(); }
  bool gone() { return goneNow(); }

  // The first report that differed from the recording, once one did.
  const std::optional<ReplayDifference>& difference() const { return difference_; }
  // The recording's last line: how the recorded update ended.
  const TraceFields& recordedOutcome() const { return trace_.outcome; }
  // What the pad received, as the simulated pad keeps it.
  SimulatedPad::Received received() const { return pad_.received(); }

 private:
  using Clock = std::chrono::steady_clock;
  // Plays the recording from event `from` up to its next report that is compared: each answer
  // is due as long after `arrival` as it came after the recorded time `at`; a recorded failure
  // of the link makes the pad go away.
  LinkStatus playFrom(std::size_t from, Clock::time_point arrival, std::chrono::microseconds at);
  LinkStatus stop(ReplayDifference difference);
  // Whether the pad is gone: by a difference, or by the recording, whose time for it has come.
  bool goneNow();

  RecordedTrace trace_;
  std::optional<std::chrono::microseconds> latency_;
  SimulatedPad pad_;  // never answers by itself: it holds the answers due, and what arrived
  std::size_t next_ = 0;
  std::uint32_t reportsCompared_ = 0;
  bool started_ = false;
  std::optional<Clock::time_point> goneAt_;
  std::optional<ReplayDifference> difference_;
};

}  // namespace morvik
