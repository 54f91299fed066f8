// --trace and --trace=FILE: every report that crosses the link, and every failure of it, goes
// to each of the trace's sinks (morvik/report_trace.h gives the lines).
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvik/hid_transport.h"
#include "morvik/report_trace.h"

namespace morvik::cli {

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  // `direction` is "out" or "in"; `report` the bytes that crossed, count byte first.
  virtual void report(std::string_view direction, std::span<const std::uint8_t> report) = 0;
  // A write or a read failed: kTraceWriteFailed or kTraceReadFailed (morvik/trace_file.h).
  virtual void linkFailed(std::string_view failure) = 0;
};

// --trace: the report lines on standard output, as they have always been printed (failures are
// left to the program's own words).
class PrintedTrace final : public TraceSink {
 public:
  explicit PrintedTrace(std::ostream& out) : out_(out) {}
  void report(std::string_view direction, std::span<const std::uint8_t> report) override {
    out_ << traceLine(direction, report) << '\n' << std::flush;
  }
  void linkFailed(std::string_view) override {}

 private:
  std::ostream& out_;
};

class TracingTransport final : public PollingHidTransport {
 public:
  TracingTransport(PollingHidTransport& link, std::vector<TraceSink*> sinks) : link_(link), sinks_(std::move(sinks)) {}

  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { link_.SetReadTimeout(milliseconds); }
  bool OpenReadWrite() override { return link_.OpenReadWrite(); }
  std::string lastError() const override { return link_.lastError(); }
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;

 private:
  PollingHidTransport& link_;
  std::vector<TraceSink*> sinks_;
};

}  // namespace morvik::cli
