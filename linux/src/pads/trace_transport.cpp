#include "pads/trace_transport.h"

#include <algorithm>

namespace morvik::cli {

LinkStatus TracingTransport::writeReport(OutputReport report) {
  out_ << traceLine("out", report) << '\n' << std::flush;
  return link_.writeReport(report);
}

ReadStatus TracingTransport::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  const ReadStatus status = link_.readReport(report, length);
  if (status == ReadStatus::Report)
    out_ << traceLine("in", std::span<const std::uint8_t>(report.data(), std::min(length, kReportSize))) << '\n'
         << std::flush;
  return status;
}

}  // namespace morvik::cli
