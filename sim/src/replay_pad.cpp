#include "morvik/replay_pad.h"

#include <algorithm>

#include "morvik/report_trace.h"

namespace morvik {
namespace {

PadBehaviour answersNothingByItself() {
  PadBehaviour behaviour;
  behaviour.silentAfterDataFrames = 0;
  return behaviour;
}

std::vector<std::uint8_t> tracedBytes(OutputReport report) {
  const std::size_t counted = std::min<std::size_t>(report[0], kMaxMessageBytes);
  return {report.begin(), report.begin() + 1 + static_cast<std::ptrdiff_t>(counted)};
}

PadReport padReportOf(const std::vector<std::uint8_t>& bytes) {
  PadReport report;
  std::copy(bytes.begin(), bytes.end(), report.bytes.begin());
  // A count byte that claims more than the trace holds was a report delivered short.
  report.length = bytes[0] < bytes.size() ? kReportSize : bytes.size();
  return report;
}

bool isComparedReport(const TraceEvent& event) { return event.kind == TraceEventKind::Out && !isIdlePoll(event.bytes); }

}  // namespace

ReplayPad::ReplayPad(RecordedTrace trace, std::optional<std::chrono::microseconds> latency)
    : trace_(std::move(trace)), latency_(latency), pad_(answersNothingByItself()) {}

bool ReplayPad::OpenReadWrite() {
  if (!started_) {
    started_ = true;
    playFrom(0, Clock::now(), std::chrono::microseconds(0));
  }
  return pad_.OpenReadWrite();
}

LinkStatus ReplayPad::playFrom(std::size_t from, Clock::time_point arrival, std::chrono::microseconds at) {
  for (next_ = from; next_ < trace_.events.size(); ++next_) {
    const TraceEvent& event = trace_.events[next_];
    if (isComparedReport(event)) break;
    const auto due = arrival + latency_.value_or(event.at - at);
    switch (event.kind) {
      case TraceEventKind::In: pad_.inject(padReportOf(event.bytes), due); break;
      case TraceEventKind::ReadFailed: goneAt_ = goneAt_ ? std::min(*goneAt_, due) : due; break;
      case TraceEventKind::WriteFailed: pad_.unplug(); return kLinkWriteFailed;
      case TraceEventKind::Out: break;  // an idle poll
    }
  }
  return kLinkOk;
}

LinkStatus ReplayPad::writeReport(OutputReport report) {
  const auto arrival = Clock::now();
  if (goneNow()) return kLinkWriteFailed;
  const std::vector<std::uint8_t> sent = tracedBytes(report);
  if (isIdlePoll(sent)) return pad_.writeReport(report);
  ++reportsCompared_;
  if (next_ >= trace_.events.size()) return stop({reportsCompared_, 0, "", traceLine("out", sent)});
  const TraceEvent& recorded = trace_.events[next_];
  if (recorded.bytes != sent)
    return stop({reportsCompared_, recorded.line, traceLine("out", recorded.bytes), traceLine("out", sent)});
  const LinkStatus written = pad_.writeReport(report);
  const LinkStatus played = playFrom(next_ + 1, arrival, recorded.at);
  return played != kLinkOk ? played : written;
}

LinkStatus ReplayPad::stop(ReplayDifference difference) {
  difference_ = std::move(difference);
  pad_.unplug();
  return kLinkWriteFailed;
}

bool ReplayPad::goneNow() {
  // A recorded read failure is played once its time has come (a read notices it at most one read
  // wait late).
  if (goneAt_ && Clock::now() >= *goneAt_) pad_.unplug();
  return pad_.gone();
}

ReadStatus ReplayPad::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  goneNow();
  return pad_.readReport(report, length);
}

std::string ReplayPad::lastError() const {
  if (difference_)
    return "the replay stopped: report " + std::to_string(difference_->report) + " is not the recording's";
  if (!pad_.gone()) return "";
  // The recorded link's own words for its failure.
  const auto reason = trace_.outcome.find("reason");
  return reason != trace_.outcome.end() && reason->second != "null" ? reason->second : "the recorded pad went away";
}

}  // namespace morvik
